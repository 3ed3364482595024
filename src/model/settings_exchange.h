// The settings that the service dialogs edit: one measuring channel, the
// correction tables, the relay table, the passwords and one analog output.
// Each group is read from the instrument into its records and written back.
//
// They run on the caller's thread (the window's), start to end. The only
// place they let the caller's events run is the wait for the port's polling
// job, which ends early when StopFlag is raised. They report on the
// surfaces: the error log is cleared at the start and gets one line for a
// failure and one for success; status and progress show the work.
//
// Reads return true when they failed or were stopped. Writes return the
// message for the dialog: empty on success, "Запись прервана." after a stop,
// otherwise the failure line without its time. An instrument index beyond
// the device list exchanges nothing and touches no surface: the write
// returns the empty message, the read reports success (there was nothing
// to read), except the channel read, which reports failure for it as for
// any channel it cannot exchange.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model.h"

namespace zorvat {

// Channel 1, 2 or 3 of instrument `d`. With channel 1 the instrument-wide
// items of the dialog come along: the enabled-channel mask and the discrete
// inputs (a read also takes the model code and the relay mask). The
// calculated channel 3 has no sensor of its own: its sensor parameters are
// left out. A channel the instrument has no record for is not exchanged
// (the read reports failure).
bool ReadChnlSettings(TModel& model, std::uint8_t d, std::uint8_t channel);
std::string WriteChnlSettings(TModel& model, std::uint8_t d, std::uint8_t channel);

// The linearisation table and the polynomial, always all 22 values.
bool ReadKoefs(TModel& model, std::uint8_t d);
std::string WriteKoefs(TModel& model, std::uint8_t d);

// The relays' delay settings and the 12-byte relay table.
bool ReadRelayTable(TModel& model, std::uint8_t d);
std::string WriteRelayTable(TModel& model, std::uint8_t d);

// The three passwords; the records keep each with its two digit pairs
// exchanged, so one read and written back unchanged is not rewritten.
bool ReadPasswords(TModel& model, std::uint8_t d);
std::string WritePasswords(TModel& model, std::uint8_t d);

// Analog output `prefix` ("01" or "02"); any other prefix is not exchanged
// (the read reports failure).
bool ReadAnalogOutput(TModel& model, std::uint8_t d, std::string_view prefix);
std::string WriteAnalogOutput(TModel& model, std::uint8_t d, std::string_view prefix);

}  // namespace zorvat
