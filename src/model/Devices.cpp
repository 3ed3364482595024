#include "Devices.h"

#include <chrono>

namespace zorvat {

double MonotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TChnl::TChnl(std::uint8_t deviceIndex, std::uint8_t chnlNo)
    : DeviceIndex(deviceIndex), ChnlNo(chnlNo) {}

TParams::TParams(std::uint8_t deviceIndex, std::uint8_t regNo)
    : DeviceIndex(deviceIndex), RegNo(regNo), LastPoll(MonotonicSeconds()) {
    SetInputChannel(*this, 1);
}

std::shared_ptr<TThreadCycle> TParams::ProgThread() const {
    std::lock_guard lock(threadMu_);
    return progThread_;
}

void TParams::SetProgThread(std::shared_ptr<TThreadCycle> thread) {
    std::lock_guard lock(threadMu_);
    progThread_ = std::move(thread);
}

void SetInputChannel(TParams& r, std::uint8_t value) {
    r.InputChannel = value == 0 ? 1 : (value >= 4 ? 3 : value);
}

void SetProgRunning(TParams& r, bool running) {
    r.ProgRunning = running;
}

std::string DeviceNodeText(const std::string& name, const std::string& address) {
    return "Прибор: " + name + "(" + address + ")";
}

TDevice* TDeviceList::At(std::size_t index) const {
    return index < Count() ? items_[index].get() : nullptr;
}

std::optional<std::uint8_t> TDeviceList::Append(std::unique_ptr<TDevice> device) {
    std::lock_guard lock(appendMu_);
    const std::size_t n = count_.load(std::memory_order_relaxed);
    if (n >= kMaxDevices) return std::nullopt;
    items_[n] = std::move(device);
    count_.store(n + 1, std::memory_order_release);
    return static_cast<std::uint8_t>(n);
}

void TDeviceList::Clear() {
    std::lock_guard lock(appendMu_);
    const std::size_t n = count_.exchange(0, std::memory_order_acq_rel);
    for (std::size_t i = 0; i < n; ++i)
        items_[i].reset();
}

}  // namespace zorvat
