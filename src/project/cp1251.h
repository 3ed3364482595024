// Text conversion between the files' single-byte Windows-1251 code page and
// the UTF-8 that the program uses in memory.
#pragma once

#include <string>
#include <string_view>

namespace zorvat {

// Every byte becomes one character. 0x98, which has no character in the
// code page, is carried as U+0098 so that reading and writing a file loses
// no byte.
std::string Cp1251ToUtf8(std::string_view bytes);

// Every character that the code page cannot hold, and every byte that is not
// part of a well-formed UTF-8 sequence, becomes '?'.
std::string Utf8ToCp1251(std::string_view text);

}  // namespace zorvat
