#include "sim/options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "IEEE754.h"
#include "sim/models.h"
#include "sim/pty.h"
#include "sim/simulator.h"

namespace zorvat::sim {

namespace {

constexpr int kMaxScenarioDepth = 8;

std::optional<long> ToLong(std::string_view text) {
    long value = 0;
    const auto* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc{} || r.ptr != end) return std::nullopt;
    return value;
}

std::optional<double> ToDouble(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (errno != 0 || end != copy.c_str() + copy.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> SplitColons(std::string_view text, std::size_t maxParts) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < maxParts) {
        const auto colon = text.find(':');
        if (colon == std::string_view::npos) break;
        parts.push_back(text.substr(0, colon));
        text.remove_prefix(colon + 1);
    }
    parts.push_back(text);
    return parts;
}

std::optional<int> ToAddress(std::string_view text) {
    const auto value = ToLong(text);
    if (!value || *value < 1 || *value > 255) return std::nullopt;
    return static_cast<int>(*value);
}

bool ToBaud(std::string_view text, unsigned& baud, std::string& error) {
    const auto value = ToLong(text);
    if (!value || *value <= 0 || !IsKnownBaud(static_cast<unsigned>(*value))) {
        error = "unsupported baud rate \"" + std::string(text) + "\"";
        return false;
    }
    baud = static_cast<unsigned>(*value);
    return true;
}

bool ToMilliseconds(std::string_view text, std::chrono::microseconds& out, std::string& error) {
    const auto ms = ToDouble(text);
    if (!ms || *ms < 0.0 || *ms > 600'000.0) {
        error = "\"" + std::string(text) + "\" is not a time in milliseconds";
        return false;
    }
    out = std::chrono::microseconds(std::llround(*ms * 1000.0));
    return true;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class Parser {
  public:
    Parser(SimSetup& setup, std::string& error, int depth)
        : setup_(setup), error_(error), depth_(depth) {}

    bool Run(const std::vector<std::string>& args, const std::string& folder) {
        for (std::size_t i = 0; i < args.size(); ++i) {
            std::string option = args[i];
            std::optional<std::string> inlineValue;
            if (option.rfind("--", 0) == 0) {
                const auto eq = option.find('=');
                if (eq != std::string::npos) {
                    inlineValue = option.substr(eq + 1);
                    option.resize(eq);
                }
            }
            auto value = [&](std::string& out) {
                if (inlineValue) {
                    out = *inlineValue;
                    return true;
                }
                if (i + 1 >= args.size()) {
                    error_ = option + " needs a value";
                    return false;
                }
                out = args[++i];
                return true;
            };
            if (!One(option, value, inlineValue.has_value(), folder)) return false;
        }
        return true;
    }

  private:
    template <class Value>
    bool One(const std::string& option, Value& value, bool hasInline, const std::string& folder) {
        std::string v;
        if (option == "--help" || option == "-h") {
            setup_.help = true;
        } else if (option == "--verbose" || option == "-v") {
            if (hasInline) return Fail(option + " takes no value");
            setup_.verbose = true;
        } else if (option == "--port") {
            if (!value(v)) return false;
            if (!SimPortNumber(v)) return Fail("bad port name \"" + v + "\" (COM1..COM256)");
            for (const auto& p : setup_.ports) {
                if (p.name == v) return Fail("port " + v + " is given twice");
            }
            setup_.ports.push_back(PortSetup{v, {}, {}, {}});
        } else if (option == "--baud") {
            if (!value(v)) return false;
            unsigned baud = 0;
            if (!ToBaud(v, baud, error_)) return false;
            if (setup_.ports.empty()) {
                setup_.baud = baud;
            } else {
                setup_.ports.back().baud = baud;
            }
        } else if (option == "--turnaround") {
            if (!value(v)) return false;
            std::chrono::microseconds t{};
            if (!ToMilliseconds(v, t, error_)) return false;
            if (setup_.ports.empty()) {
                setup_.turnaround = t;
            } else {
                setup_.ports.back().turnaround = t;
            }
        } else if (option == "--instrument") {
            if (!value(v)) return false;
            return InstrumentOption(v);
        } else if (option == "--fault") {
            if (!value(v)) return false;
            return FaultOption(v);
        } else if (option == "--set") {
            if (!value(v)) return false;
            return SetOption(v);
        } else if (option == "--speed") {
            if (!value(v)) return false;
            const auto speed = ToDouble(v);
            if (!speed || *speed < 0.0) return Fail("--speed needs a factor of 0 or more");
            setup_.speed = *speed;
        } else if (option == "--autotune") {
            if (!value(v)) return false;
            const auto seconds = ToDouble(v);
            if (!seconds || *seconds < 0.0) return Fail("--autotune needs seconds (0 or more)");
            setup_.autotuneSeconds = *seconds;
        } else if (option == "--link-dir") {
            if (!value(v)) return false;
            if (v.empty()) return Fail("--link-dir needs a folder");
            setup_.linkDir = v;
        } else if (option == "--scenario") {
            if (!value(v)) return false;
            return Scenario(v[0] == '/' || folder.empty() ? v : folder + "/" + v);
        } else {
            return Fail("unknown option \"" + option + "\"");
        }
        return true;
    }

    bool Fail(const std::string& message) {
        error_ = message;
        return false;
    }

    bool InstrumentOption(const std::string& arg) {
        if (setup_.ports.empty()) return Fail("--instrument " + arg + " comes before any --port");
        const auto parts = SplitColons(arg, 3);
        if (parts.size() < 2) return Fail("--instrument needs ADDR:MODEL[:BAUD], not " + arg);
        const auto address = ToAddress(parts[0]);
        if (!address) return Fail("bad bus address in --instrument " + arg + " (1..255)");
        const ModelInfo* model = FindModel(parts[1]);
        if (!model) return Fail("unknown model \"" + std::string(parts[1]) + "\"");
        InstrumentSetup inst{*address, model->code, {}};
        if (parts.size() == 3) {
            unsigned baud = 0;
            if (!ToBaud(parts[2], baud, error_)) return false;
            inst.baud = baud;
        }
        auto& port = setup_.ports.back();
        for (const auto& other : port.instruments) {
            if (other.address == inst.address) {
                return Fail(port.name + " has two instruments at address " +
                            std::to_string(inst.address));
            }
        }
        port.instruments.push_back(inst);
        return true;
    }

    bool FaultOption(const std::string& arg) {
        const auto parts = SplitColons(arg, 3);
        if (parts.size() < 3) return Fail("--fault needs PORT:ADDR:KIND[:OPTIONS], not " + arg);
        FaultSetup f;
        f.port = std::string(parts[0]);
        if (parts[1] != "*") {
            const auto address = ToAddress(parts[1]);
            if (!address) return Fail("bad bus address in --fault " + arg + " (1..255 or *)");
            f.address = *address;
        }
        std::string why;
        const auto fault = ParseFault(parts[2], why);
        if (!fault) return Fail("--fault " + arg + ": " + why);
        f.fault = *fault;
        setup_.faults.push_back(f);
        return true;
    }

    bool SetOption(const std::string& arg) {
        const auto parts = SplitColons(arg, 3);
        const auto eq = parts.size() == 3 ? parts[2].find('=') : std::string_view::npos;
        if (eq == std::string_view::npos) return Fail("--set needs PORT:ADDR:NUMBER=VALUE");
        const auto address = ToAddress(parts[1]);
        if (!address) return Fail("bad bus address in --set " + arg);
        setup_.params.push_back(ParamSetup{std::string(parts[0]), *address,
                                           std::string(parts[2].substr(0, eq)),
                                           std::string(parts[2].substr(eq + 1))});
        return true;
    }

    bool Scenario(const std::string& path) {
        if (depth_ >= kMaxScenarioDepth) return Fail("scenario files nest too deeply at " + path);
        std::ifstream in(path);
        if (!in) return Fail("cannot read scenario file " + path);
        std::stringstream text;
        text << in.rdbuf();
        SimSetup& setup = setup_;
        std::string inner;
        Parser nested(setup, inner, depth_ + 1);
        if (!nested.Lines(text.str(), FolderOf(path))) {
            return Fail(path + ": " + inner);
        }
        return true;
    }

  public:
    bool Lines(std::string_view text, const std::string& folder) {
        int lineNo = 0;
        while (!text.empty()) {
            const auto nl = text.find('\n');
            std::string_view line = text.substr(0, nl);
            text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
            ++lineNo;
            std::vector<std::string> words;
            std::istringstream in{std::string(line)};
            std::string word;
            while (in >> word) {
                if (word[0] == '#') break;
                words.push_back(word);
            }
            if (words.empty()) continue;
            if (words[0].rfind("--", 0) != 0) words[0] = "--" + words[0];
            if (!Run(words, folder)) {
                error_ = "line " + std::to_string(lineNo) + ": " + error_;
                return false;
            }
        }
        return true;
    }

  private:
    SimSetup& setup_;
    std::string& error_;
    int depth_;
};

// Faults and presets may name ports and addresses before they are defined;
// they are checked once everything is read.
bool Validate(const SimSetup& setup, std::string& error) {
    auto findPort = [&](const std::string& name) -> const PortSetup* {
        for (const auto& p : setup.ports) {
            if (p.name == name) return &p;
        }
        return nullptr;
    };
    auto hasAddress = [](const PortSetup& port, int address) {
        return std::any_of(port.instruments.begin(), port.instruments.end(),
                           [address](const InstrumentSetup& i) { return i.address == address; });
    };
    for (const auto& f : setup.faults) {
        const PortSetup* port = findPort(f.port);
        if (!port) {
            error = "--fault names the unknown port " + f.port;
            return false;
        }
        if (f.address && !hasAddress(*port, *f.address)) {
            error = "--fault: " + f.port + " has no instrument at " + std::to_string(*f.address);
            return false;
        }
    }
    for (const auto& p : setup.params) {
        const PortSetup* port = findPort(p.port);
        if (!port || !hasAddress(*port, p.address)) {
            error = "--set: no instrument " + p.port + ":" + std::to_string(p.address);
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, SimSetup& setup, std::string& error) {
    Parser parser(setup, error, 0);
    if (!parser.Run(args, std::string())) return false;
    return setup.help || Validate(setup, error);
}

bool ParseScenario(std::string_view text, const std::string& folder, SimSetup& setup,
                   std::string& error) {
    Parser parser(setup, error, 1);
    if (!parser.Lines(text, folder)) return false;
    return Validate(setup, error);
}

void ApplySetup(const SimSetup& setup, Simulator& sim) {
    if (!setup.linkDir.empty()) sim.SetLinkDir(setup.linkDir);
    sim.SetDefaultBaud(setup.baud);
    sim.SetTurnaround(setup.turnaround);
    sim.SetSpeed(setup.speed);
    sim.SetAutotuneDuration(std::chrono::duration<double>(setup.autotuneSeconds));
    for (const auto& port : setup.ports) {
        sim.AddPort(port.name);
        if (port.turnaround) sim.SetTurnaround(port.name, *port.turnaround);
        for (const auto& inst : port.instruments) {
            sim.AddInstrument(port.name, inst.address, inst.model);
            sim.SetBaud(port.name, inst.address,
                        inst.baud.value_or(port.baud.value_or(setup.baud)));
        }
    }
    for (const auto& p : setup.params) {
        std::string value = p.value;
        // A real may be given as a plain number: "--set COM1:1:01DA66=250.5".
        if (sim.Form(p.port, p.address, p.number) == ParamForm::Real &&
            !ValueFitsForm(ParamForm::Real, value)) {
            if (const auto d = ToDouble(value)) value = FloatToWireText(*d).value_or(value);
        }
        const auto result = sim.SetParam(p.port, p.address, p.number, value, true);
        if (result != Instrument::SetResult::Ok) {
            throw std::invalid_argument("--set " + p.port + ":" + std::to_string(p.address) + ":" +
                                        p.number + "=" + p.value + ": " +
                                        (result == Instrument::SetResult::Unknown
                                             ? "unknown parameter"
                                             : "value in the wrong form"));
        }
    }
    for (const auto& f : setup.faults) {
        if (f.address) {
            sim.AddFault(f.port, *f.address, f.fault);
        } else {
            sim.AddFault(f.port, f.fault);
        }
    }
}

std::string HelpText() {
    std::string text = R"(Usage: zorvat-sim [OPTIONS]

Simulated ZORVAT-7X instruments on pseudo-terminals. For each port one line
COMn=PATH goes to standard output, usable as the environment of the port map
(ZORVAT_COMn=PATH); then the simulator runs until SIGINT or SIGTERM.
SIGUSR1 unplugs every port, SIGUSR2 plugs them back in.

Options (those after --port belong to that port):
  --port NAME               a simulated port, COM1..COM256
  --instrument ADDR:MODEL[:BAUD]
                            an instrument at bus address 1..255; MODEL is a
                            code (51, C3, 50, D1, D3, F3) or a name
                            (ZURURU-71/M2)
  --baud N                  line speed of the instruments (9600): before any
                            --port for all, after one for that port
  --turnaround MS           pause between request and reply (10), global or
                            per port; fractions allowed
  --set PORT:ADDR:NUM=VALUE preset a parameter; reals may be plain numbers
                            (--set COM1:1:01DA66=250), 0rDA65=1 switches on
  --fault PORT:ADDR:KIND[:KEY=VALUE,...]
                            inject a fault; ADDR may be * for every
                            instrument of the port. Keys: param=NUMBER (only
                            that parameter), cmd=N (only that command),
                            count=N (only N times), n=, text=, ms=, pieces=
  --speed X                 process time scale (1; 0 freezes the process)
  --autotune SECONDS        simulated duration of an autotuning run (120)
  --link-dir DIR            also make links DIR/COMn and print those paths;
                            a port that comes back is re-linked there
  --scenario FILE           read options from FILE, one per line without
                            "--" ("port COM1", "instrument 1:C3"); '#' comments
  --verbose, -v             log every request and reply to standard error
  --help, -h                this text
  --version                 the program's version

Models:
)";
    for (const auto& m : Models()) {
        char line[96];
        std::snprintf(line, sizeof line, "  %02X %-14s %d regulator(s), %d channel(s), %d inputs\n",
                      m.code, std::string(m.name).c_str(), m.regulators, m.channels, m.inputs);
        text += line;
    }
    text += "\nFault kinds:\n";
    for (const auto kind : AllFaultKinds()) {
        std::string name(FaultKindName(kind));
        name.resize(15, ' ');
        text += "  " + name + std::string(FaultKindSummary(kind)) + "\n";
    }
    text += R"(
Examples:
  zorvat-sim --port COM1 --instrument 1:C3 --instrument 2:51 \
             --port COM2 --baud 19200 --instrument 1:F3 \
             --fault COM1:2:silent:count=1 --fault COM2:1:status:param=01DA66,n=17

Exit status: 0 after a signal, 1 when the system refuses (no pseudo-terminal),
2 for usage errors.
)";
    return text;
}

}  // namespace zorvat::sim
