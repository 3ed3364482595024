// A regulator's chart series as plain data: the window draws it, the project
// file keeps its colour and X multiplier.
//
// Points arrive every 0.6 s for days on end (about 1.2 million a week), so
// they are appended to fixed-size blocks: an append never copies the series,
// and a reader takes only the points it has not drawn yet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zorvat {

struct ChartPoint {
    double x = 0;  // minutes since the regulator's StartTime
    double y = 0;  // measured value
};

// The colour of a line that was never given one: red, as 0x00BBGGRR.
constexpr std::int32_t kUnsetSeriesColor = 0x0000FF;

class ChartSeries {
  public:
    static constexpr std::size_t kBlockSize = 8192;

    ChartSeries() = default;
    ChartSeries(const ChartSeries&) = delete;
    ChartSeries& operator=(const ChartSeries&) = delete;

    void Append(double x, double y);
    void Clear();
    std::size_t Size() const;
    // Appends points [from, Size()) to `out`; returns the new Size().
    std::size_t CopyFrom(std::size_t from, std::vector<ChartPoint>& out) const;
    ChartPoint At(std::size_t i) const;

    // 0x00BBGGRR, as the project file stores it; -1 until a colour is given.
    std::int32_t Color() const;
    // The colour the line is drawn in: the given one, red until one is given.
    std::int32_t DrawnColor() const;
    void SetColor(std::int32_t color);
    // 1 for minutes, 1/60 for hours.
    double XMultiplier() const;
    void SetXMultiplier(double multiplier);
    // Shown on the chart (the regulator is the selected one).
    bool Active() const;
    void SetActive(bool active);

  private:
    mutable std::mutex mu_;
    std::vector<std::unique_ptr<ChartPoint[]>> blocks_;
    std::size_t size_ = 0;
    std::int32_t color_ = -1;
    double xMultiplier_ = 1.0;
    bool active_ = false;
};

}  // namespace zorvat
