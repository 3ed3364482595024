// Wire form of reals: the four bytes of an IEEE-754 single, least significant
// first, each written as two hexadecimal digits ("0000803F" is 1.0).
//
// The encoder rounds like the instruments' own firmware tools did: first to a
// 40-bit significand, then to 24 bits, both times half away from zero, so
// 1 + 2^-24 becomes 0100803F (round-half-even would give 0000803F).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvat {

using WireBytes = std::array<std::uint8_t, 4>;

// Returns false (and leaves `out` alone) for a magnitude of 2^127 or more and
// for NaN: the value cannot travel. Zero and -0.0 give four zero bytes.
bool FloatToWire(double value, WireBytes& out);

// Never fails. Exponent field 0 reads as +0.0; fields 254 and 255 read with
// exponent 126 (infinities and NaNs become finite values).
double WireToFloat(const WireBytes& bytes);

// "0000803F" for 1.0: eight upper-case digits, or nothing on overflow.
std::optional<std::string> FloatToWireText(double value);

// Reads exactly eight hexadecimal digits (either case). Returns false for any
// other text: such a reply is bad payload (-21) to the caller.
bool WireTextToFloat(std::string_view text, double& value);

}  // namespace zorvat
