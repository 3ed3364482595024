// The text forms of booleans, numbers, reals, durations and the date line.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <regex>
#include <string>

#include "value_forms.h"

namespace zorvat {
namespace {

TEST(ValueForms, Booleans) {
    EXPECT_EQ(FormatBool(true), "-1");
    EXPECT_EQ(FormatBool(false), "0");
    const struct {
        const char* text;
        std::optional<bool> value;
    } cases[] = {
        {"-1", true},
        {"1", true},
        {"2", true},
        {"0.5", true},
        {"true", true},
        {"TRUE", true},
        {"True", true},
        {"0", false},
        {"00", false},
        {"-0", false},
        {"0.0", false},
        {"false", false},
        {"FALSE", false},
        {"x", std::nullopt},
        {"", std::nullopt},
        {"yes", std::nullopt},
        {"truex", std::nullopt},
        {"1 1", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseBool(c.text), c.value) << '"' << c.text << '"';
}

TEST(ValueForms, Integers) {
    constexpr long long kMax = std::numeric_limits<long long>::max();
    const struct {
        const char* text;
        std::optional<long long> value;
    } cases[] = {
        {"0", 0},
        {"255", 255},
        {"+7", 7},
        {"-12", -12},
        {"0009600", 9600},
        {"99999999999999999999999", kMax},  // saturates: still a huge number
        {"-99999999999999999999999", -kMax},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"12.5", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"12a", std::nullopt},
        {"+-1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(ValueForms, RealsWrittenWithFifteenDigits) {
    const std::pair<double, const char*> cases[] = {
        {100, "100"},
        {12.5, "12.5"},
        {-40.25, "-40.25"},
        {1.0 / 60, "0.0166666666666667"},
        {123456789.123456, "123456789.123456"},
        {0.1 + 0.2, "0.3"},
        {1e20, "1e+20"},
        {1.5e-7, "1.5e-07"},
        {-0.0, "0"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
        {std::numeric_limits<double>::infinity(), "0"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FormatReal(value), text) << value;
}

TEST(ValueForms, RealsRead) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"100", 100.0},
        {"12.5", 12.5},
        {"-40.25", -40.25},
        {"+3", 3.0},
        {".5", 0.5},
        {"1e+20", 1e20},
        {"1.5E-07", 1.5e-7},
        {"0.0166666666666667", 0.0166666666666667},
        {"12,5", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"1e999", std::nullopt},
        {"inf", std::nullopt},
        {"-nan", std::nullopt},
        {"0x1p3", std::nullopt},
        {"1 2", std::nullopt},
        {"--1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseReal(c.text), c.value) << '"' << c.text << '"';
}

TEST(ValueForms, RealsSurviveTheirText) {
    for (const double v : {0.1, 1.0 / 3, 99.95, -273.15, 1e-300, 6.02214076e23}) {
        const auto back = ParseReal(FormatReal(v));
        ASSERT_TRUE(back) << v;
        EXPECT_EQ(FormatReal(*back), FormatReal(v));
        EXPECT_NEAR(*back, v, std::abs(v) * 1e-14);
    }
}

TEST(ValueForms, DurationsWritten) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00:00"},
        {59, "0:00:59"},
        {5400, "1:30:00"},
        {36000 + 61, "10:01:01"},
        {59.6, "0:01:00"},  // rounded to the second
        {86399, "23:59:59"},
        {86400, "23:59:59"},  // a day or more cannot be stored: clamped
        {1e9, "23:59:59"},
        {-5, "0:00:00"},
        {std::numeric_limits<double>::quiet_NaN(), "0:00:00"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(FormatDuration(seconds), text) << seconds;
}

TEST(ValueForms, DurationsRead) {
    const struct {
        const char* text;
        std::optional<double> seconds;
    } cases[] = {
        {"00:00:00", 0.0},           {"1:30:00", 5400.0},
        {"23:59:59", 86399.0},       {"1:30", 5400.0},
        {"1:5:3", 3903.0},           {"24:00:00", std::nullopt},
        {"1:60:00", std::nullopt},   {"1:00:60", std::nullopt},
        {"100:00:00", std::nullopt}, {"1:30:00:00", std::nullopt},
        {"1:30:", std::nullopt},     {":30:00", std::nullopt},
        {"1.30.00", std::nullopt},   {"-1:00:00", std::nullopt},
        {"", std::nullopt},          {"abc", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDuration(c.text), c.seconds) << '"' << c.text << '"';
}

TEST(ValueForms, DateLineIsDayMonthYearAndTime) {
    const std::string text = DateTimeText(std::time(nullptr));
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d\.\d\d\.\d{4} \d{1,2}:\d\d:\d\d)")))
        << text;
}

}  // namespace
}  // namespace zorvat
