// Small, strict conversions between numbers and the hexadecimal / decimal
// texts of the protocol. Nothing here accepts signs, blanks or prefixes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvat {

bool IsHexDigit(char c);
int HexDigitValue(char c);  // -1 when not a hexadecimal digit

// The whole text as a hexadecimal number (1 to 8 digits).
std::optional<std::uint32_t> ParseHex(std::string_view text);

// The whole text as an unsigned decimal number (1 to 9 digits).
std::optional<std::uint32_t> ParseDecimal(std::string_view text);

// Two upper-case digits per byte.
std::string HexByte(std::uint8_t value);

// A 16-bit word as four digits, low byte first: 100 gives "6400".
std::string HexWordLowFirst(std::uint16_t value);
std::optional<std::uint16_t> ParseHexWordLowFirst(std::string_view text);

// The text with its ASCII letters in upper or lower case; every other byte
// (a Cyrillic letter in UTF-8, say) as it stands.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace zorvat
