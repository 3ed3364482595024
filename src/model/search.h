// Finding the instruments on a range of ports and addresses, and asking one
// known instrument whether it still answers.
#pragma once

#include <chrono>
#include <cstdint>

#include "model.h"
#include "outcome.h"

namespace zorvat {

// What the page "Связь" offers for a search. The ports are the indexes 1..10
// of "COM1".."COM10" in the port lists.
struct SearchRange {
    int COMmin = 1;
    int COMmax = 2;
    int MinAddr = 1;
    int MaxAddr = 5;
    std::int32_t Baudrate = 9600;
    // The fast search, beyond the usual one: the ports of the range are
    // searched at the same time, and an address that stays silent is given
    // up after the time the line needs for the request and the reply plus
    // `marginMs` for the instrument's turnaround, instead of a second.
    bool fast = false;
    int marginMs = kFastSearchMargin;

    static constexpr int kFastSearchMargin = 50;
};

// Probes every address of the range on every port of the range, builds the
// records, the tree and the polling jobs, then reads every instrument found.
// A range given backwards is corrected in place, as the page shows it. The
// fast search reports in the same port and address order.
void SearchInstruments(TModel& model, SearchRange& range);

// How long the fast search waits for an identification reply at `baud`.
std::chrono::milliseconds FastProbeDeadline(std::int32_t baud, int marginMs);

// Writes one line to the error log: whether instrument `device` answers
// (done) or not (failed).
Outcome CheckLink(TModel& model, std::uint8_t device);

}  // namespace zorvat
