// zorvat-cli's model commands: the window's operations on the same core,
// with console surfaces. No exchange logic lives here: every command finds
// the instrument with the search and runs the operation a button would.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "Files.h"
#include "IEEE754.h"
#include "cli_options.h"
#include "cli_session.h"
#include "console_surfaces.h"
#include "ex_com.h"
#include "hex_text.h"
#include "model.h"
#include "operations.h"
#include "port_map.h"
#include "regulator_control.h"
#include "result_messages.h"
#include "search.h"
#include "th_search.h"

namespace zorvat::cli {

namespace {

using namespace std::chrono_literals;

std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) {
    interrupted = true;
}

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", v);
    return text;
}

// A regulator's fields by name: what `read` prints and `write-regulator` sets.
struct Field {
    const char* name;
    enum Kind { Real, Byte, Word, Flag } kind;
    double (*get)(const TParams&);
    void (*set)(TParams&, double);
};

#define ZORVAT_REAL(F)                                                                          \
    {                                                                                           \
#F, Field::Real,                                                                        \
            [](const TParams& r) { return r.F.load(); }, [](TParams & r, double v) { r.F = v; } \
    }
#define ZORVAT_INT(F, K, T)                                                       \
    {                                                                             \
#F, Field::K, [](const TParams& r) { return static_cast<double>(r.F.load()); }, \
     [](TParams& r, double v) { r.F = static_cast<T>(v); } \
    }
#define ZORVAT_FLAG(F)                                                                       \
    {                                                                                        \
#F, Field::Flag,                                                                     \
            [](const TParams& r) { return r.F ? 1.0 : 0.0; }, [](TParams & r,                \
                                                                 double v) { r.F = v != 0; } \
    }

const Field kFields[] = {
    ZORVAT_REAL(Setpoint),
    ZORVAT_REAL(Kp),
    ZORVAT_FLAG(KpOn),
    ZORVAT_REAL(Ti),
    ZORVAT_REAL(Td),
    ZORVAT_INT(SetpointSource, Byte, std::uint8_t),
    ZORVAT_REAL(DeadZone),
    ZORVAT_INT(RegMode, Byte, std::uint8_t),
    ZORVAT_REAL(Pmax),
    ZORVAT_INT(PwmPeriod, Word, std::uint16_t),
    ZORVAT_INT(MinRelayTime, Word, std::uint16_t),
    {"InputChannel", Field::Byte,
     [](const TParams& r) { return static_cast<double>(r.InputChannel.load()); },
     [](TParams& r, double v) { SetInputChannel(r, static_cast<std::uint8_t>(v)); }},
    ZORVAT_INT(Relays1, Byte, std::uint8_t),
    ZORVAT_INT(Relays2, Byte, std::uint8_t),
    ZORVAT_FLAG(DirectAction),
    ZORVAT_FLAG(RegOn),
    ZORVAT_FLAG(AutoTune),
};
#undef ZORVAT_REAL
#undef ZORVAT_INT
#undef ZORVAT_FLAG

// The fields the write sends; RegOn and AutoTune are switched, not written.
bool Writable(const Field& f) {
    return std::string(f.name) != "RegOn" && std::string(f.name) != "AutoTune";
}

std::optional<double> ParseValue(const Field& f, const std::string& text) {
    double v = 0;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    if (!(in >> v) || !in.eof()) return std::nullopt;
    switch (f.kind) {
        case Field::Real:
            return v;
        case Field::Byte:
            return (v >= 0 && v <= 255 && v == static_cast<int>(v)) ? std::optional(v)
                                                                    : std::nullopt;
        case Field::Word:
            return (v >= 0 && v <= 65535 && v == static_cast<int>(v)) ? std::optional(v)
                                                                      : std::nullopt;
        case Field::Flag:
            return (v == 0 || v == 1) ? std::optional(v) : std::nullopt;
    }
    return std::nullopt;
}

std::string FieldText(const Field& f, const TParams& r) {
    const double v = f.get(r);
    return f.kind == Field::Real ? Number(v) : std::to_string(static_cast<long>(v));
}

std::string ModelCodeText(const TDevice& d) {
    return HexByte(d.ModelCode);
}

int Search(const Options& o) {
    Session s(o);
    const auto first = SearchIndex(o.port);
    const auto last = SearchIndex(o.portLast.empty() ? o.port : o.portLast);
    if (!first || !last) return Usage("the search knows COM1..COM10 only");
    s.Search(*first, *last, o.address, o.addressLast == 0 ? o.address : o.addressLast);
    const std::size_t n = s.model_.DeviceList.Count();
    if (o.json) std::cout << "[";
    for (std::size_t i = 0; i < n; ++i) {
        const TDevice& d = *s.model_.Device(i);
        if (o.json) {
            std::cout << (i ? ",\n " : "") << "{\"port\":" << Json(d.ParentPort)
                      << ",\"address\":" << d.Address << ",\"model\":" << Json(d.Name)
                      << ",\"version\":" << int(d.POversion)
                      << ",\"modelCode\":" << Json(ModelCodeText(d)) << "}";
        } else {
            std::cout << d.ParentPort << "\t" << d.Address << "\t"
                      << (d.Name.empty() ? "?" : d.Name) << "\tversion " << int(d.POversion)
                      << "\tmodel code " << ModelCodeText(d) << "\n";
        }
    }
    if (o.json) std::cout << "]\n";
    if (n == 0 && !s.PrintSearchMisses()) {
        std::cerr << "error: no ZORVAT-7X instrument found\n";
    }
    std::string reason;
    if (!o.saveFile.empty() && !SaveProject(s.model_, o.saveFile, &reason)) {
        std::cerr << "error: cannot write the project " << o.saveFile << ": " << reason << "\n";
        return kExitFailure;
    }
    return n > 0 ? kExitOk : kExitFailure;
}

int Read(const Options& o) {
    Session s(o);
    TDevice* d = s.Find();
    if (d == nullptr) return kExitFailure;
    const bool failed = !s.ErrorLogHas("Чтение параметров успешно завершено.");
    if (o.json) {
        std::cout << "{\"port\":" << Json(d->ParentPort) << ",\"address\":" << d->Address
                  << ",\"model\":" << Json(d->Name) << ",\"version\":" << int(d->POversion)
                  << ",\"modelCode\":" << Json(ModelCodeText(*d))
                  << ",\"channelCount\":" << int(d->ChannelCount) << ",\"inPE\":" << int(d->InPE)
                  << ",\"relayMask\":" << int(d->RelayMask)
                  << ",\"relayCount\":" << int(d->RelayCount) << ",\"regulators\":[";
        for (int r = 1; r <= 2; ++r) {
            const TParams& p = *d->Regs[static_cast<std::size_t>(r)];
            std::cout << (r > 1 ? "," : "") << "{\"RegNo\":" << r
                      << ",\"Present\":" << (p.Present ? "true" : "false");
            for (const Field& f : kFields)
                std::cout << ",\"" << f.name << "\":" << FieldText(f, p);
            std::cout << "}";
        }
        std::cout << "],\"ok\":" << (failed ? "false" : "true") << "}\n";
    } else {
        std::cout << "Port\t" << d->ParentPort << "\nAddress\t" << d->Address << "\nName\t"
                  << d->Name << "\nPOversion\t" << int(d->POversion) << "\nModelCode\t"
                  << ModelCodeText(*d) << "\nChannelCount\t" << int(d->ChannelCount) << "\nInPE\t"
                  << int(d->InPE) << "\nRelayMask\t" << int(d->RelayMask) << "\nRelayCount\t"
                  << int(d->RelayCount) << "\n";
        for (int r = 1; r <= 2; ++r) {
            const TParams& p = *d->Regs[static_cast<std::size_t>(r)];
            std::cout << "\n[Regulator " << r << (p.Present ? "" : ", not on this model") << "]\n";
            for (const Field& f : kFields)
                std::cout << f.name << "\t" << FieldText(f, p) << "\n";
        }
    }
    return failed ? kExitFailure : kExitOk;
}

int WriteRegulator(const Options& o) {
    std::vector<std::pair<const Field*, double>> changes;
    for (std::size_t i = 1; i < o.args.size(); ++i) {
        const std::string& a = o.args[i];
        const auto eq = a.find('=');
        const Field* field = nullptr;
        for (const Field& f : kFields) {
            if (eq != std::string::npos && a.substr(0, eq) == f.name && Writable(f)) field = &f;
        }
        if (field == nullptr) return Usage("FIELD=VALUE with a regulator field, not " + a);
        const auto v = ParseValue(*field, a.substr(eq + 1));
        if (!v)
            return Usage("not a value for " + std::string(field->name) + ": " + a.substr(eq + 1));
        changes.emplace_back(field, *v);
    }
    if (changes.empty()) return Usage("write-regulator needs FIELD=VALUE");
    Session s(o);
    TDevice* d = s.Find();
    if (d == nullptr) return kExitFailure;
    TParams* r = s.Regulator(*d);
    if (r == nullptr) return kExitFailure;
    for (const auto& [field, value] : changes)
        field->set(*r, value);
    const std::string refusal =
        s.ops_.StartWrite(0, static_cast<std::uint8_t>(o.regulator)).refusal;
    if (!refusal.empty()) {
        std::cerr << "error: " << refusal << "\n";
        return kExitFailure;
    }
    s.ops_.WaitIdle();
    const bool ok = s.ErrorLogHas("Запись параметров успешно завершена.");
    const RegulatorWrite report = s.ui_.LastWrite().value_or(RegulatorWrite{});
    if (!ok && report.code != rc::Ok) {
        std::cerr << "error " << report.code << ": " << ResultText(report.code, d->ParentPort);
        if (!report.failed.empty()) std::cerr << " (writing " << report.failed << ")";
        std::cerr << "\n";
    }
    // A write that stopped part-way has changed the instrument all the same.
    std::string written;
    for (const std::string& field : report.written)
        written += (written.empty() ? "" : " ") + field;
    if (o.json) {
        std::cout << "{\"ok\":" << (ok ? "true" : "false");
        if (!ok) {
            std::cout << ",\"code\":" << report.code << ",\"failed\":" << Json(report.failed)
                      << ",\"written\":[";
            for (std::size_t i = 0; i < report.written.size(); ++i)
                std::cout << (i ? "," : "") << Json(report.written[i]);
            std::cout << "]";
        }
        std::cout << "}\n";
    } else if (ok) {
        std::cout << "written\n";
    } else {
        std::cout << (written.empty() ? "not written\n" : "partly written: " + written + "\n");
    }
    return ok ? kExitOk : kExitFailure;
}

int Switch(const Options& o, bool autotune) {
    if (o.args.size() != 2 || (o.args[1] != "on" && o.args[1] != "off")) {
        return Usage(o.args[0] + " needs on or off");
    }
    const bool on = o.args[1] == "on";
    Session s(o);
    TDevice* d = s.Find();
    if (d == nullptr) return kExitFailure;
    TParams* r = s.Regulator(*d);
    if (r == nullptr) return kExitFailure;
    const auto reg = static_cast<std::uint8_t>(o.regulator);
    if (autotune)
        s.ops_.StartAutotune(0, reg, on);
    else
        s.ops_.StartSwitch(0, reg, on);
    s.ops_.WaitIdle();
    const bool state = autotune ? r->AutoTune.load() : r->RegOn.load();
    const bool ok = state == on;
    if (o.json)
        std::cout << "{\"ok\":" << (ok ? "true" : "false")
                  << ",\"on\":" << (state ? "true" : "false") << "}\n";
    else
        std::cout << (state ? "on\n" : "off\n");
    return ok ? kExitOk : kExitFailure;
}

int CheckLinkCommand(const Options& o) {
    Session s(o);
    TDevice* d = s.Find();
    if (d == nullptr) return kExitFailure;
    s.ops_.StartCheckLink(0);
    s.ops_.WaitIdle();
    const bool ok = s.ErrorLogHas("Прибор на связи.");
    if (o.json) std::cout << "{\"ok\":" << (ok ? "true" : "false") << "}\n";
    return ok ? kExitOk : kExitFailure;
}

int Watch(const Options& o) {
    Session s(o);
    TDevice* d = s.Find();
    if (d == nullptr) return kExitFailure;
    TParams* r = s.Regulator(*d);
    if (r == nullptr) return kExitFailure;
    if (!r->RegOn && !r->AutoTune) {
        std::cerr << "note: regulator " << o.regulator
                  << " is off and not autotuning: the polling job does not poll it\n";
    }
    const RegulatorRef ref{0, static_cast<std::uint8_t>(o.regulator)};
    std::mutex outMu;
    auto print = [&](const std::string& value, double minutes) {
        std::lock_guard lock(outMu);
        char line[160];
        if (o.json) {
            std::snprintf(line, sizeof line,
                          "{\"minutes\":%.4f,\"value\":%s,\"relays\":%u,\"inputs\":%u}", minutes,
                          Json(value).c_str(), unsigned(d->RelayStates), unsigned(d->DinStates));
        } else {
            std::snprintf(line, sizeof line, "%10.4f min  %-10s relays %02X  inputs %02X", minutes,
                          value.c_str(), unsigned(d->RelayStates), unsigned(d->DinStates));
        }
        std::cout << line << std::endl;
    };
    s.ui_.OnValue([&](RegulatorRef which, const std::string& text) {
        // Error texts show in the tree only; values come with their point.
        if (which == ref && (text == "Ошибка!" || (!text.empty() && text[0] == '$')))
            print(text, r->ElapsedMin);
    });
    s.ui_.OnPoint([&](RegulatorRef which, double x, double y) {
        if (which != ref) return;
        char value[32];
        std::snprintf(value, sizeof value, "%.3f", y);  // as the tree shows it
        print(value, x);
    });
    std::signal(SIGINT, OnInterrupt);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
    while (!interrupted && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(50ms);
    s.ui_.OnValue(nullptr);
    s.ui_.OnPoint(nullptr);
    return kExitOk;
}

// "250.5@1:30:00" or "off@0:10:00".
bool ParsePoint(const std::string& text, bool& on, double& setpoint, double& seconds) {
    const auto at = text.find('@');
    if (at == std::string::npos) return false;
    const std::string sp = text.substr(0, at);
    on = sp != "off";
    setpoint = 0;
    if (on) {
        std::istringstream in(sp);
        in.imbue(std::locale::classic());
        if (!(in >> setpoint) || !in.eof()) return false;
    }
    int h = 0, m = 0, sec = 0;
    char c1 = 0, c2 = 0;
    std::istringstream t(text.substr(at + 1));
    if (!(t >> h >> c1 >> m >> c2 >> sec) || c1 != ':' || c2 != ':' || h < 0 || h > 23 || m < 0 ||
        m > 59 || sec < 0 || sec > 59) {
        return false;
    }
    seconds = h * 3600.0 + m * 60.0 + sec;
    return true;
}

int Program(const Options& o) {
    const std::size_t count = o.args.size() - 1;
    if (count < 2 || count > kMaxPoints) return Usage("program needs 2 to 255 points");
    std::vector<std::tuple<bool, double, double>> points;
    for (std::size_t i = 1; i < o.args.size(); ++i) {
        bool on = false;
        double setpoint = 0, seconds = 0;
        if (!ParsePoint(o.args[i], on, setpoint, seconds)) {
            return Usage("a point is SETPOINT@H:MM:SS or off@H:MM:SS, not " + o.args[i]);
        }
        points.emplace_back(on, setpoint, seconds);
    }
    Session s(o);
    TDevice* d = s.Find();
    if (d == nullptr) return kExitFailure;
    TParams* r = s.Regulator(*d);
    if (r == nullptr) return kExitFailure;
    r->Prog_PointCount = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i) {
        r->OnOff[i + 1] = std::get<0>(points[i]);
        r->Tempr[i + 1] = std::get<1>(points[i]);
        r->Time[i + 1] = std::get<2>(points[i]);
    }
    const std::string refusal =
        s.ops_.StartProgram(0, static_cast<std::uint8_t>(o.regulator)).refusal;
    if (!refusal.empty()) {
        std::cerr << refusal << "\n";
        return kExitFailure;
    }
    std::signal(SIGINT, OnInterrupt);
    int shown = 0;
    while (r->ProgRunning) {
        if (interrupted && !r->ProgStop) {
            std::cerr << "stopping the program\n";
            r->ProgStop = true;
        }
        const int point = r->CurPoint;
        if (point != shown && point > 0 && r->OnOff[static_cast<std::size_t>(point)] &&
            r->Setpoint == r->Tempr[static_cast<std::size_t>(point)]) {
            shown = point;
            if (o.json) {
                std::cout << "{\"point\":" << point
                          << ",\"setpoint\":" << Number(r->Tempr[static_cast<std::size_t>(point)])
                          << ",\"duration\":"
                          << Json(DurationText(r->Time[static_cast<std::size_t>(point)])) << "}"
                          << std::endl;
            } else {
                std::cout << "point " << point << ": setpoint "
                          << Number(r->Tempr[static_cast<std::size_t>(point)]) << " for "
                          << DurationText(r->Time[static_cast<std::size_t>(point)]) << std::endl;
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    s.ops_.WaitIdle();
    if (r->ProgFailed) {
        std::cout << (r->RegOn ? "program not run; the regulator is on\n"
                               : "program not run; regulator off\n");
        std::cerr << "error: the regulator could not be switched on, so the program did not run\n";
        return kExitFailure;
    }
    std::cout << (r->RegOn ? "program ended; the regulator is still on\n"
                           : "program ended; regulator off\n");
    return interrupted ? kExitFailure : kExitOk;
}

}  // namespace

int RunModelCommand(const Options& o) {
    const std::string& c = o.args[0];
    if (const int status = RunGroupCommand(o); status >= 0) return status;
    const bool needsOne = c != "search";
    if (needsOne &&
        (c == "read" || c == "write-regulator" || c == "switch" || c == "autotune" ||
         c == "check-link" || c == "watch" || c == "program") &&
        (o.addressLast != 0 || !o.portLast.empty())) {
        return Usage(c + " works on one instrument: give --port COMn and --addr N");
    }
    if (c == "search") return o.args.size() == 1 ? Search(o) : Usage("search takes options only");
    if (c == "read") return o.args.size() == 1 ? Read(o) : Usage("read takes options only");
    if (c == "write-regulator") return WriteRegulator(o);
    if (c == "switch") return Switch(o, false);
    if (c == "autotune") return Switch(o, true);
    if (c == "check-link")
        return o.args.size() == 1 ? CheckLinkCommand(o) : Usage("check-link takes options only");
    if (c == "watch") return o.args.size() == 1 ? Watch(o) : Usage("watch takes options only");
    if (c == "program") return Program(o);
    return -1;
}

}  // namespace zorvat::cli
