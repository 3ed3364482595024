#include "value_forms.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace zorvat {

namespace {

bool EqualsNoCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One to two digits at `pos`, at most `max`.
std::optional<int> TimeField(std::string_view text, std::size_t& pos, int max) {
    const std::size_t start = pos;
    int value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && pos - start < 2) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == start || value > max) return std::nullopt;
    return value;
}

}  // namespace

std::string FormatBool(bool value) {
    return value ? "-1" : "0";
}

std::optional<bool> ParseBool(std::string_view text) {
    if (EqualsNoCase(text, "true")) return true;
    if (EqualsNoCase(text, "false")) return false;
    if (const auto number = ParseReal(text)) return *number != 0.0;
    return std::nullopt;
}

std::optional<long long> ParseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    constexpr long long kMax = std::numeric_limits<long long>::max();
    long long value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        const int digit = c - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string FormatReal(double value) {
    if (!std::isfinite(value) || value == 0.0) return "0";  // no "-0"
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

std::optional<double> ParseReal(std::string_view text) {
    // from_chars takes no "+" and would take "inf" and "nan": the sign is
    // taken here and the rest must begin like a plain decimal number.
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !(IsDigit(text.front()) || text.front() == '.')) return std::nullopt;
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string FormatDuration(double seconds) {
    double clamped = std::isnan(seconds) ? 0.0 : std::round(seconds);
    if (clamped < 0) clamped = 0;
    if (clamped > kMaxDurationSeconds) clamped = kMaxDurationSeconds;
    const auto total = static_cast<int>(clamped);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d", total / 3600, total / 60 % 60, total % 60);
    return buffer;
}

std::optional<double> ParseDuration(std::string_view text) {
    std::size_t pos = 0;
    const auto hours = TimeField(text, pos, 23);
    if (!hours || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    const auto minutes = TimeField(text, pos, 59);
    if (!minutes) return std::nullopt;
    int seconds = 0;
    if (pos < text.size()) {
        if (text[pos++] != ':') return std::nullopt;
        const auto s = TimeField(text, pos, 59);
        if (!s || pos != text.size()) return std::nullopt;
        seconds = *s;
    }
    return *hours * 3600.0 + *minutes * 60.0 + seconds;
}

std::string DateTimeText(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d %d:%02d:%02d", local.tm_mday,
                  local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec);
    return buffer;
}

}  // namespace zorvat
