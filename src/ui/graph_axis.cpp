#include "graph_axis.h"

#include <algorithm>
#include <cmath>

namespace zorvat {
namespace {

constexpr double kSteps = 40.0;

}  // namespace

TAxisLimits MoveLimits(TAxisLimits limits, bool forward) {
    const double d = (limits.max - limits.min) / kSteps;
    const double shift = forward ? d : -d;
    return {limits.min + shift, limits.max + shift};
}

TAxisLimits StretchLimits(TAxisLimits limits, bool narrow) {
    const double sign = narrow ? 1.0 : -1.0;
    TAxisLimits out = limits;
    out.min = limits.min + sign * (limits.max - limits.min) / kSteps;
    out.max = limits.max - sign * (limits.max - out.min) / kSteps;
    return out;
}

double MultiplierForStep(int index) {
    return index == 1 ? kHoursMultiplier : kMinutesMultiplier;
}

int StepForMultiplier(double multiplier) {
    return multiplier == kMinutesMultiplier ? 0 : 1;
}

void TDataBounds::Add(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    if (!x_) {
        x_ = TAxisLimits{x, x};
        y_ = TAxisLimits{y, y};
        return;
    }
    x_->min = std::min(x_->min, x);
    x_->max = std::max(x_->max, x);
    y_->min = std::min(y_->min, y);
    y_->max = std::max(y_->max, y);
}

void TAxisScale::SetAutomatic() {
    autoMin_ = true;
    autoMax_ = true;
}

void TAxisScale::SetMaxAutomatic() {
    autoMax_ = true;
}

void TAxisScale::Fix(TAxisLimits limits) {
    autoMin_ = false;
    autoMax_ = false;
    // Limits that enclose nothing cannot be drawn: keep the old ones.
    if (std::isfinite(limits.min) && std::isfinite(limits.max) && limits.max > limits.min) {
        fixed_ = limits;
    }
}

void TAxisScale::Rescale(double factor) {
    if (std::isfinite(factor) && factor > 0) fixed_ = {fixed_.min * factor, fixed_.max * factor};
}

TAxisLimits TAxisScale::Shown(std::optional<TAxisLimits> data) const {
    TAxisLimits shown = fixed_;
    if (data && autoMin_) shown.min = data->min;
    if (data && autoMax_) shown.max = data->max;
    if (shown.max > shown.min) return shown;

    if (data && autoMin_ && autoMax_) {
        // One value, or one moment: centre it.
        return {shown.min - 1.0, shown.max + 1.0};
    }
    const double span = fixed_.max - fixed_.min;
    if (autoMax_) {
        shown.max = shown.min + span;
    } else {
        shown.min = shown.max - span;
    }
    return shown;
}

}  // namespace zorvat
