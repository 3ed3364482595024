// Fuzz target for the simulator's option and scenario parser. The first
// byte chooses: options (one argument per line) or a scenario text. Inputs
// that name another scenario file are passed over, so that the harness
// never reads the disk.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvat::sim;
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (text.find("scenario") != std::string::npos) return 0;
    SimSetup setup;
    std::string error;
    if (data[0] & 1) {
        static_cast<void>(ParseScenario(text, "/nonexistent-zorvat-fuzz", setup, error));
    } else {
        std::vector<std::string> args;
        std::string arg;
        for (const char c : text) {
            if (c == '\n') {
                args.push_back(arg);
                arg.clear();
            } else {
                arg += c;
            }
        }
        args.push_back(arg);
        static_cast<void>(ParseOptions(args, setup, error));
    }
    return 0;
}
