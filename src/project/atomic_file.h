// Replacing a file without ever leaving a half-written one behind, and the
// operator's words for why a file could not be read or written.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zorvat {

// Writes `bytes` to a new temporary file in the folder of `path`, flushes it
// to the disk and renames it over `path` (through a symbolic link, over the
// file it names). False when any step fails: `path` is then as it was, the
// temporary file is gone and `reason`, when given, says why. A file that may
// not be written is not replaced, although the rename could: a file without
// any write permission counts as write-protected for the superuser too.
bool ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes,
                         std::string* reason = nullptr);

// The text for an errno value met while reading (`writing` false) or writing
// a file, e.g. "Нет прав на запись в папку.".
std::string FileErrorText(int error, bool writing);

}  // namespace zorvat
