// The command line of zorvat-cli, shared by its raw and its model commands.
#pragma once

#include <string>
#include <vector>

namespace zorvat::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Options {
    std::string port = "COM1";
    std::string portLast;  // --ports COM1-COM3: the last port of the range
    int address = 1;
    int addressLast = 0;  // --addr 1-5: the last address of the range (0: none)
    int baud = 9600;
    int timeout = 1000;
    int regulator = 1;
    int channel = 1;       // --ch
    int output = 1;        // --out
    std::string saveFile;  // search --save FILE
    double seconds = 10.0;
    bool json = false;
    bool fast = false;  // --fast: the fast search
    int marginMs = 50;  // --margin: its turnaround margin
    std::string programDir;
    std::string recordDir;  // --record DIR: the polling job's trend files go there
    bool stats = false;     // --stats: the line statistics at the end
    std::vector<std::string> args;
};

int Usage(const std::string& problem);

// search, read, write-regulator, switch, autotune, check-link, watch,
// program; -1 when the command is none of them.
int RunModelCommand(const Options& options);
// channel, coefs, relays, passwords, aout, project; -1 when none of them.
int RunGroupCommand(const Options& options);

}  // namespace zorvat::cli
