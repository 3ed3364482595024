// The text forms of values in the project and settings files.
//
// Writers produce one form; readers accept it back and a little more (what
// a hand-edited file or an older writer may hold). A reader returns nullopt
// for a text that does not convert, so that the caller applies the key's
// default.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zorvat {

// "-1" for true, "0" for false.
std::string FormatBool(bool value);
// "true"/"false" in any letter case, or a number: true when it is not zero.
std::optional<bool> ParseBool(std::string_view text);

// Decimal, with an optional sign. A number too long for the type saturates,
// so that a range check or clamp afterwards treats it as huge, not as junk.
std::optional<long long> ParseInteger(std::string_view text);

// Up to 15 significant digits with "." (100, 12.5, 0.0166666666666667),
// exponent notation only for very large or very small magnitudes. A value
// that is not finite is written "0".
std::string FormatReal(double value);
// A finite decimal number with "." and an optional exponent.
std::optional<double> ParseReal(std::string_view text);

// The longest duration a file can hold: one second short of a day (the form
// is a time of day).
inline constexpr double kMaxDurationSeconds = 24 * 3600 - 1;
// "H:MM:SS", hours without a leading zero (1:30:00). The seconds are rounded
// and brought into 0..kMaxDurationSeconds.
std::string FormatDuration(double seconds);
// "H:MM:SS" or "H:MM", each field one or two digits, hours 0..23, minutes and
// seconds 0..59; the result in seconds.
std::optional<double> ParseDuration(std::string_view text);

// Local date and time as the files record it: "09.12.2026 1:50:09".
std::string DateTimeText(std::time_t when);

}  // namespace zorvat
