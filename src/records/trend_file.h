// Trend files: the record of every point the polling job takes, one CSV file
// per regulator per day, and the reader the graph page opens them with.
//
// A line is one poll:
//   2026-12-10T14:03:05.123+03:00,12.0100,251.5,300,1,0,,1000,00000,
// local date-time with milliseconds and the UTC offset (ISO 8601), minutes
// since the regulator's start, measured value, setpoint, regulator on,
// autotuning, program point, relays 1..4, discrete inputs 1..5, and the code
// of a failed poll (empty when it succeeded; "$n" is the channel's own error
// status, a number the exchange's result code). A failed poll has no value.
//
// Standard C++ only: the writer thread, the command-line tool and the window
// share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvat {

inline constexpr std::string_view kTrendHeader =
    "time,minutes,value,setpoint,on,autotune,program_point,relays,inputs,error";

// Which regulator a file records: its port, bus address and number.
struct TrendSource {
    std::string port;
    int address = 0;
    int regulator = 1;
};

struct TrendRow {
    std::int64_t wallMs = 0;  // milliseconds since 1970-01-01 UTC
    double minutes = 0;
    bool hasValue = false;
    double value = 0;
    double setpoint = 0;
    bool on = false;
    bool autotune = false;
    int programPoint = 0;  // 0 when no program runs
    std::uint8_t relays = 0;
    std::uint8_t inputs = 0;
    std::string error;  // empty when the poll succeeded
};

// The current wall-clock time as TrendRow::wallMs.
std::int64_t WallMsNow();

// Local calendar time of a moment, with the offset from UTC in seconds.
struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, ms = 0;
    int offsetSeconds = 0;
};
LocalTime ToLocal(std::int64_t wallMs);

// "2026-12-10_COM1_003_R1.csv": the local date of `wallMs`.
std::string TrendFileName(const TrendSource& source, std::int64_t wallMs);

// Appends one line, with its "\n", to `out`.
void AppendTrendLine(const TrendRow& row, std::string& out);
// Same, with the local time already taken (the writer takes it once a minute).
void AppendTrendLine(const TrendRow& row, const LocalTime& local, std::string& out);

// One point of a trend file as the chart shows it.
struct TrendPoint {
    double minutes = 0;  // see LoadTrend
    double value = 0;    // NaN for a failed poll: the line has a gap there
};

struct TrendLoad {
    bool opened = false;  // false: nothing could be read (error says why)
    std::string error;
    bool header = false;  // the first line is this program's header
    std::vector<TrendPoint> points;
    std::size_t rows = 0;          // lines read as points (failed polls included)
    std::size_t damaged = 0;       // lines that are not a row (cut off, foreign)
    std::size_t firstDamaged = 0;  // its line number, from 1; 0 when none
    std::size_t failed = 0;        // rows of failed polls
};

// Parses the text of a trend file. The time axis is the first row's minutes
// plus the wall-clock time since that row: a file that a restart continued
// goes on to the right instead of starting again at 0, and a clock change
// of daylight saving time does not fold it back (the offset is in each line).
TrendLoad ParseTrend(std::string_view text);
// The largest file read: years of one regulator's points.
inline constexpr std::uintmax_t kMaxTrendBytes = std::uintmax_t{1} << 30;
// Reads and parses a file; a folder, a device or a file over the limit is
// refused with the reason in `error`.
TrendLoad LoadTrend(const std::string& path);
// The message for the operator about what a load could not read; empty when
// the whole file was read.
std::string TrendLoadProblem(const TrendLoad& load);

}  // namespace zorvat
