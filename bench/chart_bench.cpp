// Appending a week of chart points (a point every 0.6 s is about a million)
// to a regulator's series: time and memory per point, and what a redraw
// that takes only the new points costs.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "chart_series.h"

namespace {

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

}  // namespace

int main() {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t kPoints = 1'000'000;
    zorvat::ChartSeries series;
    const long before = ResidentKiB();
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kPoints; ++i) {
        series.Append(static_cast<double>(i) * 0.01, 20.0 + static_cast<double>(i % 1000) * 0.1);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long after = ResidentKiB();

    // A redraw takes only what it has not seen: the last poll's point.
    std::vector<zorvat::ChartPoint> fresh;
    const auto copyStart = Clock::now();
    series.CopyFrom(kPoints - 1, fresh);
    const double copySeconds = std::chrono::duration<double>(Clock::now() - copyStart).count();

    std::printf("appended %zu points in %.1f ms: %.1f ns per point\n", kPoints, seconds * 1e3,
                seconds * 1e9 / kPoints);
    std::printf("memory: %.1f bytes per point (resident growth %ld KiB)\n",
                static_cast<double>(after - before) * 1024.0 / kPoints, after - before);
    std::printf("taking the newest point out of %zu: %.2f us\n", series.Size(), copySeconds * 1e6);
    const bool ok = seconds * 1e9 / kPoints < 1000.0;
    std::printf(ok ? "append stays under 1 us per point\n" : "append is over 1 us per point\n");
    return ok ? 0 : 1;
}
