// The records of a run: a week of polling (a point every 0.6 s is about a
// million rows) through the recorder's writer thread into a trend file, and
// the file read back as the graph page reads it. The rows are made
// beforehand and queued as fast as the queue takes them.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "trend_file.h"
#include "trend_recorder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace zorvat;

constexpr std::size_t kRows = 1'000'000;
constexpr double kLimitSeconds = 2.0;

bool Report(const char* what, double seconds) {
    const bool holds = seconds < kLimitSeconds;
    std::printf("%-52s %7.3f s  (limit %.0f s) %s\n", what, seconds, kLimitSeconds,
                holds ? "holds" : "FAILS");
    return holds;
}

}  // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / "zorvat-records-bench";
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);

    // A furnace's week, a row every 600 ms, with a failed poll now and then.
    const TrendSource source{"COM1", 3, 1};
    const std::int64_t start = WallMsNow() - static_cast<std::int64_t>(kRows) * 600;
    std::vector<TrendRow> rows(kRows);
    for (std::size_t i = 0; i < kRows; ++i) {
        TrendRow& row = rows[i];
        row.wallMs = start + static_cast<std::int64_t>(i) * 600;
        row.minutes = static_cast<double>(i) * 0.01;
        row.hasValue = i % 1000 != 999;
        row.value = static_cast<float>(20.0 + 430.0 * (1.0 - std::exp(-row.minutes / 15.0)));
        row.setpoint = 450;
        row.on = true;
        row.relays = static_cast<std::uint8_t>(i % 2);
        row.inputs = 0b00100;
        if (!row.hasValue) row.error = "-14";
    }

    std::printf("trend files, %zu rows of one regulator\n", kRows);
    bool ok = true;
    std::string path;
    std::uintmax_t bytes = 0;
    {
        TTrendRecorder recorder(kRows);
        recorder.SetFolder(dir.string());
        const auto t0 = Clock::now();
        for (TrendRow& row : rows)
            recorder.Add(source, std::move(row));
        recorder.Flush();
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        ok &= Report("queued, written and synced", seconds);
        if (recorder.Written() != kRows) {
            std::printf("only %llu rows written, %llu dropped\n",
                        static_cast<unsigned long long>(recorder.Written()),
                        static_cast<unsigned long long>(recorder.Dropped()));
            ok = false;
        }
    }
    // The rows of a week span several days' files: read them all.
    std::size_t read = 0;
    double readSeconds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        bytes += entry.file_size();
        const auto t0 = Clock::now();
        const TrendLoad load = LoadTrend(entry.path().string());
        readSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        read += load.rows;
        if (load.damaged != 0) ok = false;
    }
    std::printf("%zu rows in %.1f MB\n", read, static_cast<double>(bytes) / 1e6);
    ok &= read == kRows;

    // One file of a million rows, as the graph page opens it.
    path = (dir / "week.csv").string();
    {
        std::string text(kTrendHeader);
        text += '\n';
        for (std::size_t i = 0; i < kRows; ++i) {
            TrendRow row;
            row.wallMs = start + static_cast<std::int64_t>(i) * 600;
            row.minutes = static_cast<double>(i) * 0.01;
            row.hasValue = true;
            row.value = 20.0 + static_cast<double>(i % 400);
            row.setpoint = 450;
            AppendTrendLine(row, text);
        }
        std::FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    const auto t0 = Clock::now();
    const TrendLoad week = LoadTrend(path);
    ok &= Report("one file of 1M rows read and parsed",
                 std::chrono::duration<double>(Clock::now() - t0).count());
    ok &= week.rows == kRows;
    std::printf("(the days' files above read in %.3f s)\n", readSeconds);

    std::filesystem::remove_all(dir, ec);
    std::printf(ok ? "every figure holds\n" : "some figure FAILS\n");
    return ok ? 0 : 1;
}
