// Line statistics: what every exchange on a port came to, counted by the
// port object itself for the search, the reads, the writes and the polling
// alike. They tell a commissioning engineer a bad termination (checksum
// errors, time-outs) or a wrong rate (nothing but time-outs) on a line.
//
// Kept per port name ("COM3") for the whole run of the program, whichever
// port object made the exchange; every function may be called from any
// thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "result_codes.h"

namespace zorvat {

struct LineStats {
    std::uint64_t requests = 0;          // requests written whole
    std::uint64_t replies = 0;           // answered and accepted
    std::uint64_t timeouts = 0;          // no reply within its time
    std::uint64_t checksumErrors = 0;    // a reply with a wrong checksum
    std::uint64_t instrumentErrors = 0;  // the instrument answered with an error
    std::uint64_t otherErrors = 0;       // damaged, from another address, port failed
    // Round trip from the request's first byte to the reply's CR, over the
    // exchanges that got a reply.
    std::uint64_t timed = 0;
    double totalSeconds = 0;
    double worstSeconds = 0;

    double MeanSeconds() const {
        return timed == 0 ? 0.0 : totalSeconds / static_cast<double>(timed);
    }
    bool operator==(const LineStats&) const = default;
};

// How an exchange's result counts.
enum class ExchangeKind { Reply, Timeout, Checksum, Instrument, Other };
ExchangeKind ClassifyExchange(TResult code);

// One exchange on `port` ended with `code`; `roundTrip` when it got a reply.
void CountExchange(std::string_view port, TResult code, std::optional<double> roundTrip);

LineStats LineStatsOf(std::string_view port);
// Every port that has made an exchange, by name (COM2 before COM10).
std::vector<std::pair<std::string, LineStats>> AllLineStats();
void ResetLineStats(std::string_view port);
void ResetAllLineStats();

// The statistics as lines for the operator ("Запросов: 120", ...).
std::vector<std::string> LineStatsLines(const LineStats& stats);

}  // namespace zorvat
