// Switching a regulator and its autotuning, and the setpoint program that
// the PC runs point by point.
#pragma once

#include <cstdint>
#include <string>

#include "model.h"
#include "result_codes.h"

namespace zorvat {

// Switches regulator `r` of instrument `d` on (off false) or off: reads its
// input channel (DA70), then sends the switch command. 0 on success.
TResult SwitchRegulator(TModel& model, std::uint8_t d, std::uint8_t r, bool off);

// The on/off worker: SwitchRegulator, then the model and the tree follow,
// or an error line says why not.
void SwitchWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on);

// The autotune worker: starts (on) or stops autotuning of the regulator.
TResult AutotuneWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on);

// The program worker: runs the regulator's setpoint program once through
// its points and switches the regulator off at the end.
void RunProgram(TModel& model, TParams& r);

// "1:02:03" for 3723 seconds.
std::string DurationText(double seconds);

}  // namespace zorvat
