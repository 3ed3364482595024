#include "window_args.h"

#include <cctype>

namespace zorvat {

const char* const kWindowUsage =
    "usage: zorvat7x [/d | /s] [--program-dir DIR] [--demo] [--no-start-window]\n"
    "  /d                 the page \"Параметры\" stays disabled\n"
    "  /s                 service switch: the menu \"Параметры\" (settings dialogs)\n"
    "  --program-dir DIR  folder of ports.ini, the settings file and projects\n"
    "  --demo             a simulated bench on COM1 and COM2 in a temporary folder\n"
    "  --no-start-window  no start window\n"
    "  --help, --version  this text, the program's version\n";

WindowArgs ParseWindowArgs(const std::vector<std::string>& args) {
    WindowArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--program-dir" && i + 1 < args.size()) {
            parsed.programDir = args[++i];
        } else if (arg == "--demo") {
            parsed.demo = true;
        } else if (arg == "--no-start-window") {
            parsed.startWindow = false;
        } else if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (arg == "--version") {
            parsed.version = true;
        } else if (arg.size() >= 2 && arg[0] == '/') {
            if (parsed.startSwitch == 0)
                parsed.startSwitch =
                    static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])));
        } else {
            parsed.unknown.push_back(arg);
        }
    }
    return parsed;
}

}  // namespace zorvat
