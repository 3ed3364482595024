#include "hex_text.h"

namespace zorvat {

bool IsHexDigit(char c) {
    return HexDigitValue(c) >= 0;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::uint32_t> ParseHex(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

std::string HexByte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string HexWordLowFirst(std::uint16_t value) {
    return HexByte(static_cast<std::uint8_t>(value & 0xFF)) +
           HexByte(static_cast<std::uint8_t>(value >> 8));
}

std::optional<std::uint16_t> ParseHexWordLowFirst(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    const auto low = ParseHex(text.substr(0, 2));
    const auto high = ParseHex(text.substr(2, 2));
    if (!low || !high) return std::nullopt;
    return static_cast<std::uint16_t>(*low | (*high << 8));
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

}  // namespace zorvat
