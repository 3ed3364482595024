// Fuzz target for the status block a polling job decodes: any text as the
// reply's data, every channel, the value's shown and plotted forms.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "status_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvat;
    const std::string_view block(reinterpret_cast<const char*>(data), size);
    if (const auto bytes = ReadStatusBytes(block)) {
        for (int r = 1; r <= 2; ++r) {
            static_cast<void>(RegulatorOnIn(bytes->regulator, r));
            static_cast<void>(AutotuneOnIn(bytes->regulator, r));
        }
    }
    for (int k = 0; k <= 4; ++k) {
        const auto reading = ReadChannel(block, k);
        if (!reading) continue;
        if (k < 1 || k > 3) __builtin_trap();
        const std::string text = ValueText(reading->value);
        if (text.empty()) __builtin_trap();
        const double plotted = Round40(reading->value);
        if (std::isfinite(reading->value) && !std::isfinite(plotted)) __builtin_trap();
    }
    return 0;
}
