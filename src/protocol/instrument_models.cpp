#include "instrument_models.h"

#include <array>

#include "hex_text.h"

namespace zorvat {

namespace {

// The code's bits carry the options: 0x80 three channels, 0x10 a fourth
// discrete input, 0x20 a fifth.
constexpr std::array<ModelInfo, 6> kModels{{
    {0x51, "ZURURU-71/M1", 1, 1, 4, 3, "41"},
    {0xC3, "ZURURU-71/M2", 2, 3, 3, 4, "41"},
    {0x50, "ZURURU-71/M3", 1, 1, 4, 3, "41"},
    {0xD1, "ZURURU-71/M4", 2, 3, 4, 4, "41"},
    {0xD3, "RAZIRI-72/M1", 2, 3, 4, 4, "54"},
    {0xF3, "RAZIRI-72/M2", 2, 3, 5, 4, "54"},
}};

}  // namespace

std::span<const ModelInfo> Models() {
    return kModels;
}

const ModelInfo* FindModel(std::uint8_t modelCode) {
    for (const auto& m : kModels) {
        if (m.code == modelCode) return &m;
    }
    return nullptr;
}

const ModelInfo* FindModel(std::string_view nameOrCode) {
    for (const auto& m : kModels) {
        if (EqualIgnoringAsciiCase(m.name, nameOrCode)) return &m;
    }
    std::string_view digits = nameOrCode;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
    }
    if (digits.size() != 2) return nullptr;
    const auto code = ParseHex(digits);
    return code ? FindModel(static_cast<std::uint8_t>(*code)) : nullptr;
}

int DiscreteInputCount(std::uint8_t modelCode) {
    int n = (modelCode & 0x10) ? 4 : 3;
    if (modelCode & 0x20) ++n;
    return n;
}

}  // namespace zorvat
