// The ways a simulated instrument can misbehave on purpose.
//
// A real line produces every one of these sooner or later: a converter that
// adds garbage, a second instrument answering under the wrong address, a
// cable pulled while a reply is under way. The host has to survive each of
// them, so the simulator can produce each on demand: for every request to an
// instrument, or only for one parameter or command, and for a limited number
// of occurrences ("silent for the next request only").
//
// Tests, benches and the command line (--fault) share these names.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvat::sim {

enum class FaultKind {
    Silent,        // no reply at all
    Noise,         // bytes that belong to no frame go out before the "!"
    BadChecksum,   // the checksum field does not match the body
    WrongAddress,  // the reply names another bus address
    ErrorStatus,   // "$n" instead of the value or the acknowledgement; a write is not stored
    NoCR,          // the reply ends without its carriage return
    Overlong,      // the reply, "!" to CR, is longer than 255 characters (checksum still right)
    Split,         // the reply goes out in pieces with pauses between them
    LowerCase,     // hexadecimal digits of the data in lower case
    Delay,         // the reply starts only after an extra delay (longer than a host time-out)
    Vanish,        // the port disappears instead of answering, and may come back later
    IdentCode,     // the identification (typed command 0) answers another code
    Version,       // the software version (";198;") answers another number
    Data,          // the data field says a given text instead (checksum and CR still right)
};

inline constexpr int kUnlimited = -1;

// Built in one expression, e.g.
//   Fault(FaultKind::ErrorStatus).OnParameter("01DA66").WithNumber(17).Times(1)
struct Fault {
    explicit Fault(FaultKind k = FaultKind::Silent) : kind(k) {}

    Fault& OnParameter(std::string parameterNumber);  // upper-cased
    Fault& OnCommand(int commandNumber) {
        command = commandNumber;
        return *this;
    }
    Fault& Times(int occurrences) {
        count = occurrences;
        return *this;
    }
    Fault& WithNumber(int n) {
        number = n;
        return *this;
    }
    Fault& WithText(std::string t) {
        text = std::move(t);
        return *this;
    }
    Fault& WithTime(std::chrono::milliseconds t) {
        time = t;
        return *this;
    }
    Fault& WithPieces(int n) {
        pieces = n;
        return *this;
    }

    FaultKind kind;

    // Which requests it hits. A parameter number ("01DA66") limits it to reads
    // and writes of that parameter; a command number (0, 37, 38, 198) to that
    // command. With neither it hits every request to the instrument.
    std::string parameter;
    std::optional<int> command;

    // Occurrences left; the fault is gone once it has struck this often.
    int count = kUnlimited;

    // Settings that depend on the kind; left empty, the defaults in brackets apply.
    //   number: ErrorStatus n of "$n" [1]; Version the version [51];
    //           WrongAddress the address replied from [own + 1, 255 -> 1]
    //   text:   IdentCode the code ["55"]; Noise the bytes [a short burst
    //           with a CR and a 0xFF in it, never a "!"]; Data the data
    //           field, any text without a CR, even an empty one [""]
    //   time:   Delay the extra delay [1500 ms]; Split the pause between
    //           pieces [200 ms]; Vanish the time until the port comes back
    //           [0: it stays away until replugged]
    //   pieces: Split the number of pieces [2]
    std::optional<int> number;
    std::optional<std::string> text;
    std::optional<std::chrono::milliseconds> time;
    std::optional<int> pieces;
};

// The settings above with their defaults filled in.
int FaultNumber(const Fault& fault, int ownAddress);
std::string FaultText(const Fault& fault);
std::chrono::milliseconds FaultTime(const Fault& fault);
int FaultPieces(const Fault& fault);

// The names used on the command line and in scenario files: "silent",
// "noise", "bad-checksum", "wrong-address", "status", "no-cr", "overlong",
// "split", "lower-case", "delay", "vanish", "ident", "version", "data".
std::string_view FaultKindName(FaultKind kind);
std::optional<FaultKind> ParseFaultKind(std::string_view name);
const std::vector<FaultKind>& AllFaultKinds();
// One line for the help text.
std::string_view FaultKindSummary(FaultKind kind);

// Reads "KIND[:key=value,...]" with the keys param, cmd, count, n, text, ms
// and pieces, e.g. "status:param=01DA66,n=5,count=1". On failure returns
// nullopt and says why in `error`.
std::optional<Fault> ParseFault(std::string_view text, std::string& error);

// The same form back, for logs.
std::string DescribeFault(const Fault& fault);

}  // namespace zorvat::sim
