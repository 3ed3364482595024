// Switching a regulator and its autotuning, and the setpoint program that
// the PC runs point by point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model.h"
#include "result_codes.h"

namespace zorvat {

// Switches regulator `r` of instrument `d` on or off: reads its input
// channel (DA70), then sends the switch command. 0 on success. When the
// command failed on an open port (its acknowledgement lost or spoiled, say),
// the instrument may have switched all the same: `readBack`, when given,
// receives the on-state read back from it (DA65), or nothing when that read
// failed too.
TResult SwitchRegulator(TModel& model, std::uint8_t d, std::uint8_t r, bool on,
                        std::optional<bool>* readBack = nullptr);

// The on/off worker: SwitchRegulator, then the model and the tree follow,
// or an error line says why not.
void SwitchWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on);

// The autotune worker: starts (on) or stops autotuning of the regulator.
TResult AutotuneWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on);

// The program worker: runs the regulator's setpoint program once through
// its points and switches the regulator off at the end. A program whose
// regulator could not be switched on at its start sets the record's
// ProgFailed.
void RunProgram(TModel& model, TParams& r);

// "1:02:03" for 3723 seconds.
std::string DurationText(double seconds);

}  // namespace zorvat
