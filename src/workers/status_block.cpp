#include "status_block.h"

#include <charconv>
#include <cmath>

#include "IEEE754.h"
#include "hex_text.h"

namespace zorvat {

namespace {

std::optional<std::uint8_t> HexByteAt(std::string_view block, std::size_t pos) {
    if (pos + 2 > block.size()) return std::nullopt;
    const auto value = ParseHex(block.substr(pos, 2));
    if (!value) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

bool MaskSet(std::uint8_t status, unsigned mask) {
    return (status & mask) == mask;
}

}  // namespace

std::optional<StatusBytes> ReadStatusBytes(std::string_view block) {
    const auto relays = HexByteAt(block, 0);
    const auto regulator = HexByteAt(block, 8);
    const auto inputs = HexByteAt(block, 40);
    if (!relays || !regulator || !inputs) return std::nullopt;
    return StatusBytes{*relays, *regulator, *inputs};
}

std::optional<ChannelReading> ReadChannel(std::string_view block, int k) {
    if (k < 1 || k > 3) return std::nullopt;
    const auto group = static_cast<std::size_t>(10 * (k - 1) + 10);
    const auto status = HexByteAt(block, group);
    if (!status || group + 10 > block.size()) return std::nullopt;
    ChannelReading reading;
    reading.status = *status;
    if (!WireTextToFloat(block.substr(group + 2, 8), reading.value)) return std::nullopt;
    return reading;
}

bool RegulatorOnIn(std::uint8_t regulator, int r) {
    return MaskSet(regulator, static_cast<unsigned>(15 * (r - 1) + 1));
}

bool AutotuneOnIn(std::uint8_t regulator, int r) {
    return MaskSet(regulator, static_cast<unsigned>(30 * (r - 1) + 2));
}

double Round40(double value) {
    if (value == 0.0 || !std::isfinite(value)) return value;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    const double rounded = std::ldexp(std::floor(std::ldexp(fraction, 40) + 0.5), exponent - 40);
    return std::signbit(value) ? -rounded : rounded;
}

std::string ValueText(double value) {
    char text[64];
    const auto scientific =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 9);
    double rounded = value;
    static_cast<void>(std::from_chars(text, scientific.ptr, rounded));
    if (std::fabs(rounded) >= 1e10) {
        const std::string s(text, scientific.ptr);
        const auto e = s.find('e');
        std::string mantissa = s.substr(0, e);
        std::string exponent = s.substr(e + 1);
        while (mantissa.back() == '0')
            mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
        if (exponent.front() == '+') exponent.erase(0, 1);
        return mantissa + "E" + exponent;
    }
    const auto fixed =
        std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, 3);
    return std::string(text, fixed.ptr);
}

}  // namespace zorvat
