#include "sim/faults.h"

#include <array>
#include <charconv>
#include <string>

#include "hex_text.h"

namespace zorvat::sim {

namespace {

struct KindEntry {
    FaultKind kind;
    std::string_view name;
    std::string_view summary;
};

constexpr std::array<KindEntry, 14> kKinds{{
    {FaultKind::Silent, "silent", "no reply at all"},
    {FaultKind::Noise, "noise", "garbage bytes before the \"!\" (text=BYTES)"},
    {FaultKind::BadChecksum, "bad-checksum", "the checksum does not match the reply"},
    {FaultKind::WrongAddress, "wrong-address", "the reply comes from another address (n=ADDR)"},
    {FaultKind::ErrorStatus, "status", "\"$n\" instead of the data; writes are not stored (n=N)"},
    {FaultKind::NoCR, "no-cr", "the reply lacks its carriage return"},
    {FaultKind::Overlong, "overlong", "the reply is longer than 255 characters"},
    {FaultKind::Split, "split", "the reply comes in pieces with pauses (pieces=N, ms=PAUSE)"},
    {FaultKind::LowerCase, "lower-case", "hexadecimal data in lower case"},
    {FaultKind::Delay, "delay", "the reply comes only after an extra delay (ms=DELAY)"},
    {FaultKind::Vanish, "vanish",
     "the port disappears instead of answering; back after ms=TIME (0: stays away)"},
    {FaultKind::IdentCode, "ident", "the identification answers another code (text=CODE)"},
    {FaultKind::Version, "version", "the software version answers another number (n=VERSION)"},
    {FaultKind::Data, "data", "the data field of the reply says TEXT instead (text=TEXT)"},
}};

// The default garbage: a CR that must not end anything, a 0xFF and a ":"
// that must not start anything, and no "!".
constexpr std::string_view kDefaultNoise{"\x00~\r\xFF:?\n", 7};

const KindEntry* Entry(FaultKind kind) {
    for (const auto& e : kKinds) {
        if (e.kind == kind) return &e;
    }
    return nullptr;
}

std::optional<int> ToInt(std::string_view text) {
    int value = 0;
    const auto* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc{} || r.ptr != end) return std::nullopt;
    return value;
}

bool IsHexParameter(std::string_view text) {
    if (text.size() != 6) return false;
    for (char c : text) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!hex) return false;
    }
    return true;
}

}  // namespace

Fault& Fault::OnParameter(std::string parameterNumber) {
    parameter = UpperAscii(parameterNumber);
    return *this;
}

int FaultNumber(const Fault& fault, int ownAddress) {
    if (fault.number) return *fault.number;
    switch (fault.kind) {
        case FaultKind::ErrorStatus:
            return 1;
        case FaultKind::Version:
            return 51;
        case FaultKind::WrongAddress:
            return ownAddress >= 255 ? 1 : ownAddress + 1;
        default:
            return 0;
    }
}

std::string FaultText(const Fault& fault) {
    if (fault.text) return *fault.text;
    switch (fault.kind) {
        case FaultKind::IdentCode:
            return "55";
        case FaultKind::Noise:
            return std::string(kDefaultNoise);
        default:
            return {};
    }
}

std::chrono::milliseconds FaultTime(const Fault& fault) {
    if (fault.time) return *fault.time;
    switch (fault.kind) {
        case FaultKind::Delay:
            return std::chrono::milliseconds(1500);
        case FaultKind::Split:
            return std::chrono::milliseconds(200);
        default:
            return std::chrono::milliseconds(0);
    }
}

int FaultPieces(const Fault& fault) {
    return fault.pieces.value_or(2);
}

std::string_view FaultKindName(FaultKind kind) {
    const auto* e = Entry(kind);
    return e ? e->name : std::string_view("?");
}

std::string_view FaultKindSummary(FaultKind kind) {
    const auto* e = Entry(kind);
    return e ? e->summary : std::string_view();
}

std::optional<FaultKind> ParseFaultKind(std::string_view name) {
    for (const auto& e : kKinds) {
        if (e.name == name) return e.kind;
    }
    return std::nullopt;
}

const std::vector<FaultKind>& AllFaultKinds() {
    static const std::vector<FaultKind> kinds = [] {
        std::vector<FaultKind> v;
        for (const auto& e : kKinds)
            v.push_back(e.kind);
        return v;
    }();
    return kinds;
}

std::optional<Fault> ParseFault(std::string_view text, std::string& error) {
    const auto colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const auto kind = ParseFaultKind(name);
    if (!kind) {
        error = "unknown fault kind \"" + std::string(name) + "\"";
        return std::nullopt;
    }
    Fault fault(*kind);
    if (colon == std::string_view::npos) return fault;

    std::string_view rest = text.substr(colon + 1);
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const auto eq = item.find('=');
        if (eq == std::string_view::npos) {
            error = "fault option \"" + std::string(item) + "\" is not key=value";
            return std::nullopt;
        }
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        if (key == "param") {
            if (!IsHexParameter(value)) {
                error = "param= needs six hexadecimal digits, not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            fault.parameter = UpperAscii(value);
            continue;
        }
        if (key == "text") {
            fault.text = std::string(value);
            continue;
        }
        const auto number = ToInt(value);
        if (!number || *number < 0) {
            error = "fault option " + std::string(key) + "= needs a whole number >= 0, not \"" +
                    std::string(value) + "\"";
            return std::nullopt;
        }
        if (key == "cmd") {
            fault.command = *number;
        } else if (key == "count") {
            if (*number == 0) {
                error = "count=0 would never strike";
                return std::nullopt;
            }
            fault.count = *number;
        } else if (key == "n") {
            fault.number = *number;
        } else if (key == "ms") {
            fault.time = std::chrono::milliseconds(*number);
        } else if (key == "pieces") {
            if (*number < 2) {
                error = "pieces= needs at least 2";
                return std::nullopt;
            }
            fault.pieces = *number;
        } else {
            error = "unknown fault option \"" + std::string(key) + "\"";
            return std::nullopt;
        }
    }
    return fault;
}

std::string DescribeFault(const Fault& fault) {
    std::string out(FaultKindName(fault.kind));
    std::string opts;
    auto add = [&opts](const std::string& item) {
        if (!opts.empty()) opts += ',';
        opts += item;
    };
    if (!fault.parameter.empty()) add("param=" + fault.parameter);
    if (fault.command) add("cmd=" + std::to_string(*fault.command));
    if (fault.count != kUnlimited) add("count=" + std::to_string(fault.count));
    if (fault.number) add("n=" + std::to_string(*fault.number));
    if (fault.text) add("text=" + *fault.text);
    if (fault.time) add("ms=" + std::to_string(fault.time->count()));
    if (fault.pieces) add("pieces=" + std::to_string(*fault.pieces));
    if (!opts.empty()) out += ':' + opts;
    return out;
}

}  // namespace zorvat::sim
