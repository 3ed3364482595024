// Trend files: the line form and its reader, the writer thread, and what a
// file holds after the recording process was killed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../project/temp_folder.h"
#include "trend_file.h"
#include "trend_recorder.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// 2026-12-10 14:03:05.123 UTC.
constexpr std::int64_t kMoment = 1796911385123;

TrendRow Row(std::int64_t wallMs, double minutes, std::optional<double> value,
             std::string error = "") {
    TrendRow row;
    row.wallMs = wallMs;
    row.minutes = minutes;
    row.hasValue = value.has_value();
    row.value = value.value_or(0);
    row.setpoint = 300;
    row.on = true;
    row.error = std::move(error);
    return row;
}

std::string Line(const TrendRow& row) {
    std::string out;
    AppendTrendLine(row, out);
    return out;
}

// Each field as written, and read back the way the chart takes it.
TEST(TrendLine, FieldsAreWrittenAsTheOperatorReadsThem) {
    LocalTime utc;
    utc.year = 2026;
    utc.month = 12;
    utc.day = 10;
    utc.hour = 14;
    utc.minute = 3;
    utc.second = 5;
    utc.ms = 7;
    LocalTime west = utc;
    west.offsetSeconds = -(3 * 3600 + 30 * 60);

    struct Case {
        const char* name;
        TrendRow row;
        LocalTime time;
        const char* line;
    } cases[] = {
        {"value from the wire, relays and inputs", Row(0, 12.01, 251.5f), utc,
         "2026-12-10T14:03:05.007+00:00,12.0100,251.5,300,1,0,,1010,11001,\n"},
        {"single precision shows short, autotune and program", Row(0, 0, 20.1f), utc,
         "2026-12-10T14:03:05.007+00:00,0.0000,20.1,300,1,1,7,0000,00000,\n"},
        {"failed poll", Row(0, 3.5, std::nullopt, "-14"), west,
         "2026-12-10T14:03:05.007-03:30,3.5000,,300,1,0,,0000,00000,-14\n"},
        {"channel error", Row(0, 3.5, std::nullopt, "$3"), utc,
         "2026-12-10T14:03:05.007+00:00,3.5000,,300,1,0,,0000,00000,$3\n"},
    };
    cases[0].row.relays = 0b0101;
    cases[0].row.inputs = 0b10011;
    cases[1].row.autotune = true;
    cases[1].row.programPoint = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        AppendTrendLine(c.row, c.time, out);
        EXPECT_EQ(out, c.line);
        const TrendLoad load = ParseTrend(std::string(kTrendHeader) + "\n" + out);
        EXPECT_TRUE(load.header);
        EXPECT_EQ(load.damaged, 0u);
        ASSERT_EQ(load.points.size(), 1u);
        EXPECT_EQ(load.points[0].minutes, c.row.minutes);
        if (c.row.hasValue) {
            EXPECT_EQ(static_cast<float>(load.points[0].value), static_cast<float>(c.row.value));
        } else {
            EXPECT_TRUE(std::isnan(load.points[0].value));
        }
    }
}

TEST(TrendLine, FileNameHasTheLocalDatePortAddressAndRegulator) {
    const LocalTime local = ToLocal(kMoment);
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", local.year, local.month, local.day);
    EXPECT_EQ(TrendFileName({"COM1", 3, 1}, kMoment), std::string(date) + "_COM1_003_R1.csv");
    EXPECT_EQ(TrendFileName({"COM10", 255, 2}, kMoment), std::string(date) + "_COM10_255_R2.csv");
}

// What the reader makes of files that are not as the writer left them: it
// shows every row it can read and says what it could not.
TEST(TrendLine, DamagedAndForeignFilesShowTheRowsThatCanBeRead) {
    const std::string header = std::string(kTrendHeader) + "\n";
    const std::string a = Line(Row(kMoment, 1.0, 10.0));
    const std::string b = Line(Row(kMoment + 600, 1.01, 11.0));
    std::string cut = Line(Row(kMoment + 1200, 1.02, 12.0));
    cut.pop_back();  // no "\n": the write was cut off
    struct Case {
        const char* name;
        std::string text;
        bool header;
        std::size_t rows, damaged, firstDamaged;
        bool problem;
    } cases[] = {
        {"whole", header + a + b, true, 2, 0, 0, false},
        {"cut-off last line", header + a + b + cut, true, 2, 1, 4, true},
        {"line broken in the middle", header + a + "2026-12-10T14:0\n" + b, true, 2, 1, 3, true},
        {"no header", a + b, false, 2, 0, 0, true},
        {"CRLF and byte order mark", "\xEF\xBB\xBF" + header + a.substr(0, a.size() - 1) + "\r\n",
         true, 1, 0, 0, false},
        {"foreign CSV", "x,y\n1,2\n3,4\n", false, 0, 3, 1, true},
        {"empty", "", false, 0, 0, 0, true},
        {"wrong field", header + "2026-12-10T14:03:05.123+03:00,1,2,3,1,0,,10,00000,\n", true, 0, 1,
         2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TrendLoad load = ParseTrend(c.text);
        EXPECT_EQ(load.header, c.header);
        EXPECT_EQ(load.rows, c.rows);
        EXPECT_EQ(load.points.size(), c.rows);
        EXPECT_EQ(load.damaged, c.damaged);
        EXPECT_EQ(load.firstDamaged, c.firstDamaged);
        EXPECT_EQ(!TrendLoadProblem(load).empty(), c.problem) << TrendLoadProblem(load);
    }
    const TrendLoad missing = LoadTrend("/nonexistent/folder/x.csv");
    EXPECT_FALSE(missing.opened);
    EXPECT_NE(TrendLoadProblem(missing).find("Не удалось открыть"), std::string::npos);
    // A folder chosen instead of a file (on ext4 its end reads as 2^63).
    const TrendLoad folder = LoadTrend(::testing::TempDir());
    EXPECT_FALSE(folder.opened);
    EXPECT_NE(TrendLoadProblem(folder).find("папка"), std::string::npos);
}

// A run restarted in the same day's file goes on to the right of the first
// one, and a change of the UTC offset (daylight saving) does not fold the
// time axis back.
TEST(TrendLine, TimeAxisFollowsTheClockAcrossRestartsAndOffsetChanges) {
    std::string text = std::string(kTrendHeader) + "\n";
    text += "2026-03-29T01:59:00.000+01:00,30.0000,1,300,1,0,,0000,00000,\n";
    text += "2026-03-29T03:00:00.000+02:00,31.0000,2,300,1,0,,0000,00000,\n";  // one minute on
    text += "2026-03-29T03:10:00.000+02:00,0.0000,3,300,1,0,,0000,00000,\n";   // a restart
    const TrendLoad load = ParseTrend(text);
    ASSERT_EQ(load.points.size(), 3u);
    EXPECT_DOUBLE_EQ(load.points[0].minutes, 30.0);
    EXPECT_DOUBLE_EQ(load.points[1].minutes, 31.0);
    EXPECT_DOUBLE_EQ(load.points[2].minutes, 41.0);
}

std::vector<std::filesystem::path> Files(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

// One file per regulator per day, with one header; a second run of the
// program goes on in the same file.
TEST(TrendRecorder, AppendsToTheDaysFileOfEachRegulator) {
    TempFolder dir;
    const TrendSource r1{"COM1", 3, 1};
    const TrendSource r2{"COM1", 3, 2};
    for (int run = 0; run < 2; ++run) {
        TTrendRecorder recorder;
        recorder.SetFolder((dir.Path() / "records").string());  // made when missing
        for (int i = 0; i < 5; ++i) {
            EXPECT_TRUE(recorder.Add(r1, Row(kMoment + i * 600, i * 0.01, 20.0 + i)));
            EXPECT_TRUE(recorder.Add(r2, Row(kMoment + i * 600, i * 0.01, std::nullopt, "-14")));
        }
        recorder.Flush();
        EXPECT_EQ(recorder.Written(), 10u);
        EXPECT_EQ(recorder.CurrentFile(r1),
                  (dir.Path() / "records" / TrendFileName(r1, kMoment)).string());
    }
    ASSERT_EQ(Files(dir.Path() / "records").size(), 2u);
    const TrendLoad one = LoadTrend((dir.Path() / "records" / TrendFileName(r1, kMoment)).string());
    EXPECT_TRUE(one.header);
    EXPECT_EQ(one.rows, 10u);
    EXPECT_EQ(one.damaged, 0u);
    const TrendLoad two = LoadTrend((dir.Path() / "records" / TrendFileName(r2, kMoment)).string());
    EXPECT_EQ(two.rows, 10u);
    EXPECT_EQ(two.failed, 10u);
}

// Rows of the next day go to the next day's file.
TEST(TrendRecorder, MidnightStartsTheNextDaysFile) {
    TempFolder dir;
    TTrendRecorder recorder;
    recorder.SetFolder(dir.Path().string());
    const TrendSource r{"COM2", 1, 1};
    const LocalTime local = ToLocal(kMoment);
    // The next local midnight.
    const std::int64_t midnight = kMoment -
                                  ((local.hour * 60 + local.minute) * 60 + local.second) * 1000 -
                                  local.ms + 24 * 3600 * 1000;
    recorder.Add(r, Row(midnight - 300, 1.0, 1.0));
    recorder.Add(r, Row(midnight + 300, 1.01, 2.0));
    recorder.Flush();
    EXPECT_EQ(Files(dir.Path()).size(), 2u);
    EXPECT_EQ(LoadTrend((dir.Path() / TrendFileName(r, midnight - 300)).string()).rows, 1u);
    EXPECT_EQ(LoadTrend((dir.Path() / TrendFileName(r, midnight + 300)).string()).rows, 1u);
}

// A line that a power cut left unfinished is taken away before the file
// goes on, so every line in it stays whole.
TEST(TrendRecorder, CutOffLineOfAnEarlierRunIsRemoved) {
    TempFolder dir;
    const TrendSource r{"COM1", 1, 1};
    const auto path = dir.Path() / TrendFileName(r, kMoment);
    const std::string whole = std::string(kTrendHeader) + "\n" + Line(Row(kMoment, 0, 1.0));
    WriteBytes(path, whole + "2026-12-10T14:03:06.0");
    {
        TTrendRecorder recorder;
        recorder.SetFolder(dir.Path().string());
        recorder.Add(r, Row(kMoment + 600, 0.01, 2.0));
    }
    EXPECT_EQ(ReadBytes(path), whole + Line(Row(kMoment + 600, 0.01, 2.0)));
}

// A folder that cannot be written is reported once, the rows of that time
// are counted as lost, and the recording resumes by itself.
TEST(TrendRecorder, UnwritableFolderIsReportedOnceAndRecordingResumes) {
    TempFolder dir;
    const auto folder = dir.Path() / "records";
    WriteBytes(folder, "a file where the folder should be");
    std::mutex mu;
    std::vector<std::string> reports;
    TTrendRecorder recorder;
    recorder.SetReporter([&](const std::string& line) {
        std::lock_guard lock(mu);
        reports.push_back(line);
    });
    recorder.SetFolder(folder.string());
    const TrendSource r{"COM1", 1, 1};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(recorder.Add(r, Row(kMoment + i * 600, i * 0.01, 1.0)));
        recorder.Flush();
    }
    EXPECT_EQ(recorder.Dropped(), 3u);
    {
        std::lock_guard lock(mu);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find("невозможна"), std::string::npos) << reports[0];
    }
    std::filesystem::remove(folder);
    recorder.Add(r, Row(kMoment + 1800, 0.03, 1.0));
    recorder.Flush();
    EXPECT_EQ(recorder.Written(), 1u);
    std::lock_guard lock(mu);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find("возобновлена"), std::string::npos) << reports[1];
}

TEST(TrendRecorder, TakesNoRowsWhenOffOrWithoutAFolder) {
    TempFolder dir;
    TTrendRecorder recorder;
    const TrendSource r{"COM1", 1, 1};
    EXPECT_FALSE(recorder.Add(r, Row(kMoment, 0, 1.0)));
    recorder.SetFolder(dir.Path().string());
    recorder.SetEnabled(false);
    EXPECT_FALSE(recorder.Add(r, Row(kMoment, 0, 1.0)));
    recorder.SetEnabled(true);
    EXPECT_TRUE(recorder.Add(r, Row(kMoment, 0, 1.0)));
    recorder.Flush();
    EXPECT_EQ(recorder.Written(), 1u);
    EXPECT_EQ(recorder.Dropped(), 0u);
}

// A recording process killed with SIGKILL: the file holds every row queued
// more than a second before the kill, and every line in it is whole.
TEST(TrendRecorder, FileOfAKilledProcessHasEveryLineWhole) {
    TempFolder dir;
    auto* queued = static_cast<std::atomic<std::uint64_t>*>(
        mmap(nullptr, sizeof(std::atomic<std::uint64_t>), PROT_READ | PROT_WRITE,
             MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(queued, MAP_FAILED);
    new (queued) std::atomic<std::uint64_t>(0);
    const TrendSource r{"COM1", 1, 1};

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A row a millisecond (a busy line gives one every 75 ms), until killed.
        TTrendRecorder recorder;
        recorder.SetFolder(dir.Path().string());
        for (std::uint64_t i = 0;; ++i) {
            const auto n = static_cast<double>(i);
            if (recorder.Add(r, Row(kMoment + static_cast<std::int64_t>(i), n * 0.001, n))) {
                queued->store(i + 1);
            }
            std::this_thread::sleep_for(1ms);
        }
    }
    while (queued->load() < 200)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(200ms);
    const std::uint64_t before = queued->load();
    // A busy machine (sanitizers, parallel tests) may hold the writer back
    // for a moment; a crash may cost the last seconds, no more.
    std::this_thread::sleep_for(1000ms);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    const TrendLoad load = LoadTrend((dir.Path() / TrendFileName(r, kMoment)).string());
    EXPECT_TRUE(load.header);
    EXPECT_EQ(load.damaged, 0u);
    EXPECT_GE(load.rows, before);
    // The rows are the ones queued, in order, none twice.
    for (std::size_t i = 0; i < load.points.size(); ++i) {
        if (load.points[i].value != static_cast<double>(i)) {
            ADD_FAILURE() << "row " << i << " holds " << load.points[i].value;
            break;
        }
    }
    munmap(queued, sizeof(std::atomic<std::uint64_t>));
}

}  // namespace
}  // namespace zorvat
