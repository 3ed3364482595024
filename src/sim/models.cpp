#include "sim/models.h"

#include <array>

namespace zorvat::sim {

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

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

int HexValue(char c) {
    c = Upper(c);
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::span<const ModelInfo> Models() {
    return kModels;
}

const ModelInfo* FindModel(std::uint8_t code) {
    for (const auto& m : kModels) {
        if (m.code == code) return &m;
    }
    return nullptr;
}

const ModelInfo* FindModel(std::string_view nameOrCode) {
    for (const auto& m : kModels) {
        if (SameIgnoringCase(m.name, nameOrCode)) return &m;
    }
    std::string_view digits = nameOrCode;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
    }
    if (digits.size() != 2) return nullptr;
    const int hi = HexValue(digits[0]);
    const int lo = HexValue(digits[1]);
    if (hi < 0 || lo < 0) return nullptr;
    return FindModel(static_cast<std::uint8_t>(hi * 16 + lo));
}

}  // namespace zorvat::sim
