#include "IEEE754.h"

#include <cmath>
#include <cstring>

#include "hex_text.h"

namespace zorvat {

namespace {
constexpr int kIntermediateBits = 40;  // leading 1 and 39 fraction bits
constexpr std::uint64_t kFraction39Mask = (std::uint64_t{1} << 39) - 1;
}  // namespace

bool FloatToWire(double value, WireBytes& out) {
    if (std::isnan(value)) return false;
    if (value == 0.0) {
        out = {0, 0, 0, 0};
        return true;
    }
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    if (std::isinf(magnitude)) return false;

    // magnitude = m * 2^(exp2 - 53) with m a 53-bit integer (top bit set for
    // normal doubles); exponent of the form 1.f * 2^e is e = exp2 - 1.
    int exp2 = 0;
    const double fraction = std::frexp(magnitude, &exp2);  // [0.5, 1)
    std::uint64_t m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    int e = exp2 - 1;

    // First rounding: to 40 significant bits, half up on the magnitude.
    constexpr int kDropped = 53 - kIntermediateBits;
    std::uint64_t r = (m + (std::uint64_t{1} << (kDropped - 1))) >> kDropped;
    if (r >> kIntermediateBits) {  // carry out of the top bit
        r >>= 1;
        ++e;
    }

    // Below 2^-126 a single has no normal form. The old path wrote exponent 0
    // with an unshifted fraction, which readers take for another number; such
    // magnitudes never occur on the instruments, so they travel as zero.
    if (e < -126) {
        out = {0, 0, 0, 0};
        return true;
    }
    if (e >= 127) return false;

    const int field = e + 127;
    const std::uint64_t fraction39 = r & kFraction39Mask;
    std::uint32_t pattern = (negative ? 0x80000000u : 0u) |
                            (static_cast<std::uint32_t>(field) << 23) |
                            static_cast<std::uint32_t>(fraction39 >> 16);
    // Second rounding: the 24th fraction bit decides, carry may reach the exponent.
    if ((fraction39 >> 15) & 1u) ++pattern;

    out = {static_cast<std::uint8_t>(pattern), static_cast<std::uint8_t>(pattern >> 8),
           static_cast<std::uint8_t>(pattern >> 16), static_cast<std::uint8_t>(pattern >> 24)};
    return true;
}

double WireToFloat(const WireBytes& b) {
    const std::uint32_t pattern =
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    const bool negative = (pattern >> 31) != 0;
    const int field = static_cast<int>((pattern >> 23) & 0xFF);
    const std::uint32_t fraction = pattern & 0x7FFFFF;
    if (field == 0) return 0.0;
    const int exponent = field >= 254 ? 126 : field - 127;
    const double magnitude =
        std::ldexp(1.0 + std::ldexp(static_cast<double>(fraction), -23), exponent);
    return negative ? -magnitude : magnitude;
}

std::optional<std::string> FloatToWireText(double value) {
    WireBytes bytes{};
    if (!FloatToWire(value, bytes)) return std::nullopt;
    std::string text;
    text.reserve(8);
    for (std::uint8_t byte : bytes)
        text += HexByte(byte);
    return text;
}

bool WireTextToFloat(std::string_view text, double& value) {
    if (text.size() != 8) return false;
    WireBytes bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto byte = ParseHex(text.substr(2 * i, 2));
        if (!byte) return false;
        bytes[i] = static_cast<std::uint8_t>(*byte);
    }
    value = WireToFloat(bytes);
    return true;
}

}  // namespace zorvat
