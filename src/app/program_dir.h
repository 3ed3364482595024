// The program's own folder: where ports.ini, the settings file and the
// default projects live.
#pragma once

#include <string>

namespace zorvat {

// The executable's folder when the program may write there, otherwise the
// per-user application data folder (created when missing). `overrideDir`
// (from --program-dir) wins when not empty.
std::string FindProgramDir(const std::string& overrideDir);

}  // namespace zorvat
