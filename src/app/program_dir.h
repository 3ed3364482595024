// The program's own folder: where ports.ini, the settings file and the
// default projects live.
#pragma once

#include <filesystem>
#include <string>

namespace zorvat {

// The executable's folder when the program may write there and is not
// installed, otherwise the per-user application data folder (created when
// missing). `overrideDir` (from --program-dir) wins when not empty.
std::string FindProgramDir(const std::string& overrideDir);
// The same rule for an executable in `exeDir`.
std::string FindProgramDir(const std::string& overrideDir, const std::filesystem::path& exeDir);

// Installed: bin/ beside share/zorvat7x/ (the manual), as `cmake --install`
// and the Debian package lay it out.
bool IsInstalledLayout(const std::filesystem::path& exeDir);

}  // namespace zorvat
