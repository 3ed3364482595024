// Replacing a file without ever leaving a half-written one behind.
#pragma once

#include <filesystem>
#include <string_view>

namespace zorvat {

// Writes `bytes` to a new temporary file in the folder of `path`, flushes it
// to the disk and renames it over `path` (through a symbolic link, over the
// file it names). False when any step fails: `path` is then as it was and the
// temporary file is gone.
bool ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes);

}  // namespace zorvat
