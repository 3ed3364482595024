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
// Each says how it ended and what a dialog says about it (ExchangeEnd). An
// instrument index beyond the device list exchanges nothing, touches no
// surface and is done (there was nothing to exchange), except for the
// channel read, which fails for it as for any channel it cannot exchange.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model.h"
#include "outcome.h"

namespace zorvat {

// How a group's exchange ended, and the message a dialog shows for it:
// empty when done, "Запись прервана." when a write was stopped, the failure
// line without its time when it failed.
struct ExchangeEnd {
    Outcome outcome = Outcome::Done;
    std::string message;
    bool Done() const { return outcome == Outcome::Done; }
};

// Channel 1, 2 or 3 of instrument `d`. With channel 1 the instrument-wide
// items of the dialog come along: the enabled-channel mask and the discrete
// inputs (a read also takes the model code and the relay mask). The
// calculated channel 3 has no sensor of its own: its sensor parameters are
// left out. A channel the instrument has no record for is not exchanged
// (the read fails).
ExchangeEnd ReadChnlSettings(TModel& model, std::uint8_t d, std::uint8_t channel);
ExchangeEnd WriteChnlSettings(TModel& model, std::uint8_t d, std::uint8_t channel);

// The linearisation table and the polynomial, always all 22 values.
ExchangeEnd ReadKoefs(TModel& model, std::uint8_t d);
ExchangeEnd WriteKoefs(TModel& model, std::uint8_t d);

// The relays' delay settings and the 12-byte relay table.
ExchangeEnd ReadRelayTable(TModel& model, std::uint8_t d);
ExchangeEnd WriteRelayTable(TModel& model, std::uint8_t d);

// The three passwords; the records keep each with its two digit pairs
// exchanged, so one read and written back unchanged is not rewritten.
ExchangeEnd ReadPasswords(TModel& model, std::uint8_t d);
ExchangeEnd WritePasswords(TModel& model, std::uint8_t d);

// Analog output `prefix` ("01" or "02"); any other prefix is not exchanged
// (the read fails).
ExchangeEnd ReadAnalogOutput(TModel& model, std::uint8_t d, std::string_view prefix);
ExchangeEnd WriteAnalogOutput(TModel& model, std::uint8_t d, std::string_view prefix);

}  // namespace zorvat
