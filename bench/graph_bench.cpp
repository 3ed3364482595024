// The chart page with a week of polling (a point every 0.6 s is about a
// million): what one more point costs on the page, hidden and shown, and
// what a redraw of the whole curve costs. Runs offscreen unless a platform
// is named in QT_QPA_PLATFORM.
#include <qcustomplot.h>
#include <QApplication>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "graph_page.h"
#include "model.h"
#include "surfaces.h"
#include "th_search.h"
#include "trend_file.h"

namespace {

using Clock = std::chrono::steady_clock;
using zorvat::RegulatorRef;

constexpr std::size_t kPoints = 1'000'000;
constexpr std::size_t kMore = 20'000;
constexpr double kAppendLimitNs = 1000.0;
constexpr double kRedrawLimitMs = 20.0;
constexpr double kOpenRecordLimitMs = 2000.0;

// A regulated value as a furnace shows it: a first-order rise from 20 to a
// setpoint of 450 with a time constant of 15 minutes, and sensor noise.
class Furnace {
  public:
    std::pair<double, double> Next() {
        const double x = static_cast<double>(n_++) * 0.01;
        const double y = 20.0 + 430.0 * (1.0 - std::exp(-x / 15.0)) + noise_(random_);
        return {x, y};
    }

  private:
    std::size_t n_ = 0;
    std::mt19937 random_{7};
    std::normal_distribution<double> noise_{0.0, 0.8};
};

// Appends `count` points the way the polling job does (to the record, then
// the page is told); nanoseconds per point. The points are made beforehand.
double Append(zorvat::TModel& model, zorvat::TGraphPage& page, RegulatorRef ref, Furnace& source,
              std::size_t count) {
    std::vector<std::pair<double, double>> points(count);
    for (auto& p : points)
        p = source.Next();
    zorvat::ChartSeries& serie = model.Regulator(ref.device, ref.regulator)->Serie;
    const auto start = Clock::now();
    for (const auto& [x, y] : points) {
        serie.Append(x, y);
        page.PointAdded(ref, x, y);
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
           static_cast<double>(count);
}

// Median of `runs` timings of `work`, in milliseconds.
double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool Report(const char* what, double value, double limit, const char* unit) {
    const bool holds = value < limit;
    std::printf("%-58s %9.3f %s  (limit %.0f %s) %s\n", what, value, unit, limit, unit,
                holds ? "holds" : "FAILS");
    return holds;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    zorvat::TQuietSurfaces surfaces;
    zorvat::TModel model(surfaces, zorvat::MakePortJobs);
    auto device = std::make_unique<zorvat::TDevice>();
    device->Present = true;
    device->ParentPort = "COM1";
    device->Address = "1";
    device->Regs[1] = std::make_unique<zorvat::TParams>(0, 1);
    device->Regs[2] = std::make_unique<zorvat::TParams>(0, 2);
    model.DeviceList.Append(std::move(device));
    const RegulatorRef hiddenRef{0, 1};
    const RegulatorRef shownRef{0, 2};

    // The page at the size it has in the main window.
    zorvat::TGraphPage page(model);
    page.resize(776, 470);
    bool ok = true;
    std::printf("graph page, %zu points per series, platform %s\n", kPoints,
                qPrintable(QGuiApplication::platformName()));

    // Hidden: the page is not on screen (another page of the window is).
    page.ShowRegulator(hiddenRef);
    Furnace hiddenSource;
    const double hiddenNs = Append(model, page, hiddenRef, hiddenSource, kPoints);
    const double hiddenMoreNs = Append(model, page, hiddenRef, hiddenSource, kMore);
    ok &= Report("append, page hidden, 0 -> 1M points", hiddenNs, kAppendLimitNs, "ns/point");
    ok &= Report("append, page hidden, on a series of 1M points", hiddenMoreNs, kAppendLimitNs,
                 "ns/point");

    // Shown: redraws are gathered by the page's timer, measured below.
    page.ShowRegulator(shownRef);
    page.show();
    QCoreApplication::processEvents();
    Furnace shownSource;
    const double shownNs = Append(model, page, shownRef, shownSource, kPoints);
    const double shownMoreNs = Append(model, page, shownRef, shownSource, kMore);
    ok &= Report("append, page shown, 0 -> 1M points", shownNs, kAppendLimitNs, "ns/point");
    ok &= Report("append, page shown, on a series of 1M points", shownMoreNs, kAppendLimitNs,
                 "ns/point");
    QCoreApplication::processEvents();

    QCustomPlot* plot = page.Plot();
    const double replotMs = MedianMs(21, [plot] { plot->replot(QCustomPlot::rpImmediateRefresh); });
    ok &= Report("redraw of the chart, 1M points (median of 21)", replotMs, kRedrawLimitMs, "ms");
    QPixmap shot;
    const double grabMs = MedianMs(11, [&page, &shot] { shot = page.grab(); });
    ok &= Report("grab of the whole page, 1M points (median of 11)", grabMs, kRedrawLimitMs, "ms");

    const double bothMs = MedianMs(11, [plot, &page, &shot] {
        plot->replot(QCustomPlot::rpImmediateRefresh);
        shot = page.grab();
    });
    ok &= Report("redraw and grab together (median of 11)", bothMs, kRedrawLimitMs, "ms");

    // For the record: the cost of selecting another regulator in the tree.
    const double switchMs = MedianMs(5, [&page, hiddenRef, shownRef] {
        page.ShowRegulator(hiddenRef);
        page.ShowRegulator(shownRef);
    });
    std::printf("%-58s %9.3f ms  (two selections, 1M points each)\n",
                "switching the shown regulator back and forth", switchMs);

    // A week's trend file opened beside the live curve.
    const std::string path =
        (std::filesystem::temp_directory_path() / "zorvat-graph-bench-week.csv").string();
    {
        std::string text(zorvat::kTrendHeader);
        text += '\n';
        Furnace recorded;
        zorvat::TrendRow row;
        row.wallMs = zorvat::WallMsNow();
        row.setpoint = 450;
        row.on = true;
        for (std::size_t i = 0; i < kPoints; ++i) {
            const auto [x, y] = recorded.Next();
            row.minutes = x;
            row.hasValue = i % 1000 != 999;
            row.value = static_cast<float>(y);
            row.error = row.hasValue ? "" : "-14";
            row.wallMs += 600;
            zorvat::AppendTrendLine(row, text);
        }
        std::FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    QString problem;
    const double openMs = MedianMs(3, [&] {
        problem = page.OpenRecord(QString::fromStdString(path));
        plot->replot(QCustomPlot::rpImmediateRefresh);
    });
    ok &= problem.isEmpty() && page.RecordPoints() == kPoints;
    ok &= Report("open a trend file of 1M rows and redraw (median of 3)", openMs,
                 kOpenRecordLimitMs, "ms");
    const double bothCurvesMs =
        MedianMs(21, [plot] { plot->replot(QCustomPlot::rpImmediateRefresh); });
    ok &= Report("redraw with the record beside, 2 x 1M points (median of 21)", bothCurvesMs,
                 kRedrawLimitMs, "ms");
    std::filesystem::remove(path);

    std::printf(ok ? "every figure holds\n" : "some figure FAILS\n");
    page.Clear();
    return ok ? 0 : 1;
}
