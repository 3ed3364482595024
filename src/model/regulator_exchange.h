// Reading the regulator and instrument parameters into the records and
// writing one regulator's parameters back.
#pragma once

#include <cstdint>

#include "model.h"
#include "outcome.h"
#include "surfaces.h"

namespace zorvat {

// Reads instrument `which` (a device index), or every instrument when it is
// kAllDevices, at the first instrument's baud rate. Stopped by StopFlag;
// failed when an instrument could not be read whole (its line is in the
// error log). The search keeps the lines it wrote itself (`clearErrorLog`
// false).
Outcome ReadInstrumentParams(TModel& model, std::uint8_t which, bool clearErrorLog = true);

// Writes regulator `r` of instrument `d`: in full, or the setpoint alone (the
// setpoint program). Stopped by StopFlag (in full) or by the regulator's
// ProgStop while waiting for the port (the setpoint); failed when the
// instrument did not take it or the write was refused. `report`, when
// given, says how far it got: what the instrument took before a failure
// ended it, and the code.
Outcome WriteRegulatorParams(TModel& model, std::uint8_t d, std::uint8_t r, bool setpointOnly,
                             RegulatorWrite* report = nullptr);

// Ticks every regulator line of the tree whose regulator is on and unticks
// the others.
void TickRegulatorNodes(TModel& model);

}  // namespace zorvat
