// zorvat-cli: the instruments' protocol from the command line.
//
// A second front on the same core as the window: every exchange goes through
// the protocol library; this file only parses arguments and prints results.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "IEEE754.h"
#include "ascii_u.h"
#include "cli_options.h"
#include "com_u.h"
#include "device_catalogue.h"
#include "ex_com.h"
#include "line_stats.h"
#include "port_map.h"
#include "port_scan.h"
#include "program_dir.h"
#include "result_messages.h"
#include "zorvat_version.h"

namespace zorvat::cli {

int Usage(const std::string& problem) {
    std::cerr << "zorvat-cli: " << problem << "\n"
              << "try 'zorvat-cli --help'\n";
    return kExitUsage;
}

}  // namespace zorvat::cli

namespace {

using namespace zorvat;
using namespace zorvat::cli;

constexpr const char* kUsage = R"(usage: zorvat-cli [options] COMMAND [ARGS]

Talks to ZORVAT-7X instruments on a serial line.

options:
  --port COMn          serial port (default COM1; the port map gives its device)
  --addr N             instrument bus address 1..255 (default 1)
  --baud N             300, 600, 1200, 2400, 4800, 9600 or 19200 (default 9600)
  --timeout MS         reply time-out of one read call (default 1000)
  --program-dir DIR    folder holding ports.ini (default: the program's folder)
  --json               machine-readable output (model commands)
  --record DIR         model commands: every poll of the polling job is also a
                       row of the regulator's trend file in DIR (watch, program)
  --stats              at the end, each port's line statistics: requests,
                       replies, time-outs, checksum and instrument errors,
                       mean and worst round trip
  -h, --help           this text
  --version            the program's version

commands:
  id                   identification code (typed exchange, type 1, command 0)
  version              software version (command ";198;")
  get PARAM            read parameter PARAM (six hexadecimal digits), print its data
  set PARAM VALUE      write PARAM (only when it differs), print the reply's data
  crc TEXT             checksum of a frame text, e.g. crc ":1;37;002007;"
  float2wire X         wire text of a real, e.g. 1.0 -> 0000803F
  wire2float HEX       real of a wire text, 17 significant digits
  ports [--scan]       each COMn of the port map with its device; --scan also lists
                       the serial devices of this machine and whether each opens

model commands (they find the instrument first, as the window's search does):
  search [--ports COM1-COM3] [--addr 1-5]   find instruments, read them, list them
  --fast [--margin MS]                      (with any model command) the fast search:
                       all ports at once, a silent address given up after the line's
                       time for request and reply plus MS (default 50) ms
  read                 identification and both regulators' parameters
  write-regulator --reg R FIELD=VALUE...    e.g. Setpoint=250 Kp=12.5 KpOn=1
  switch --reg R on|off                     switch a regulator
  autotune --reg R on|off                   start or stop its autotuning
  check-link           does the instrument answer?
  watch --reg R [--seconds S]               poll it and print each value
  program --reg R POINT...                  run a setpoint program on the PC;
                       a point is SETPOINT@H:MM:SS or off@H:MM:SS; Ctrl+C stops it
  channel read|write --ch N [FIELD=VALUE...]  channel settings (and, for
                       channel 1, the instrument-wide InPE, Fd1..Fd5)
  coefs read|write [FIELD=VALUE...]         linearisation and polynomial
  relays read|write [FIELD=VALUE...]        nrL1..nrL4, relTbl=24 hex digits
  passwords read|write [Pass1=HHHH ...]     the three passwords
  aout read|write --out N [FIELD=VALUE...]  analog output 1 or 2
  search ... --save FILE                    also store what was found as a project
  project show FILE                         a project's instruments and programs

port map: ZORVAT_COMn=/dev/... in the environment, else [Ports] COMn=... in
ports.ini of the program's folder, else /dev/ttyS<n-1>. A port may also name a
serial device server: tcp://HOST:PORT (raw) or rfc2217://HOST:PORT.

exit status: 0 success, 1 failure ("error CODE: MESSAGE" on stderr), 2 usage.
)";

std::optional<int> ParseInt(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

// Prints "error CODE: MESSAGE" and what the system said, if anything.
int Fail(TResult code, const TExCOM* port, std::string_view portName) {
    std::cerr << "error " << code << ": " << ResultText(code, portName);
    if (port != nullptr && !port->LastSystemError().empty() &&
        (code == rc::NoSuchPort || code == rc::PortBusy || code == rc::PortUnavailable ||
         code == rc::ReadFailed || code == rc::WriteFailed || code == rc::GetSettingsFailed ||
         code == rc::SetSettingsFailed)) {
        std::cerr << " (" << port->LastSystemError() << ")";
    }
    std::cerr << "\n";
    return kExitFailure;
}

// One exchange on a port of its own: create, configure, open, run, close, free.
template <typename Body>
int WithPort(const Options& o, Body body) {
    auto port = CreatePort();
    TResult result = port->SetBaudRate(static_cast<std::uint16_t>(o.baud));
    if (result == rc::Ok) result = port->SetTimeout(static_cast<std::uint16_t>(o.timeout));
    if (result == rc::Ok) result = port->OpenPort(o.port);
    if (result != rc::Ok) {
        const int status = Fail(result, port.get(), o.port);
        FreePort(port);
        return status;
    }
    std::string output;
    result = body(*port, output);
    port->ClosePort();
    if (result != rc::Ok) {
        const int status = Fail(result, port.get(), o.port);
        FreePort(port);
        return status;
    }
    FreePort(port);
    std::cout << output << "\n";
    return kExitOk;
}

bool IsParameterNumber(std::string_view text) {
    if (text.size() != 6) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

int Run(const Options& o) {
    const std::string& command = o.args[0];
    const std::size_t argc = o.args.size() - 1;
    const std::string address = std::to_string(o.address);
    const bool rawExchange =
        command == "id" || command == "version" || command == "get" || command == "set";
    if (rawExchange && (o.addressLast != 0 || !o.portLast.empty())) {
        return Usage(command + " talks to one instrument: give --port COMn and --addr N");
    }

    if (command == "crc") {
        if (argc != 1) return Usage("crc needs one TEXT");
        std::string sum;
        const TResult result = FrameChecksum(o.args[1], sum);
        if (result != rc::Ok) return Fail(result, nullptr, o.port);
        std::cout << sum << "\n";
        return kExitOk;
    }
    if (command == "float2wire") {
        if (argc != 1) return Usage("float2wire needs one number");
        double value = 0;
        const std::string& text = o.args[1];
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size()) {
            return Usage("not a number: " + text);
        }
        const auto wire = FloatToWireText(value);
        if (!wire) {
            std::cerr << "error: " << text << " is too large for the wire form (2^127 or more)\n";
            return kExitFailure;
        }
        std::cout << *wire << "\n";
        return kExitOk;
    }
    if (command == "wire2float") {
        if (argc != 1) return Usage("wire2float needs one wire text");
        double value = 0;
        if (!WireTextToFloat(o.args[1], value)) {
            return Usage("a wire text is eight hexadecimal digits: " + o.args[1]);
        }
        std::printf("%.17g\n", value);
        return kExitOk;
    }
    if (command == "ports") {
        if (argc > 1 || (argc == 1 && o.args[1] != "--scan"))
            return Usage("ports takes only --scan");
        for (const PortMapping& m : ListPorts()) {
            std::cout << m.portName << "=" << m.device << "\t(" << m.source << ")\n";
        }
        if (argc == 1) {
            // The serial devices of this machine, and whether each opens.
            const auto devices = ScanSerialDevices();
            if (devices.empty()) std::cout << "no serial devices found\n";
            for (const SerialDeviceInfo& d : devices) {
                const SysStatus status = ProbeDevice(d.path);
                std::cout << d.path << "\t" << d.Description() << "\t"
                          << (status.ok() ? "ok" : status.detail) << "\n";
            }
        }
        return kExitOk;
    }
    if (command == "id") {
        if (argc != 0) return Usage("id takes no arguments");
        return WithPort(o, [&](TExCOM& port, std::string& out) {
            out.clear();
            return Exchange(port, 1, static_cast<std::uint8_t>(o.address), 0, out);
        });
    }
    if (command == "version") {
        if (argc != 0) return Usage("version takes no arguments");
        return WithPort(o, [&](TExCOM& port, std::string& out) {
            out = ";198;";
            return SendCommand(&port, static_cast<std::uint8_t>(o.address), out, 255);
        });
    }
    if (command == "get") {
        if (argc != 1 || !IsParameterNumber(o.args[1])) {
            return Usage("get needs a parameter number of six hexadecimal digits");
        }
        return WithPort(o, [&](TExCOM& port, std::string& out) {
            return ReadParam(port, address, o.args[1], out);
        });
    }
    if (command == "set") {
        if (argc != 2 || !IsParameterNumber(o.args[1]) || o.args[2].empty()) {
            return Usage("set needs a parameter number and a value");
        }
        return WithPort(o, [&](TExCOM& port, std::string& out) {
            out = o.args[2];
            return WriteParam(port, address, o.args[1], out);
        });
    }
    const int status = RunModelCommand(o);
    if (status >= 0) return status;
    return Usage("unknown command: " + command);
}

// The line statistics of every port the command used.
void PrintLineStats(bool json) {
    for (const auto& [port, s] : AllLineStats()) {
        if (json) {
            std::printf(
                "{\"port\":\"%s\",\"requests\":%llu,\"replies\":%llu,\"timeouts\":%llu,"
                "\"checksum_errors\":%llu,\"instrument_errors\":%llu,\"other_errors\":%llu,"
                "\"mean_ms\":%.3f,\"worst_ms\":%.3f}\n",
                port.c_str(), static_cast<unsigned long long>(s.requests),
                static_cast<unsigned long long>(s.replies),
                static_cast<unsigned long long>(s.timeouts),
                static_cast<unsigned long long>(s.checksumErrors),
                static_cast<unsigned long long>(s.instrumentErrors),
                static_cast<unsigned long long>(s.otherErrors), s.MeanSeconds() * 1000.0,
                s.worstSeconds * 1000.0);
            continue;
        }
        std::printf("%s:", port.c_str());
        for (const std::string& line : LineStatsLines(s))
            std::printf("\n  %s", line.c_str());
        std::printf("\n");
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view name) -> std::optional<std::string> {
            if (i + 1 >= argc) {
                Usage(std::string(name) + " needs a value");
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return kExitOk;
        }
        if (arg == "--version") {
            std::cout << "zorvat-cli " ZORVAT_VERSION "\n";
            return kExitOk;
        }
        if (arg == "--port") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            if (!TExCOM::IsValidPortName(*v)) return Usage("a port is COM1..COM256: " + *v);
            o.port = *v;
        } else if (arg == "--addr") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto dash = v->find('-');
            const auto n = ParseInt(v->substr(0, dash), 1, 255);
            const auto m = dash == std::string::npos ? n : ParseInt(v->substr(dash + 1), 1, 255);
            if (!n || !m) return Usage("an address is 1..255, a range 1-5: " + *v);
            o.address = *n;
            o.addressLast = dash == std::string::npos ? 0 : *m;
        } else if (arg == "--baud") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto n = ParseInt(*v, 1, 65535);
            if (!n || TExCOM::LineSpeed(static_cast<std::uint16_t>(*n)) == 0) {
                return Usage("baud is 300, 600, 1200, 2400, 4800, 9600 or 19200: " + *v);
            }
            o.baud = *n;
        } else if (arg == "--timeout") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto n = ParseInt(*v, 1, 65535);
            if (!n) return Usage("a time-out is 1..65535 ms: " + *v);
            o.timeout = *n;
        } else if (arg == "--ports") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto dash = v->find('-');
            const std::string first = v->substr(0, dash);
            const std::string last = dash == std::string::npos ? first : v->substr(dash + 1);
            if (!TExCOM::IsValidPortName(first) || !TExCOM::IsValidPortName(last)) {
                return Usage("--ports is COMa or COMa-COMb: " + *v);
            }
            o.port = first;
            o.portLast = last;
        } else if (arg == "--reg") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto n = ParseInt(*v, 1, 2);
            if (!n) return Usage("a regulator is 1 or 2: " + *v);
            o.regulator = *n;
        } else if (arg == "--ch" || arg == "--out") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto n = ParseInt(*v, 1, arg == "--ch" ? 3 : 2);
            if (!n)
                return Usage(std::string(arg) + (arg == "--ch" ? " is 1..3: " : " is 1 or 2: ") +
                             *v);
            (arg == "--ch" ? o.channel : o.output) = *n;
        } else if (arg == "--save") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            o.saveFile = *v;
        } else if (arg == "--seconds") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto n = ParseInt(*v, 1, 1000000);
            if (!n) return Usage("--seconds is a whole number of seconds: " + *v);
            o.seconds = *n;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--record") {
            const auto v = value(arg);
            if (!v || v->empty()) return v ? Usage("--record needs a folder") : kExitUsage;
            o.recordDir = *v;
        } else if (arg == "--fast") {
            o.fast = true;
        } else if (arg == "--margin") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            const auto n = ParseInt(*v, 0, 1000);
            if (!n) return Usage("--margin is 0..1000 ms: " + *v);
            o.marginMs = *n;
        } else if (arg == "--program-dir") {
            const auto v = value(arg);
            if (!v) return kExitUsage;
            o.programDir = *v;
        } else if (arg.size() > 1 && arg[0] == '-' && o.args.empty() && arg != "-") {
            return Usage("unknown option: " + std::string(arg));
        } else {
            o.args.emplace_back(arg);
        }
    }
    if (o.args.empty()) return Usage("no command given");
    SetPortMapFolder(FindProgramDir(o.programDir));
    const int status = Run(o);
    if (o.stats) PrintLineStats(o.json);
    return status;
}
