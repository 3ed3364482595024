// Switching a regulator and its autotuning on the instrument.
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

// Starts (on) or stops autotuning of the regulator; on success its
// AutoTune follows, and the chart takes its time origin when it starts.
TResult SwitchAutotune(TModel& model, std::uint8_t d, std::uint8_t r, bool on);

// "1:02:03" for 3723 seconds.
std::string DurationText(double seconds);

}  // namespace zorvat
