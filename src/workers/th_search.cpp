#include "th_search.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "IEEE754.h"
#include "com_u.h"
#include "error_line.h"
#include "hex_text.h"
#include "result_messages.h"
#include "status_block.h"
#include "trend_recorder.h"

namespace zorvat {

namespace {

using namespace std::chrono_literals;

constexpr const char* kStatusBlock = "0000FF";
constexpr std::uint16_t kJobTimeout = 2000;
constexpr double kPollSpacing = 0.6;  // seconds
constexpr auto kVisitPause = 30ms;
constexpr auto kHandOverStep = 50ms;
// A port whose instruments are all gone still has its job until the next
// clear; without a pause its cycle would be nothing but skipped visits.
constexpr auto kEmptyCyclePause = 100ms;
constexpr auto kEndPause = 200ms;
constexpr auto kReadEndPause = 2000ms;
// A port that was lost (an adapter pulled out) is tried again this often
// while it cannot be opened.
constexpr double kReopenSpacing = 1.0;  // seconds
constexpr std::size_t kJobLineLimit = 100;
constexpr const char* kErrorText = "Ошибка!";

// Failures of the port itself rather than of the instrument: the device
// behind it is gone or broken (an adapter pulled out), so the port is
// closed and opened afresh.
bool IsPortFailure(TResult code) {
    return code == rc::WriteFailed || code == rc::WriteIncomplete || code == rc::ReadFailed ||
           code == rc::NotOpen;
}

// Window updates may fail (a widget gone, memory); the cycle must go on.
template <class F>
void Quietly(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

}  // namespace

// One port's polling job.
class TJob {
  public:
    TJob(TModel& model, TPortJobs& owner, std::string portName, int slot)
        : model_(model), owner_(owner), portName_(std::move(portName)), slot_(slot) {}
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    // Only with the owner's lock held, and only once.
    void Start() {
        started_ = true;
        thread_ = std::thread([this] { Execute(); });
    }
    bool Started() const { return started_; }
    bool Finished() const { return finished_; }
    const std::string& PortName() const { return portName_; }
    void RequestStop() {
        {
            std::lock_guard lock(stopMu_);
            stop_ = true;
        }
        stopCv_.notify_all();
    }
    // By whoever took the job out of its slot (or out of the ended list).
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    struct PlotPoint {
        std::size_t device;
        int regulator;
        double x;
        double y;
    };

    void Execute();
    TResult Cycle(TExCOM& port);
    TResult Poll(TExCOM& port, std::size_t d, int r, TDevice& device, TParams& reg);
    TResult ShowAndPlot(std::size_t d, int r, const TDevice& device, TParams& reg,
                        std::string_view block, double sent, std::int64_t wallMs);
    // Whether the regulator is due for a poll; waits for it when it falls
    // due before the next cycle would come back to it.
    bool Due(const TParams& reg, double lastCycle);
    void UpdateStates(std::size_t d, int r, TParams& reg, std::uint8_t status);
    // False when the job was stopped while it waited for the port back.
    bool HandOverPort(TExCOM& port, TParams& reg);
    // The port after a failure of the port itself: closed, and opened again
    // at the next visit, then about once a second while that fails. The
    // error window hears once that it is lost and once that it is back.
    bool EnsureOpen(TExCOM& port);
    void Lose(TExCOM& port, TResult code, double retryAt);
    void LogBack();
    void LogVisit(const TDevice& device, TResult code);
    // Sleeps, but returns at once when the job is asked to stop.
    void Pause(std::chrono::duration<double> time);
    void End(TExCOM& port, TResult code);
    void AddChartPoint(const PlotPoint& point);
    // A row of the regulator's trend file: a failed poll has an error
    // (the code, or "$n" the instrument answered) and no value.
    void Record(const TDevice& device, int r, const TParams& reg, double sent, std::int64_t wallMs,
                std::optional<double> value, std::string error);
    static std::string ErrorText(TResult code) {
        return code > 0 ? "$" + std::to_string(code) : std::to_string(code);
    }
    bool Selected(RegulatorRef ref) const { return model_.Surfaces().IsSelected(ref); }

    TModel& model_;
    TPortJobs& owner_;
    const std::string portName_;
    const int slot_;
    // Set before the thread exists and never reset by it: a stop asked for
    // before the body runs must not be lost.
    std::atomic<bool> stop_{false};
    std::mutex stopMu_;
    std::condition_variable stopCv_;
    bool started_ = false;  // under the owner's lock
    // The job's own thread only.
    bool lost_ = false;
    double nextOpen_ = 0.0;
    // The last EnsureOpen tried to open the port and failed with this code.
    TResult openFailed_ = rc::Ok;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

void TJob::Execute() {
    std::unique_ptr<TExCOM> port = model_.NewPort();
    const TResult code = Cycle(*port);
    End(*port, code);
    FreePort(port);
    if (!stop_) owner_.Release(slot_, this);
    finished_ = true;
}

TResult TJob::Cycle(TExCOM& port) {
    // The line's speed is that of the first instrument of the list: one
    // baud rate serves every port of a search.
    const TDevice* first = model_.Device(0);
    if (first == nullptr) return rc::Ok;
    TResult code = ConfigurePort(port, first->Baudrate, kJobTimeout);
    if (code == rc::Ok) code = port.OpenPort(portName_);
    if (code != rc::Ok) return code;

    // How long the last cycle took: a regulator that falls due sooner than
    // the job would come back to it is waited for instead of skipped.
    double lastCycle = 0.0;
    for (;;) {
        const double cycleStart = MonotonicSeconds();
        const std::size_t count = model_.DeviceList.Count();
        bool visited = false;
        for (std::size_t d = 0; d < count; ++d) {
            for (int r = 1; r <= 2; ++r) {
                TDevice* device = model_.Device(d);
                if (device == nullptr || !device->Present || device->ParentPort != portName_) {
                    continue;
                }
                TParams* reg = device->Regs[static_cast<std::size_t>(r)].get();
                if (reg == nullptr) continue;
                visited = true;
                if ((reg->RegOn || reg->AutoTune) && Due(*reg, lastCycle)) {
                    if (EnsureOpen(port)) {
                        code = Poll(port, d, r, *device, *reg);
                        if (IsPortFailure(code)) {
                            Lose(port, code, 0.0);
                            code = rc::Ok;
                        }
                    } else if (openFailed_ != rc::Ok) {
                        // The port is gone: the record says so about once a
                        // second, at each attempt to open it again.
                        Record(*device, r, *reg, MonotonicSeconds(), WallMsNow(), std::nullopt,
                               ErrorText(openFailed_));
                    }
                }
                if (!HandOverPort(port, *reg)) return code;
                Pause(kVisitPause);
                if (code < 0) LogVisit(*device, code);
                code = rc::Ok;
                if (stop_) return code;
            }
        }
        if (stop_) return code;
        if (!visited) Pause(kEmptyCyclePause);
        lastCycle = MonotonicSeconds() - cycleStart;
    }
}

bool TJob::Due(const TParams& reg, double lastCycle) {
    // Skipping a regulator that is due a little later would put off its
    // poll by a whole cycle: with eight regulators whose cycle is just under
    // 600 ms that nearly doubles their spacing.
    double wait = reg.LastPoll + kPollSpacing - MonotonicSeconds();
    if (wait > 0.0 && wait < lastCycle) {
        while (wait > 0.0 && !stop_) {
            Pause(std::chrono::duration<double>(wait));
            wait = reg.LastPoll + kPollSpacing - MonotonicSeconds();
        }
    }
    return !stop_ && MonotonicSeconds() - reg.LastPoll >= kPollSpacing;
}

TResult TJob::Poll(TExCOM& port, std::size_t d, int r, TDevice& device, TParams& reg) {
    const RegulatorRef ref{static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(r)};
    TSurfaces& ui = model_.Surfaces();

    // The poll's moment is when its request went out: the 600 ms are kept
    // between requests, not between one reply and the next request, and the
    // chart shows when the value was asked for, not how long the line took.
    std::string block;
    double sent = MonotonicSeconds();
    std::int64_t wallMs = WallMsNow();
    TResult code = ReadParam(port, device.Address, kStatusBlock, block);
    if (code != rc::Ok) {
        sent = MonotonicSeconds();
        wallMs = WallMsNow();
        code = ReadParam(port, device.Address, kStatusBlock, block);
    }
    // LastPoll stays where it was: the next visit polls again at once.
    if (code != rc::Ok || block.size() < kStatusBlockLength) {
        const std::string text = code > 0 ? "$" + std::to_string(code) : kErrorText;
        Quietly([&] { ui.SetRegulatorValue(ref, text); });
        Record(device, r, reg, sent, wallMs, std::nullopt,
               ErrorText(code != rc::Ok ? code : rc::BadLength));
        return code;
    }
    // Nothing of a block with a broken byte is believed: the states stay as
    // the last good block left them.
    const auto status = ReadStatusBytes(block);
    if (!status) {
        Quietly([&] { ui.SetRegulatorValue(ref, kErrorText); });
        Record(device, r, reg, sent, wallMs, std::nullopt, ErrorText(rc::BadPayload));
        return rc::BadPayload;
    }
    device.RelayStates = status->relays;
    device.DinStates = status->inputs;
    UpdateStates(d, r, reg, status->regulator);

    if (!reg.RegOn && !reg.AutoTune) {
        Quietly([&] {
            ui.SetRegulatorValue(ref, "");
            ui.SetRegulatorChecked(ref, false);
        });
        // The last row of a run: the regulator was switched off.
        Record(device, r, reg, sent, wallMs, std::nullopt, "");
        return rc::Ok;
    }
    return ShowAndPlot(d, r, device, reg, block, sent, wallMs);
}

void TJob::UpdateStates(std::size_t d, int r, TParams& reg, std::uint8_t status) {
    const RegulatorRef ref{static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(r)};
    TSurfaces& ui = model_.Surfaces();

    const bool on = RegulatorOnIn(status, r);
    const bool wasOn = reg.RegOn;
    Quietly([&] {
        // RegOn is stored before the window hears of it: a failing window
        // update leaves the model right.
        // No job is asked for: the regulator is on this job's port, and
        // while the job is being stopped its slot is already empty, so
        // asking would start a second one behind the stop.
        SetRegOn(model_, reg, on, /*ensureJob=*/false);
        if (wasOn && !on && Selected(ref)) ui.FillRegulatorPage(ref);
        if (!wasOn && on) {
            ui.SetRegulatorChecked(ref, true);
            if (Selected(ref)) ui.FillRegulatorPage(ref);
        }
    });

    const bool tuning = AutotuneOnIn(status, r);
    const bool wasTuning = reg.AutoTune.exchange(tuning);
    Quietly([&] {
        if (wasTuning && !tuning && Selected(ref)) ui.FillRegulatorPage(ref);
        if (!wasTuning && tuning) {
            ui.SetRegulatorChecked(ref, true);
            if (Selected(ref)) ui.FillRegulatorPage(ref);
        }
    });
}

TResult TJob::ShowAndPlot(std::size_t d, int r, const TDevice& device, TParams& reg,
                          std::string_view block, double sent, std::int64_t wallMs) {
    const RegulatorRef ref{static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(r)};
    TSurfaces& ui = model_.Surfaces();

    if (reg.InputChannel > 3) SetInputChannel(reg, 3);
    const int k = reg.InputChannel < 1 ? 1 : reg.InputChannel.load();
    const auto reading = ReadChannel(block, k);
    // A value that cannot be read is not replaced by an older one: the chart
    // shows only what the instrument measured.
    if (!reading) {
        Quietly([&] { ui.SetRegulatorValue(ref, kErrorText); });
        Record(device, r, reg, sent, wallMs, std::nullopt, ErrorText(rc::BadPayload));
        return rc::BadPayload;
    }
    if (reading->status != 0) {
        const std::string status = "$" + std::to_string(reading->status);
        Quietly([&] { ui.SetRegulatorValue(ref, status); });
        Record(device, r, reg, sent, wallMs, std::nullopt, status);
        return rc::Ok;
    }
    const double value = reading->value;

    const std::string text = ValueText(value);
    Quietly([&] { ui.SetRegulatorValue(ref, text); });
    reg.LastPoll = sent;
    const double elapsed = (sent - reg.StartTime) / 60.0;
    reg.ElapsedMin = elapsed;
    Quietly([&] {
        if ((elapsed >= 1.9 && elapsed <= 2.1) || ui.AutoUpdate()) ui.SetTimeAxisAutomatic();
    });
    const PlotPoint point{d, r, Round40(elapsed), Round40(value)};
    Record(device, r, reg, sent, wallMs, point.y, "");
    Quietly([&] { ui.RunOnUiAndWait([&] { AddChartPoint(point); }); });
    return rc::Ok;
}

void TJob::Record(const TDevice& device, int r, const TParams& reg, double sent,
                  std::int64_t wallMs, std::optional<double> value, std::string error) {
    TTrendRecorder* recorder = owner_.recorder_;
    if (recorder == nullptr || !recorder->Enabled()) return;
    TrendRow row;
    row.wallMs = wallMs;
    row.minutes = reg.StartPending ? 0.0 : (sent - reg.StartTime) / 60.0;
    row.hasValue = value.has_value();
    row.value = value.value_or(0.0);
    row.setpoint = reg.Setpoint;
    row.on = reg.RegOn;
    row.autotune = reg.AutoTune;
    row.programPoint = reg.ProgRunning ? reg.CurPoint.load() : 0;
    row.relays = device.RelayStates;
    row.inputs = device.DinStates;
    row.error = std::move(error);
    const auto address = ParseDecimal(device.Address);
    Quietly([&] {
        recorder->Add(TrendSource{portName_, address ? static_cast<int>(*address) : 0, r},
                      std::move(row));
    });
}

// Runs on the window's thread while the job waits.
void TJob::AddChartPoint(const PlotPoint& point) {
    TParams* reg = model_.Regulator(point.device, point.regulator);
    if (reg == nullptr) return;
    // A series whose first value is far above the usual scale starts from
    // 0, so that the value axis takes in the whole rise.
    const double y = point.y > 1800 && reg->Serie.Size() == 0 ? 0.0 : point.y;
    reg->Serie.Append(point.x, y);
    model_.Surfaces().ChartPointAdded(RegulatorRef{static_cast<std::uint8_t>(point.device),
                                                   static_cast<std::uint8_t>(point.regulator)},
                                      point.x, y);
}

bool TJob::HandOverPort(TExCOM& port, TParams& reg) {
    for (HandOver which : {HandOver::Pause, HandOver::Switch, HandOver::Write}) {
        std::atomic<bool>& req = ReqFlag(reg, which);
        if (!req) continue;
        // The port is closed before the Ack: the other side opens it at once.
        port.ClosePort();
        AckFlag(reg, which) = true;
        while (req) {
            Pause(kHandOverStep);
            if (stop_) return false;
            // Released and asked again between two looks: the requester has
            // cleared the Ack and waits for it, and the port is still closed.
            if (!AckFlag(reg, which)) AckFlag(reg, which) = true;
        }
        // Taken back; a port that cannot be opened now (still held by
        // someone, or gone) is lost until a later visit opens it.
        const TResult reopened = port.OpenPort(portName_);
        if (reopened != rc::Ok) {
            Lose(port, reopened, MonotonicSeconds() + kReopenSpacing);
        } else if (lost_) {
            lost_ = false;
            LogBack();
        }
    }
    return true;
}

bool TJob::EnsureOpen(TExCOM& port) {
    openFailed_ = rc::Ok;
    if (port.IsOpen()) return true;
    const double now = MonotonicSeconds();
    if (now < nextOpen_) return false;
    const TResult code = port.OpenPort(portName_);
    if (code != rc::Ok) {
        openFailed_ = code;
        Lose(port, code, now + kReopenSpacing);
        return false;
    }
    if (lost_) {
        lost_ = false;
        LogBack();
    }
    return true;
}

void TJob::Lose(TExCOM& port, TResult code, double retryAt) {
    port.ClosePort();
    nextOpen_ = retryAt;
    if (lost_) return;
    lost_ = true;
    const std::string line = Format({.layout = ErrorLayout::Visit,
                                     .code = code,
                                     .port = portName_,
                                     .tail = " Опрос продолжится, когда порт снова откроется."});
    Quietly([&] { model_.Surfaces().AddErrorLineCapped(line, kJobLineLimit); });
}

void TJob::LogBack() {
    const std::string line =
        TimeText() + " Порт " + portName_ + " снова открыт, опрос продолжается.";
    Quietly([&] { model_.Surfaces().AddErrorLineCapped(line, kJobLineLimit); });
}

void TJob::Pause(std::chrono::duration<double> time) {
    std::unique_lock lock(stopMu_);
    stopCv_.wait_for(lock, time, [this] { return stop_.load(); });
}

void TJob::LogVisit(const TDevice& device, TResult code) {
    std::string message;
    if (!ResultMessage(code, portName_, message)) return;
    const std::string line = Format({.layout = ErrorLayout::Visit,
                                     .code = code,
                                     .port = portName_,
                                     .address = device.Address,
                                     .message = message});
    Quietly([&] { model_.Surfaces().AddErrorLineCapped(line, kJobLineLimit); });
}

void TJob::End(TExCOM& port, TResult code) {
    port.ClosePort();
    std::string message;
    // Not for a port held by another program: the job simply leaves the
    // port to it.
    if (code != rc::PortBusy && ResultMessage(code, portName_, message)) {
        const std::string line = Format(
            {.layout = ErrorLayout::JobEnd, .code = code, .port = portName_, .message = message});
        Quietly([&] { model_.Surfaces().AddErrorLine(line); });
    }
    // Whoever waits for a port must not wait for a job that is gone,
    // whatever port it waits for.
    for (std::size_t d = 0; d < model_.DeviceList.Count(); ++d) {
        for (int r = 1; r <= 2; ++r) {
            TParams* reg = model_.Regulator(d, r);
            if (reg == nullptr) continue;
            for (HandOver which : {HandOver::Pause, HandOver::Switch, HandOver::Write}) {
                if (ReqFlag(*reg, which)) AckFlag(*reg, which) = true;
            }
        }
    }
    Pause(kEndPause);
    if (model_.ReadThread) Pause(kReadEndPause);
}

// --- TPortJobs --------------------------------------------------------------

TPortJobs::TPortJobs(TModel& model, TTrendRecorder* recorder)
    : model_(model), recorder_(recorder) {}

TPortJobs::~TPortJobs() {
    StopAll();
}

int TPortJobs::SlotOf(const std::string& portName) {
    // Characters 4 and 5 of the name: "COM1" .. "COM10".
    if (portName.size() < 4 || portName.size() > 5 || portName.compare(0, 3, "COM") != 0) {
        return 0;
    }
    const auto number = ParseDecimal(std::string_view(portName).substr(3));
    return number && *number >= 1 && *number <= 10 ? static_cast<int>(*number) : 0;
}

bool TPortJobs::Has(const std::string& portName) const {
    const int slot = SlotOf(portName);
    if (slot == 0) return false;
    std::lock_guard lock(mu_);
    return slots_[static_cast<std::size_t>(slot)] != nullptr;
}

bool TPortJobs::Serving(const std::string& portName) const {
    const int slot = SlotOf(portName);
    if (slot == 0) return false;
    std::lock_guard lock(mu_);
    if (slots_[static_cast<std::size_t>(slot)] != nullptr) return true;
    for (const auto* list : {&ended_, &stopping_}) {
        for (const auto& job : *list) {
            if (job->PortName() == portName && !job->Finished()) return true;
        }
    }
    return false;
}

void TPortJobs::CreateSuspended(const std::string& portName) {
    Reap();
    const int slot = SlotOf(portName);
    if (slot == 0) return;
    std::lock_guard lock(mu_);
    auto& job = slots_[static_cast<std::size_t>(slot)];
    if (!job) job = std::make_shared<TJob>(model_, *this, portName, slot);
}

void TPortJobs::StartAll() {
    std::lock_guard lock(mu_);
    for (auto& job : slots_) {
        if (job && !job->Started()) job->Start();
    }
}

void TPortJobs::Ensure(const std::string& portName) {
    Reap();
    const int slot = SlotOf(portName);
    if (slot == 0) return;
    std::lock_guard lock(mu_);
    auto& job = slots_[static_cast<std::size_t>(slot)];
    if (job) return;
    job = std::make_shared<TJob>(model_, *this, portName, slot);
    job->Start();
}

void TPortJobs::StopAll() {
    std::vector<std::shared_ptr<TJob>> jobs;
    {
        std::lock_guard lock(mu_);
        for (auto& job : slots_) {
            if (job) jobs.push_back(std::move(job));
        }
        for (auto& job : ended_)
            jobs.push_back(std::move(job));
        ended_.clear();
        stopping_.insert(stopping_.end(), jobs.begin(), jobs.end());
    }
    // All are asked first, so that they end side by side.
    for (auto& job : jobs)
        job->RequestStop();
    for (auto& job : jobs)
        job->Join();
    std::lock_guard lock(mu_);
    std::erase_if(stopping_, [&](const std::shared_ptr<TJob>& job) {
        return std::find(jobs.begin(), jobs.end(), job) != jobs.end();
    });
}

std::size_t TPortJobs::Count() const {
    std::lock_guard lock(mu_);
    std::size_t n = 0;
    for (const auto& job : slots_) {
        if (job) ++n;
    }
    return n;
}

void TPortJobs::Release(int slot, const TJob* job) {
    std::lock_guard lock(mu_);
    auto& current = slots_[static_cast<std::size_t>(slot)];
    // A job taken out by StopAll is joined there; a new job in the slot is
    // not this one's to remove.
    if (current.get() != job) return;
    ended_.push_back(std::move(current));
}

void TPortJobs::Reap() {
    std::vector<std::shared_ptr<TJob>> done;
    {
        std::lock_guard lock(mu_);
        for (auto it = ended_.begin(); it != ended_.end();) {
            if ((*it)->Finished()) {
                done.push_back(std::move(*it));
                it = ended_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& job : done)
        job->Join();
}

std::unique_ptr<TPollingJobs> MakePortJobs(TModel& model) {
    return std::make_unique<TPortJobs>(model);
}

PollingJobsFactory MakeRecordingPortJobs(TTrendRecorder& recorder) {
    return [&recorder](TModel& model) { return std::make_unique<TPortJobs>(model, &recorder); };
}

}  // namespace zorvat
