// Reading the regulator and instrument parameters into the records and
// writing one regulator's parameters back.
#pragma once

#include <cstdint>

#include "model.h"
#include "surfaces.h"

namespace zorvat {

// Reads instrument `which` (a device index), or every instrument when it is
// kAllDevices, at the first instrument's baud rate. Returns 1 when the read
// ended because StopFlag was set, else 0; failures go to the error log.
// The search keeps the lines it wrote itself (`clearErrorLog` false).
int ReadInstrumentParams(TModel& model, std::uint8_t which, bool clearErrorLog = true);

// Writes regulator `r` of instrument `d`. In full (setpointOnly false):
// 1 when stopped by StopFlag, else 0. The setpoint alone (the setpoint
// program): 0 when written or stopped by the regulator's ProgStop while
// waiting for the port, 1 when it failed. `report`, when given, says how far
// it got: what the instrument took before a failure ended it, and the code.
int WriteRegulatorParams(TModel& model, std::uint8_t d, std::uint8_t r, bool setpointOnly,
                         RegulatorWrite* report = nullptr);

// Ticks every regulator line of the tree whose regulator is on and unticks
// the others.
void TickRegulatorNodes(TModel& model);

}  // namespace zorvat
