// The simulator's configuration from a command line or a scenario file.
//
// A scenario file holds the same options, one per line without the leading
// "--" ("port COM1", "instrument 1:C3", "fault COM1:1:silent:count=1");
// "#" starts a comment. Options that follow --port belong to that port.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/faults.h"

namespace zorvat::sim {

class Simulator;

struct InstrumentSetup {
    int address = 0;
    std::uint8_t model = 0;
    std::optional<unsigned> baud;
};

struct PortSetup {
    std::string name;
    std::optional<unsigned> baud;
    std::optional<std::chrono::microseconds> turnaround;
    std::vector<InstrumentSetup> instruments;
};

struct FaultSetup {
    std::string port;
    std::optional<int> address;  // nullopt: every instrument of the port
    Fault fault;
};

struct ParamSetup {
    std::string port;
    int address = 0;
    std::string number;
    std::string value;  // wire text, or a decimal number for a real parameter
};

struct SimSetup {
    std::vector<PortSetup> ports;
    unsigned baud = 9600;
    std::chrono::microseconds turnaround{10000};
    double speed = 1.0;
    double autotuneSeconds = 120.0;
    std::vector<FaultSetup> faults;
    std::vector<ParamSetup> params;
    std::string linkDir;
    bool verbose = false;
    bool help = false;
};

// The arguments after the program name. False with a message for the
// operator on any usage error (the program then exits with 2).
bool ParseOptions(const std::vector<std::string>& args, SimSetup& setup, std::string& error);

// Scenario text; `folder` resolves relative --scenario paths inside it.
bool ParseScenario(std::string_view text, const std::string& folder, SimSetup& setup,
                   std::string& error);

// Builds the ports and instruments, presets values and faults. Throws
// std::exception when the system refuses (no pseudo-terminal, no link).
void ApplySetup(const SimSetup& setup, Simulator& sim);

std::string HelpText();

}  // namespace zorvat::sim
