// The models of the family, by the model code an instrument reports under
// parameter 002007: what the program, the command-line tool and the
// simulator know of each.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zorvat {

struct ModelInfo {
    std::uint8_t code;       // parameter 002007
    std::string_view name;   // "ZURURU-71/M2"
    int regulators;          // 1 or 2
    int channels;            // channel records: 1 or 3 (the third is the calculated one)
    int inputs;              // discrete inputs, 3 to 5
    int relays;              // 3 or 4
    std::string_view ident;  // identification code: "41" or "54"
};

std::span<const ModelInfo> Models();
const ModelInfo* FindModel(std::uint8_t modelCode);
// By name ("RAZIRI-72/M2", either case) or by code in hexadecimal ("F3", "0xF3").
const ModelInfo* FindModel(std::string_view nameOrCode);
// 3, or 4 with bit 0x10, plus one with bit 0x20.
int DiscreteInputCount(std::uint8_t modelCode);

}  // namespace zorvat
