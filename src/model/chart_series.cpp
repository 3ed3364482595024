#include "chart_series.h"

namespace zorvat {

void ChartSeries::Append(double x, double y) {
    std::lock_guard lock(mu_);
    if (size_ == blocks_.size() * kBlockSize) {
        blocks_.push_back(std::make_unique<ChartPoint[]>(kBlockSize));
    }
    blocks_[size_ / kBlockSize][size_ % kBlockSize] = {x, y};
    ++size_;
}

void ChartSeries::Clear() {
    std::lock_guard lock(mu_);
    blocks_.clear();
    size_ = 0;
}

std::size_t ChartSeries::Size() const {
    std::lock_guard lock(mu_);
    return size_;
}

std::size_t ChartSeries::CopyFrom(std::size_t from, std::vector<ChartPoint>& out) const {
    std::lock_guard lock(mu_);
    for (std::size_t i = from; i < size_; ++i)
        out.push_back(blocks_[i / kBlockSize][i % kBlockSize]);
    return size_;
}

ChartPoint ChartSeries::At(std::size_t i) const {
    std::lock_guard lock(mu_);
    if (i >= size_) return {};
    return blocks_[i / kBlockSize][i % kBlockSize];
}

std::int32_t ChartSeries::Color() const {
    std::lock_guard lock(mu_);
    return color_;
}

std::int32_t ChartSeries::DrawnColor() const {
    std::lock_guard lock(mu_);
    return color_ >= 0 && color_ <= 0xFFFFFF ? color_ : kUnsetSeriesColor;
}

void ChartSeries::SetColor(std::int32_t color) {
    std::lock_guard lock(mu_);
    color_ = color;
}

double ChartSeries::XMultiplier() const {
    std::lock_guard lock(mu_);
    return xMultiplier_;
}

void ChartSeries::SetXMultiplier(double multiplier) {
    std::lock_guard lock(mu_);
    xMultiplier_ = multiplier;
}

bool ChartSeries::Active() const {
    std::lock_guard lock(mu_);
    return active_;
}

void ChartSeries::SetActive(bool active) {
    std::lock_guard lock(mu_);
    active_ = active;
}

}  // namespace zorvat
