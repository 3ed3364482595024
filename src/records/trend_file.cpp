#include "trend_file.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

namespace zorvat {

namespace {

void AppendPadded(std::string& out, int value, int width) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value).ptr;
    const int n = static_cast<int>(end - digits);
    if (value < 0) out += '-';
    for (int i = n; i < width; ++i)
        out += '0';
    out.append(digits, end);
}

// Values travel as IEEE singles: their shortest single form is exact and
// reads as the instrument shows it (251.5, not 251.49999237060547).
void AppendSingle(std::string& out, double value) {
    char text[32];
    const float single = static_cast<float>(value);
    const auto end = static_cast<double>(single) == value
                         ? std::to_chars(text, text + sizeof text, single).ptr
                         : std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

void AppendBits(std::string& out, unsigned bits, int count) {
    for (int i = 0; i < count; ++i)
        out += ((bits >> i) & 1u) != 0 ? '1' : '0';
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

bool Digits(std::string_view s, std::size_t pos, std::size_t n, int& value) {
    if (pos + n > s.size()) return false;
    value = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        const char c = s[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "2026-12-10T14:03:05.123+03:00" (or "Z") to UTC milliseconds.
bool ParseTime(std::string_view s, std::int64_t& ms) {
    int y, mo, d, h, mi, se, milli;
    if (s.size() < 24 || !Digits(s, 0, 4, y) || s[4] != '-' || !Digits(s, 5, 2, mo) ||
        s[7] != '-' || !Digits(s, 8, 2, d) || s[10] != 'T' || !Digits(s, 11, 2, h) ||
        s[13] != ':' || !Digits(s, 14, 2, mi) || s[16] != ':' || !Digits(s, 17, 2, se) ||
        s[19] != '.' || !Digits(s, 20, 3, milli)) {
        return false;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 60) return false;
    int offset = 0;
    const std::string_view zone = s.substr(23);
    if (zone == "Z") {
        offset = 0;
    } else {
        int oh, om;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !Digits(zone, 1, 2, oh) ||
            zone[3] != ':' || !Digits(zone, 4, 2, om)) {
            return false;
        }
        offset = (oh * 60 + om) * 60 * (zone[0] == '-' ? -1 : 1);
    }
    const std::int64_t seconds = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + se - offset;
    ms = seconds * 1000 + milli;
    return true;
}

bool ParseNumber(std::string_view s, double& value) {
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

bool IsFlag(std::string_view s) {
    return s == "0" || s == "1";
}

bool IsBits(std::string_view s, std::size_t n) {
    if (s.size() != n) return false;
    for (char c : s) {
        if (c != '0' && c != '1') return false;
    }
    return true;
}

// One line split at its commas; false when it has not exactly `n` fields.
template <std::size_t n>
bool Split(std::string_view line, std::string_view (&fields)[n]) {
    std::size_t i = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        if (i == n) return false;
        fields[i++] = line.substr(start, comma == std::string_view::npos ? comma : comma - start);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return i == n;
}

}  // namespace

std::int64_t WallMsNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

LocalTime ToLocal(std::int64_t wallMs) {
    std::int64_t seconds = wallMs / 1000;
    int ms = static_cast<int>(wallMs % 1000);
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
    const long offset = static_cast<long>(std::difftime(_mkgmtime(&tm), t));
#else
    localtime_r(&t, &tm);
    const long offset = tm.tm_gmtoff;
#endif
    LocalTime local;
    local.year = tm.tm_year + 1900;
    local.month = tm.tm_mon + 1;
    local.day = tm.tm_mday;
    local.hour = tm.tm_hour;
    local.minute = tm.tm_min;
    local.second = tm.tm_sec;
    local.ms = ms;
    local.offsetSeconds = static_cast<int>(offset);
    return local;
}

namespace {

// "2026-12-10": the local date, as file names and lines begin.
void AppendDate(std::string& out, const LocalTime& t) {
    AppendPadded(out, t.year, 4);
    out += '-';
    AppendPadded(out, t.month, 2);
    out += '-';
    AppendPadded(out, t.day, 2);
}

}  // namespace

std::string TrendFileName(const TrendSource& source, std::int64_t wallMs) {
    const LocalTime local = ToLocal(wallMs);
    std::string name;
    AppendDate(name, local);
    name += '_';
    name += source.port;
    name += '_';
    AppendPadded(name, source.address, 3);
    name += "_R";
    name += std::to_string(source.regulator);
    name += ".csv";
    return name;
}

void AppendTrendLine(const TrendRow& row, std::string& out) {
    AppendTrendLine(row, ToLocal(row.wallMs), out);
}

void AppendTrendLine(const TrendRow& row, const LocalTime& t, std::string& out) {
    AppendDate(out, t);
    out += 'T';
    AppendPadded(out, t.hour, 2);
    out += ':';
    AppendPadded(out, t.minute, 2);
    out += ':';
    AppendPadded(out, t.second, 2);
    out += '.';
    AppendPadded(out, t.ms, 3);
    const int offsetMinutes = (t.offsetSeconds < 0 ? -t.offsetSeconds : t.offsetSeconds) / 60;
    out += t.offsetSeconds < 0 ? '-' : '+';
    AppendPadded(out, offsetMinutes / 60, 2);
    out += ':';
    AppendPadded(out, offsetMinutes % 60, 2);
    out += ',';

    char text[64];
    const auto minutes =
        std::to_chars(text, text + sizeof text, row.minutes, std::chars_format::fixed, 4).ptr;
    out.append(text, minutes);
    out += ',';
    if (row.hasValue) AppendSingle(out, row.value);
    out += ',';
    AppendSingle(out, row.setpoint);
    out += row.on ? ",1" : ",0";
    out += row.autotune ? ",1," : ",0,";
    if (row.programPoint > 0) out += std::to_string(row.programPoint);
    out += ',';
    AppendBits(out, row.relays, 4);
    out += ',';
    AppendBits(out, row.inputs, 5);
    out += ',';
    out += row.error;
    out += '\n';
}

TrendLoad ParseTrend(std::string_view text) {
    TrendLoad load;
    load.opened = true;
    // A file saved by a spreadsheet may have gained a byte order mark.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    std::size_t lineNo = 0;
    bool haveOrigin = false;
    std::int64_t originMs = 0;
    double originMinutes = 0;
    std::size_t pos = 0;
    load.points.reserve(text.size() / 64 + 1);
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const bool complete = end != std::string_view::npos;
        if (!complete) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (lineNo == 1 && line == kTrendHeader) {
            load.header = true;
            continue;
        }
        if (line.empty() && complete) continue;

        std::string_view f[10];
        std::int64_t ms = 0;
        double minutes = 0;
        double value = std::numeric_limits<double>::quiet_NaN();
        double setpoint = 0;
        // A line without its "\n" was cut off while it was written: even
        // when its fields look whole, its last one may not be.
        const bool row = complete && Split(line, f) && ParseTime(f[0], ms) &&
                         ParseNumber(f[1], minutes) && (f[2].empty() || ParseNumber(f[2], value)) &&
                         ParseNumber(f[3], setpoint) && IsFlag(f[4]) && IsFlag(f[5]) &&
                         IsBits(f[7], 4) && IsBits(f[8], 5);
        if (!row) {
            if (load.damaged++ == 0) load.firstDamaged = lineNo;
            continue;
        }
        ++load.rows;
        if (!f[9].empty() || f[2].empty()) {
            ++load.failed;
            value = std::numeric_limits<double>::quiet_NaN();
        }
        if (!haveOrigin) {
            haveOrigin = true;
            originMs = ms;
            originMinutes = minutes;
        }
        load.points.push_back(
            {originMinutes + static_cast<double>(ms - originMs) / 60000.0, value});
    }
    return load;
}

TrendLoad LoadTrend(const std::string& path) {
    TrendLoad load;
    // A folder opens as a file on Linux, and its end is reported far beyond
    // any size: only a regular file is read, and only up to the limit.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        load.error = "Файл " + path + " не открыт: это не файл записи опроса, а " +
                     (std::filesystem::is_directory(status) ? "папка." : "устройство или канал.");
        return load;
    }
    const std::uintmax_t size = ec ? 0 : std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxTrendBytes) {
        load.error = "Файл " + path + " не открыт: он слишком велик (" +
                     std::to_string(size >> 20) + " МиБ, а прочитать можно не больше " +
                     std::to_string(kMaxTrendBytes >> 20) + " МиБ).";
        return load;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        load.error = "Не удалось открыть файл " + path + ".";
        return load;
    }
    std::string text;
    char chunk[1 << 16];
    while (text.size() <= kMaxTrendBytes && in) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        load.error = "Не удалось прочитать файл " + path + ".";
        return load;
    }
    // A file that grew past the limit while it was read: its beginning.
    if (text.size() > kMaxTrendBytes) text.resize(kMaxTrendBytes);
    return ParseTrend(text);
}

std::string TrendLoadProblem(const TrendLoad& load) {
    if (!load.opened) return load.error;
    std::string text;
    if (!load.header) {
        text = load.rows == 0 ? "Файл не является записью опроса: в нём нет ни одной строки "
                                "с точкой графика."
                              : "Первая строка файла не заголовок записи опроса: файл, возможно, "
                                "изменён или создан другой программой.";
    }
    if (load.damaged > 0) {
        if (!text.empty()) text += ' ';
        text += "Не прочитано строк: " + std::to_string(load.damaged) + " (первая — строка " +
                std::to_string(load.firstDamaged) +
                "). Показаны прочитанные строки: " + std::to_string(load.rows) + ".";
    }
    return text;
}

}  // namespace zorvat
