// The arithmetic of the chart's axes, free of widgets: moving and stretching
// the view by a fortieth of an axis, the time unit of the horizontal axis,
// and an axis that scales its minimum and maximum automatically or keeps
// them where the operator put them.
#pragma once

#include <optional>

namespace zorvat {

struct TAxisLimits {
    double min = 0;
    double max = 0;
    bool operator==(const TAxisLimits&) const = default;
};

// Both limits move by (max - min) / 40: `forward` adds it (the curve moves
// towards the axis origin), otherwise it is subtracted.
TAxisLimits MoveLimits(TAxisLimits limits, bool forward);

// In this order: the minimum moves by (max - min) / 40, then the maximum by
// (max - new min) / 40. `narrow` raises the minimum and lowers the maximum
// (the curve is stretched); otherwise both move outwards (compressed).
TAxisLimits StretchLimits(TAxisLimits limits, bool narrow);

// The time unit of the horizontal axis: list index 0 is minutes, 1 hours.
inline constexpr double kMinutesMultiplier = 1.0;
inline constexpr double kHoursMultiplier = 1.0 / 60.0;
double MultiplierForStep(int index);
// Any multiplier other than 1 shows as hours.
int StepForMultiplier(double multiplier);

// The smallest box around a set of points, grown one point at a time.
// Points that are not finite numbers are left out.
class TDataBounds {
  public:
    void Add(double x, double y);
    void Reset() { *this = TDataBounds(); }
    bool Empty() const { return !x_; }
    std::optional<TAxisLimits> X() const { return x_; }
    std::optional<TAxisLimits> Y() const { return y_; }

  private:
    std::optional<TAxisLimits> x_;
    std::optional<TAxisLimits> y_;
};

// One axis: each limit is automatic (follows the data) or fixed.
class TAxisScale {
  public:
    bool AutoMin() const { return autoMin_; }
    bool AutoMax() const { return autoMax_; }
    // Both limits follow the data.
    void SetAutomatic();
    // Only the maximum follows the data; the minimum stays where it is.
    void SetMaxAutomatic();
    // Both limits fixed here.
    void Fix(TAxisLimits limits);
    // The fixed limits are multiplied by `factor` (a change of unit).
    void Rescale(double factor);

    // What the axis shows for data spanning `data` (none when the curve is
    // empty). A limit that follows the data takes the data's; a curve of one
    // value gets a margin of 1 on each side; a fixed limit that leaves no
    // room keeps the span the axis had when it was fixed.
    TAxisLimits Shown(std::optional<TAxisLimits> data) const;

  private:
    bool autoMin_ = true;
    bool autoMax_ = true;
    TAxisLimits fixed_{0, 1};
};

}  // namespace zorvat
