#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "IEEE754.h"

namespace zorvat {
namespace {

std::string Wire(double v) {
    const auto text = FloatToWireText(v);
    return text ? *text : "overflow";
}

double Read(std::string_view text) {
    double v = -12345.0;
    EXPECT_TRUE(WireTextToFloat(text, v)) << text;
    return v;
}

TEST(FloatWire, Table) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "0000803F"},
        {-2.5, "000020C0"},
        {25.5, "0000CC41"},
        {100.0, "0000C842"},
        {0.1, "CDCCCC3D"},
        {0.0, "00000000"},
        {-0.0, "00000000"},
        {1.0 + std::ldexp(1.0, -24), "0100803F"},  // half-way rounds away from zero
        {-(1.0 + std::ldexp(1.0, -24)), "010080BF"},
        {1e38, "9976967E"},
        {std::ldexp(1.0, 127), "overflow"},
        {-std::ldexp(1.0, 127), "overflow"},
        {HUGE_VAL, "overflow"},
        {std::nan(""), "overflow"},
        {std::ldexp(1.0, -130), "00000000"},
        {std::ldexp(1.0, -126), "00008000"},  // the smallest normal single
    };
    for (const auto& [value, wire] : cases)
        EXPECT_EQ(Wire(value), wire) << value;
}

TEST(FloatWire, Reading) {
    EXPECT_EQ(Read("0000803F"), 1.0);
    EXPECT_EQ(Read("0000803f"), 1.0);
    EXPECT_EQ(Read("CDCCCC3D"), static_cast<double>(0.1f));  // 0.100000001490116...
    EXPECT_EQ(Read("00004000"), 0.0);                        // subnormal
    EXPECT_EQ(Read("00000080"), 0.0);                        // negative zero loses its sign
    EXPECT_EQ(Read("0000807F"), 8.507059173023462e37);
    EXPECT_EQ(Read("FFFFFFFF"), -1.7014117331926443e38);
    EXPECT_EQ(Read("0000007F"), std::ldexp(1.0, 126));  // field 254 reads at half
    double v = 0;
    for (const char* bad : {"", "0000803", "0000803F0", "0000803G", "+000803F", " 000803F"}) {
        EXPECT_FALSE(WireTextToFloat(bad, v)) << bad;
    }
}

// Every single that the instruments can hold travels as its own bit pattern
// and reads back exactly.
TEST(FloatWire, SinglesRoundTrip) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 200000; ++i) {
        std::uint32_t pattern = bits(rng);
        const std::uint32_t field = (pattern >> 23) & 0xFF;
        if (field == 0 || field >= 254) continue;
        const float f = std::bit_cast<float>(pattern);
        WireBytes out{};
        ASSERT_TRUE(FloatToWire(static_cast<double>(f), out));
        const std::uint32_t got =
            static_cast<std::uint32_t>(out[0]) | (static_cast<std::uint32_t>(out[1]) << 8) |
            (static_cast<std::uint32_t>(out[2]) << 16) | (static_cast<std::uint32_t>(out[3]) << 24);
        ASSERT_EQ(got, pattern);
        ASSERT_EQ(WireToFloat(out), static_cast<double>(f));
    }
}

// Doubles that are not singles round to the nearest single, ties away from zero.
TEST(FloatWire, DoublesRoundToNearest) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < 100000; ++i) {
        const double d = dist(rng);
        WireBytes out{};
        ASSERT_TRUE(FloatToWire(d, out));
        const double back = WireToFloat(out);
        const float nearest = static_cast<float>(d);  // round-half-even
        const double ulp = std::fabs(static_cast<double>(std::nextafter(nearest, 0.0f)) -
                                     static_cast<double>(nearest));
        ASSERT_LE(std::fabs(back - d), ulp / 2 + ulp * 1e-9) << d;
    }
}

}  // namespace
}  // namespace zorvat
