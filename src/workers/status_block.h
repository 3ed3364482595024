// The status block "0000FF" a polling job reads: the relay, regulator and
// discrete-input bytes, each channel's status and measured value, and the
// forms the value is shown and plotted in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvat {

// The block is at least this long; a shorter one is not believed.
inline constexpr std::size_t kStatusBlockLength = 42;

// What a poll takes from the status block. The comments number the
// characters from 1, as the instrument's documentation does; the offsets in
// the code count from 0.
struct StatusBytes {
    std::uint8_t relays = 0;     // characters 1-2
    std::uint8_t regulator = 0;  // characters 9-10
    std::uint8_t inputs = 0;     // characters 41-42
};

// Nothing when one of the three bytes is not two hexadecimal digits.
std::optional<StatusBytes> ReadStatusBytes(std::string_view block);

// Channel k's (1..3) group: its status byte, then the wire text of its value.
struct ChannelReading {
    std::uint8_t status = 0;  // 0: the value was measured
    double value = 0;
};
// Nothing when the group's status or value cannot be read.
std::optional<ChannelReading> ReadChannel(std::string_view block, int k);

// Regulator r's (1, 2) on and autotune states in the regulator byte.
bool RegulatorOnIn(std::uint8_t regulator, int r);
bool AutotuneOnIn(std::uint8_t regulator, int r);

// Chart points carry 40 significant bits, the precision of the 6-byte reals
// that project files and printed charts have always held them in; rounded
// half up on the magnitude, as the wire encoder's first step does.
double Round40(double value);

// The tree's value column: fixed point with 3 decimals, at most 10
// significant digits; larger magnitudes go to the scientific form.
std::string ValueText(double value);

}  // namespace zorvat
