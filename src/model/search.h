// Finding the instruments on a range of ports and addresses, and asking one
// known instrument whether it still answers.
#pragma once

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
};

// Probes every address of the range on every port of the range, builds the
// records, the tree and the polling jobs, then reads every instrument found.
// A range given backwards is corrected in place, as the page shows it.
void SearchInstruments(TModel& model, SearchRange& range);

// Writes one line to the error log: whether instrument `device` answers
// (done) or not (failed).
Outcome CheckLink(TModel& model, std::uint8_t device);

}  // namespace zorvat
