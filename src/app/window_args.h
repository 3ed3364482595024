// The window program's command line.
#pragma once

#include <string>
#include <vector>

namespace zorvat {

struct WindowArgs {
    std::string programDir;  // --program-dir DIR
    char startSwitch = 0;    // the letter after "/", lower case, or 0
    bool demo = false;
    bool startWindow = true;
    bool help = false;
    bool version = false;
    std::vector<std::string> unknown;  // arguments the program does not know
};

// The switch is the character after the "/", in either case: "/S" and
// "/service" both give 's'. Only the first switch counts. Arguments the
// program does not know are collected, not fatal: the window still starts.
WindowArgs ParseWindowArgs(const std::vector<std::string>& args);

extern const char* const kWindowUsage;

}  // namespace zorvat
