// Eight regulators polled for a long time while the lines misbehave.
//
// Two simulated ports (COM1, COM2), each with two two-regulator instruments
// at 9600 baud, reached like real ports: through the port map's ZORVAT_COMn
// variables, a link that follows the pseudo-terminal, and the real port
// layer. Every regulator runs; regulator 1 of the first instrument on COM1
// runs a setpoint program that outlasts the soak. Faults come at random, one
// at a time, on one port: an instrument (or all of the port's) falls silent,
// answers with noise before its frames or with bad checksums, or the port
// vanishes like a pulled adapter and comes back.
//
// A fault window runs from the fault's start until 5 s after its end (a poll
// under way may still wait out two 2 s reply time-outs). Outside the windows
// nothing may be lost, and the soak checks it four ways:
//   memory  RSS from /proc/self/status every 10 s after a warm-up, growth per
//           hour by a linear fit; under 1 MB an hour (judged from 10 minutes
//           of samples on; the chart's own points are shown apart, they are
//           kept by design);
//   points  every status reply the instruments sent whole and unspoiled
//           outside the windows became a chart point, no poll failed, no
//           error line came, and no 600 ms slot passed without a poll;
//   return  after each return of a port, every running regulator of it is
//           polled again within 2 s;
//   end     the program stops cleanly when asked, and afterwards no worker
//           runs, no port request is left raised, every operation that
//           started has ended, and the polling jobs stop.
// The exit status is 0 only when every target holds.
//
//   soak_bench [--minutes N] [--seed N]     (2 minutes, seed 1)
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Devices.h"
#include "model.h"
#include "operations.h"
#include "sim/simulator.h"
#include "surfaces.h"
#include "th_search.h"

namespace {

using namespace zorvat;
using namespace std::chrono_literals;

constexpr int kPorts = 2;
constexpr std::array<const char*, kPorts> kPortNames{"COM1", "COM2"};
constexpr int kInstrumentsPerPort = 2;
constexpr int kDevices = kPorts * kInstrumentsPerPort;
constexpr int kRegulators = 2 * kDevices;
constexpr std::uint8_t kModelCode = 0xC3;
constexpr unsigned kBaud = 9600;

// The program's regulator: regulator 1 of device 0 (COM1, address 1).
constexpr std::uint8_t kProgramDevice = 0;
constexpr std::uint8_t kProgramRegulator = 1;

constexpr double kPollSpacing = 0.6;
constexpr double kSettle = 5.0;
// A fault strikes this long after its window opened, and a reply counts
// only when it ended this long before a window: a reply the host had not
// read yet when the port vanished (its thread scheduled late on a busy
// machine) does not count against it.
constexpr double kLead = 0.5;
constexpr double kReplyMargin = 0.5;
constexpr double kQuietMin = 10.0;
constexpr double kQuietMax = 30.0;
constexpr double kFirstFault = 5.0;
// No fault starts this close to the end: the last one has settled before
// the final checks.
constexpr double kFaultFreeTail = 30.0;
constexpr double kSampleSpacing = 10.0;
constexpr double kRecoveryWait = 10.0;

constexpr double kMemoryTarget = 1024.0 * 1024.0;  // bytes per hour
constexpr double kMemoryMinSpan = 600.0;           // seconds of samples to judge it
constexpr double kRecoveryTarget = 2.0;            // seconds

enum class Kind { Silent, Noise, BadChecksum, Vanish };
constexpr std::array<const char*, 4> kKindNames{"silent", "noise", "bad checksum", "vanish"};

const char* KindName(Kind kind) {
    return kKindNames[static_cast<std::size_t>(kind)];
}

double Inf() {
    return std::numeric_limits<double>::infinity();
}

double ToSeconds(sim::Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

int PortOf(std::size_t device) {
    return static_cast<int>(device) / kInstrumentsPerPort;
}

int AddressOf(std::size_t device) {
    return static_cast<int>(device) % kInstrumentsPerPort + 1;
}

std::size_t IndexOf(RegulatorRef ref) {
    return static_cast<std::size_t>(2 * ref.device + ref.regulator - 1);
}

std::optional<int> PortIndex(const std::string& name) {
    for (int p = 0; p < kPorts; ++p) {
        if (name == kPortNames[static_cast<std::size_t>(p)]) return p;
    }
    return std::nullopt;
}

long RssBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) * 1024;
    }
    return 0;
}

// "12:34" from seconds.
std::string ClockText(double seconds) {
    const long s = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
    return text;
}

// --- Fault windows ----------------------------------------------------------

struct Window {
    int port = 0;
    Kind kind = Kind::Silent;
    int address = 0;  // 0: every instrument of the port
    double start = 0;
    double end = 0;  // infinite while the fault lasts
};

// The windows so far, in order; at most one is open. Read by the job and
// simulator threads as they count, written by the main thread.
class FaultBook {
  public:
    explicit FaultBook(std::size_t capacity) { windows_.reserve(capacity); }

    void Open(int port, Kind kind, int address, double start) {
        std::lock_guard lock(mu_);
        windows_.push_back({port, kind, address, start, Inf()});
    }
    void Close(double end) {
        std::lock_guard lock(mu_);
        windows_.back().end = end;
    }
    // Whether [a, b] meets a window of the port, its settling time included.
    bool Meets(int port, double a, double b) const {
        std::lock_guard lock(mu_);
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
            // The windows follow one another: every older one ended earlier.
            if (it->end + kSettle < a) break;
            if (it->port == port && it->start <= b) return true;
        }
        return false;
    }
    bool Faulty(int port, double t) const { return Meets(port, t, t); }
    std::vector<Window> All() const {
        std::lock_guard lock(mu_);
        return windows_;
    }

  private:
    mutable std::mutex mu_;
    std::vector<Window> windows_;
};

// --- Replies and points -----------------------------------------------------

// Pairs every whole, unspoiled status reply outside the windows with the
// chart point it should give. The simulator's thread reports the reply, the
// job's thread the point, in either order; a reply left alone for 2 s is a
// lost point. The reply's request time decides, once, whether it counts.
//
// The frames of one port follow one another: the host sends its next
// request only after it is done with the last one. So the poll that gave a
// reply is the one whose time lies between the arrival of the port's
// previous frame and the arrival of this request, however late either
// thread was scheduled.
class PointLedger {
  public:
    struct Loss {
        int port;
        int address;
        double t;
        double nearestPoint;  // the closest unpaired point's time less t; NaN when none
    };

    void SetCounting(double from, double to) {
        from_ = from;
        to_ = to;
    }
    bool Counts(double t) const { return t >= from_ && t < to_; }

    // A reply to the request that arrived at `t`; the port's previous frame
    // arrived at `after`.
    void Reply(int port, int address, double after, double t) {
        std::lock_guard lock(mu_);
        ++expected_;
        Ring& points = points_[static_cast<std::size_t>(port)];
        for (auto& e : points) {
            if (e.used && e.address == address && e.t > after && e.t <= t) {
                e.used = false;
                ++taken_;
                return;
            }
        }
        Put(replies_[static_cast<std::size_t>(port)], {address, after, t, true}, port);
    }
    // A point of `address` whose poll went out at `sent`.
    void Point(int port, int address, double sent) {
        std::lock_guard lock(mu_);
        for (auto& e : replies_[static_cast<std::size_t>(port)]) {
            if (e.used && e.address == address && sent > e.after && sent <= e.t) {
                e.used = false;
                ++taken_;
                return;
            }
        }
        // A point whose reply did not count (spoiled, in a window): kept a
        // while in case its reply is still being reported.
        Put(points_[static_cast<std::size_t>(port)], {address, 0.0, sent, true}, -1);
    }
    void Sweep(double before) {
        std::lock_guard lock(mu_);
        for (std::size_t p = 0; p < replies_.size(); ++p) {
            for (auto& e : replies_[p]) {
                if (e.used && e.t < before) Lose(static_cast<int>(p), e);
            }
        }
        for (auto& ring : points_) {
            for (auto& e : ring) {
                if (e.used && e.t < before) e.used = false;
            }
        }
    }
    long Expected() const {
        std::lock_guard lock(mu_);
        return expected_;
    }
    long Taken() const {
        std::lock_guard lock(mu_);
        return taken_;
    }
    long Lost() const {
        std::lock_guard lock(mu_);
        return lost_;
    }
    std::vector<Loss> Losses() const {
        std::lock_guard lock(mu_);
        return losses_;
    }

  private:
    struct Entry {
        int address = 0;
        double after = 0;
        double t = 0;
        bool used = false;
    };
    using Ring = std::array<Entry, 64>;

    // `port` >= 0: a reply, lost when it has to make room.
    void Put(Ring& ring, const Entry& entry, int port) {
        Entry* slot = &ring[0];
        for (auto& e : ring) {
            if (!e.used) {
                slot = &e;
                break;
            }
            if (e.t < slot->t) slot = &e;
        }
        if (slot->used && port >= 0) Lose(port, *slot);
        *slot = entry;
    }
    void Lose(int port, Entry& e) {
        e.used = false;
        ++lost_;
        double nearest = std::nan("");
        for (const auto& q : points_[static_cast<std::size_t>(port)]) {
            if (q.used && q.address == e.address &&
                (std::isnan(nearest) || std::fabs(q.t - e.t) < std::fabs(nearest))) {
                nearest = q.t - e.t;
            }
        }
        if (losses_.size() < 8) losses_.push_back({port, e.address, e.t, nearest});
    }

    mutable std::mutex mu_;
    std::atomic<double> from_{Inf()};
    std::atomic<double> to_{Inf()};
    std::array<Ring, kPorts> replies_{};
    std::array<Ring, kPorts> points_{};
    long expected_ = 0;
    long taken_ = 0;
    long lost_ = 0;
    std::vector<Loss> losses_;
};

// --- What the model reports -------------------------------------------------

// Counts what the soak judges; keeps no more than a few lines of text, so
// that its own memory stays flat.
class SoakSurfaces : public TSurfaces {
  public:
    SoakSurfaces(const FaultBook& book, PointLedger& ledger, double origin)
        : book_(book), ledger_(ledger), origin_(origin) {}

    void Attach(const TModel* model) { model_ = model; }

    void AddErrorLine(const std::string& line) override { Line(line); }
    void AddErrorLineCapped(const std::string& line, std::size_t) override { Line(line); }
    void SetStatus(const std::string&) override {}
    std::string Status() const override { return {}; }
    void SetProgress(int) override {}
    void SetProjectChanged(bool) override {}
    void SetRegulatorChecked(RegulatorRef, bool) override {}

    // A failed poll shows "Ошибка!" or the instrument's "$n" instead of a value.
    void SetRegulatorValue(RegulatorRef ref, const std::string& text) override {
        if (text != "Ошибка!" && text.rfind('$', 0) != 0) return;
        const double now = MonotonicSeconds();
        if (!ledger_.Counts(now) || book_.Faulty(PortOf(ref.device), now)) return;
        ++strayFailures_;
        Keep("poll of " + std::to_string(ref.device) + "/" + std::to_string(ref.regulator) +
             " failed: " + text);
    }

    void ChartPointAdded(RegulatorRef ref, double, double) override {
        const TParams* reg = model_ ? model_->Regulator(ref.device, ref.regulator) : nullptr;
        if (reg == nullptr) return;
        // The job sets LastPoll to the poll's time just before it plots.
        ledger_.Point(PortOf(ref.device), AddressOf(ref.device), reg->LastPoll);
        lastPoint_[IndexOf(ref)] = MonotonicSeconds();
    }

    void OperationStarted(Operation op) override { ++started_[static_cast<std::size_t>(op)]; }
    void OperationFinished(Operation op, Outcome outcome) override {
        if (op == Operation::Program) {
            programOutcome_ = outcome;
            programEnded_ = true;
        }
        ++finished_[static_cast<std::size_t>(op)];
    }

    double LastPoint(std::size_t index) const { return lastPoint_[index]; }
    bool ProgramEnded() const { return programEnded_; }
    Outcome ProgramOutcome() const { return programOutcome_; }
    bool Balanced() const {
        for (std::size_t i = 0; i < started_.size(); ++i) {
            if (started_[i] != finished_[i]) return false;
        }
        return true;
    }
    long StrayFailures() const { return strayFailures_; }
    long StrayLines() const { return strayLines_; }
    std::vector<std::string> Kept() const {
        std::lock_guard lock(mu_);
        return kept_;
    }

  private:
    void Line(const std::string& line) {
        const double now = MonotonicSeconds();
        if (!ledger_.Counts(now)) return;
        // The job's lines name their port; a line naming neither is stray anyway.
        for (int p = 0; p < kPorts; ++p) {
            if (line.find(kPortNames[static_cast<std::size_t>(p)]) != std::string::npos &&
                book_.Faulty(p, now)) {
                return;
            }
        }
        ++strayLines_;
        Keep("error line: " + line);
    }
    void Keep(const std::string& what) {
        std::lock_guard lock(mu_);
        if (kept_.size() < 8) kept_.push_back(ClockText(MonotonicSeconds() - origin_) + " " + what);
    }

    const FaultBook& book_;
    PointLedger& ledger_;
    const double origin_;
    const TModel* model_ = nullptr;
    std::array<std::atomic<double>, kRegulators> lastPoint_{};
    std::array<std::atomic<int>, 16> started_{};
    std::array<std::atomic<int>, 16> finished_{};
    std::atomic<bool> programEnded_{false};
    std::atomic<Outcome> programOutcome_{Outcome::Failed};
    std::atomic<long> strayFailures_{0};
    std::atomic<long> strayLines_{0};
    mutable std::mutex mu_;
    std::vector<std::string> kept_;
};

// --- Set-up -----------------------------------------------------------------

struct Options {
    double minutes = 2.0;
    unsigned seed = 1;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--minutes" && hasValue) {
            o.minutes = std::atof(argv[++i]);
            if (!(o.minutes >= 1.0)) return std::nullopt;
        } else if (arg == "--seed" && hasValue) {
            o.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            return std::nullopt;
        }
    }
    return o;
}

void AddDevices(TModel& model) {
    for (int d = 0; d < kDevices; ++d) {
        auto device = std::make_unique<TDevice>();
        device->Name = "ZURURU-71/M2";
        device->Present = true;
        device->ParentPort =
            kPortNames[static_cast<std::size_t>(PortOf(static_cast<std::size_t>(d)))];
        device->Address = std::to_string(AddressOf(static_cast<std::size_t>(d)));
        device->Baudrate = static_cast<std::int32_t>(kBaud);
        device->ModelCode = kModelCode;
        device->Regs[1] = std::make_unique<TParams>(static_cast<std::uint8_t>(d), 1);
        device->Regs[2] = std::make_unique<TParams>(static_cast<std::uint8_t>(d), 2);
        model.DeviceList.Append(std::move(device));
    }
}

// Points of `seconds` each, enough to outlast the soak, setpoints stepping
// between 100 and 175.
void SetProgram(TParams& r, double soakSeconds) {
    const double point = std::max(20.0, std::ceil(soakSeconds / 250.0));
    const auto count =
        static_cast<std::uint8_t>(std::min<double>(kMaxPoints, std::ceil(soakSeconds / point) + 2));
    r.Prog_PointCount = count;
    for (std::size_t i = 1; i <= count; ++i) {
        r.OnOff[i] = true;
        r.Tempr[i] = 100.0 + 25.0 * static_cast<double>(i % 4);
        r.Time[i] = point;
    }
}

// --- Results ----------------------------------------------------------------

struct Sample {
    double t;
    double rss;
};

// Least-squares slope, bytes per second.
double Slope(const std::vector<Sample>& samples) {
    const auto n = static_cast<double>(samples.size());
    if (samples.size() < 2) return 0.0;
    double st = 0, sr = 0;
    for (const auto& s : samples) {
        st += s.t;
        sr += s.rss;
    }
    const double mt = st / n, mr = sr / n;
    double num = 0, den = 0;
    for (const auto& s : samples) {
        num += (s.t - mt) * (s.rss - mr);
        den += (s.t - mt) * (s.t - mt);
    }
    return den > 0 ? num / den : 0.0;
}

struct Spacing {
    double worst = 0;
    std::string where;
    long missedSlots = 0;
};

// From the chart: gaps between a regulator's polls that meet no window.
Spacing SpacingOutsideWindows(const TModel& model, const FaultBook& book, double from, double to,
                              double origin) {
    Spacing s;
    for (std::size_t d = 0; d < static_cast<std::size_t>(kDevices); ++d) {
        for (int r = 1; r <= 2; ++r) {
            const TParams& reg = *model.Regulator(d, r);
            const int port = PortOf(d);
            const double start = reg.StartTime;
            double previous = -1.0;
            for (std::size_t i = 0; i < reg.Serie.Size(); ++i) {
                const double t = start + reg.Serie.At(i).x * 60.0;
                if (t < from || t > to) continue;
                if (previous >= 0.0 && !book.Meets(port, previous, t)) {
                    const double gap = t - previous;
                    if (gap > s.worst) {
                        s.worst = gap;
                        s.where = std::string(kPortNames[static_cast<std::size_t>(port)]) +
                                  " address " + std::to_string(AddressOf(d)) + " regulator " +
                                  std::to_string(r) + " at " + ClockText(t - origin);
                    }
                    const auto slots = static_cast<long>(std::floor(gap / kPollSpacing));
                    if (slots >= 2) s.missedSlots += slots - 1;
                }
                previous = t;
            }
        }
    }
    return s;
}

const char* Verdict(bool ok) {
    return ok ? "ok" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: soak_bench [--minutes N (at least 1)] [--seed N]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const double runSeconds = options->minutes * 60.0;
    const double warmUp = std::clamp(runSeconds / 10.0, 20.0, 300.0);
    std::mt19937 random(options->seed);
    auto uniform = [&](double a, double b) {
        return std::uniform_real_distribution<>(a, b)(random);
    };
    auto pick = [&](int n) { return std::uniform_int_distribution<>(0, n - 1)(random); };

    const double origin = MonotonicSeconds();
    const auto capacity = static_cast<std::size_t>(runSeconds / kQuietMin) + 16;
    FaultBook book(capacity);
    PointLedger ledger;
    SoakSurfaces ui(book, ledger, origin);

    sim::Simulator sim;
    sim.UseTemporaryLinkDir();
    sim.SetDefaultBaud(kBaud);
    // The simulator shares the process: its request log is kept short, so
    // that it fills during the warm-up and does not show as growth.
    sim.SetLogLimit(64);
    // Each port's thread alone touches its own element.
    std::array<double, kPorts> previousFrame{};
    sim.SetTrace([&](const std::string& port, const sim::RequestRecord& record) {
        const auto p = PortIndex(port);
        if (!p) return;
        double& previous = previousFrame[static_cast<std::size_t>(*p)];
        const double after = previous;
        previous = ToSeconds(record.lastByte);
        if (!record.replyComplete || !record.faults.empty()) return;
        if (record.text.find(";37;0000FF;") == std::string::npos) return;
        const double t = ToSeconds(record.firstByte);
        const double end = ToSeconds(record.replyEnd);
        if (!ledger.Counts(t) || book.Meets(*p, t, end + kReplyMargin)) return;
        // ":1;37;..." names the instrument.
        ledger.Reply(*p, std::atoi(record.text.c_str() + 1), after, t);
    });
    for (const char* port : kPortNames) {
        sim.AddPort(port);
        for (int a = 1; a <= kInstrumentsPerPort; ++a)
            sim.AddInstrument(port, a, kModelCode);
        // What an operator's environment would say; the link keeps the path
        // across the port's returns.
        ::setenv((std::string("ZORVAT_") + port).c_str(), sim.DevicePath(port).c_str(), 1);
    }
    sim.Start();

    auto model = std::make_unique<TModel>(ui, MakePortJobs);
    ui.Attach(model.get());
    TOperations operations(*model);
    AddDevices(*model);

    std::printf(
        "Soak: %d regulators on %s and %s at %u baud for %.1f min (seed %u); warm-up "
        "%.0f s\n",
        kRegulators, kPortNames[0], kPortNames[1], kBaud, options->minutes, options->seed, warmUp);
    std::printf("a fault window lasts from the fault's start until %.0f s after its end\n",
                kSettle);

    TParams& programReg = *model->Regulator(kProgramDevice, kProgramRegulator);
    for (std::size_t d = 0; d < static_cast<std::size_t>(kDevices); ++d) {
        for (int r = 1; r <= 2; ++r) {
            TParams& reg = *model->Regulator(d, r);
            if (&reg == &programReg) continue;
            sim.SetRegulatorOn(kPortNames[static_cast<std::size_t>(PortOf(d))], AddressOf(d), r,
                               true);
            reg.LastPoll = 0.0;
            SetRegOn(*model, reg, true);
        }
    }
    SetProgram(programReg, runSeconds);
    if (const auto reply = operations.StartProgram(kProgramDevice, kProgramRegulator);
        !reply.started) {
        std::fprintf(stderr, "the program did not start: %s\n", reply.refusal.c_str());
        return 1;
    }

    // Counting starts once every regulator has its first point.
    const double readyBy = MonotonicSeconds() + 15.0;
    for (;;) {
        bool all = true;
        for (std::size_t i = 0; i < static_cast<std::size_t>(kRegulators); ++i)
            all = all && ui.LastPoint(i) > 0.0;
        if (all) break;
        if (MonotonicSeconds() > readyBy) {
            std::fprintf(stderr, "not every regulator was polled within 15 s\n");
            return 1;
        }
        std::this_thread::sleep_for(10ms);
    }
    const double ready = MonotonicSeconds();
    const double stopAt = origin + runSeconds;
    ledger.SetCounting(ready, stopAt);

    std::vector<Sample> samples;
    samples.reserve(static_cast<std::size_t>(runSeconds / kSampleSpacing) + 16);
    std::vector<double> recoveries;
    recoveries.reserve(capacity);
    std::array<int, 4> kindCount{};
    double faultTime = 0;
    std::size_t pointsAtWarmUp = 0;
    double warmedAt = 0;

    bool active = false;
    Window current;
    double faultEndsAt = 0;
    double nextFault = ready + kFirstFault;
    double nextSample = origin + warmUp;
    double nextReport = origin + 300.0;
    bool returning = false;
    double returnedAt = 0;
    int returnedPort = 0;
    std::array<bool, kRegulators> waiting{};

    auto totalPoints = [&] {
        std::size_t n = 0;
        for (std::size_t d = 0; d < static_cast<std::size_t>(kDevices); ++d) {
            for (int r = 1; r <= 2; ++r)
                n += model->Regulator(d, r)->Serie.Size();
        }
        return n;
    };

    for (;;) {
        const double now = MonotonicSeconds();
        if (now >= stopAt && !active && !returning) break;

        if (!active && !returning && now >= nextFault && now < stopAt - kFaultFreeTail) {
            current = {};
            current.port = pick(kPorts);
            current.kind = static_cast<Kind>(pick(4));
            current.address =
                current.kind == Kind::Vanish || pick(2) == 0 ? 0 : 1 + pick(kInstrumentsPerPort);
            const double length =
                current.kind == Kind::Vanish ? uniform(3.0, 12.0) : uniform(2.0, 8.0);
            const std::string port = kPortNames[static_cast<std::size_t>(current.port)];
            current.start = MonotonicSeconds();
            book.Open(current.port, current.kind, current.address, current.start);
            std::this_thread::sleep_for(std::chrono::duration<double>(kLead));
            if (current.kind == Kind::Vanish) {
                sim.Unplug(port);
            } else {
                const sim::FaultKind fault = current.kind == Kind::Silent ? sim::FaultKind::Silent
                                             : current.kind == Kind::Noise
                                                 ? sim::FaultKind::Noise
                                                 : sim::FaultKind::BadChecksum;
                for (int a = 1; a <= kInstrumentsPerPort; ++a) {
                    if (current.address == 0 || current.address == a)
                        sim.SetFaults(port, a, {sim::Fault(fault)});
                }
            }
            active = true;
            faultEndsAt = current.start + length;
        }

        if (active && now >= faultEndsAt) {
            const std::string port = kPortNames[static_cast<std::size_t>(current.port)];
            if (current.kind == Kind::Vanish) {
                sim.Replug(port);
                returnedAt = MonotonicSeconds();
                returning = true;
                returnedPort = current.port;
                for (std::size_t d = 0; d < static_cast<std::size_t>(kDevices); ++d) {
                    for (int r = 1; r <= 2; ++r) {
                        waiting[2 * d + static_cast<std::size_t>(r) - 1] =
                            PortOf(d) == current.port && model->Regulator(d, r)->RegOn;
                    }
                }
            } else {
                for (int a = 1; a <= kInstrumentsPerPort; ++a)
                    sim.ClearFaults(port, a);
            }
            current.end = MonotonicSeconds();
            book.Close(current.end);
            active = false;
            ++kindCount[static_cast<std::size_t>(current.kind)];
            faultTime += current.end - current.start;
            if (current.kind != Kind::Vanish) {
                std::printf("%s  %s %s%s for %.1f s\n", ClockText(current.start - origin).c_str(),
                            port.c_str(), KindName(current.kind),
                            current.address == 0
                                ? " (every instrument)"
                                : (" (address " + std::to_string(current.address) + ")").c_str(),
                            current.end - current.start);
            }
            nextFault = current.end + uniform(kQuietMin, kQuietMax);
        }

        if (returning) {
            bool all = true;
            double last = returnedAt;
            for (std::size_t i = 0; i < static_cast<std::size_t>(kRegulators); ++i) {
                if (!waiting[i]) continue;
                const double seen = ui.LastPoint(i);
                if (seen > returnedAt) {
                    last = std::max(last, seen);
                } else {
                    all = false;
                }
            }
            if (all || now > returnedAt + kRecoveryWait) {
                const double recovery = all ? last - returnedAt : Inf();
                recoveries.push_back(recovery);
                std::printf(
                    "%s  %s vanished for %.1f s; every regulator polled again %.2f s "
                    "after its return\n",
                    ClockText(current.start - origin).c_str(),
                    kPortNames[static_cast<std::size_t>(returnedPort)], current.end - current.start,
                    recovery);
                returning = false;
            }
        }

        if (now >= nextSample) {
            if (samples.empty()) {
                pointsAtWarmUp = totalPoints();
                warmedAt = now;
            }
            samples.push_back({now, static_cast<double>(RssBytes())});
            nextSample += kSampleSpacing;
        }
        if (now >= nextReport) {
            std::printf("%s  RSS %.2f MB, %zu chart points\n", ClockText(now - origin).c_str(),
                        static_cast<double>(RssBytes()) / 1048576.0, totalPoints());
            nextReport += 300.0;
        }
        ledger.Sweep(now - 2.0);
        std::this_thread::sleep_for(10ms);
    }

    // --- The end: counting is over; the program is asked to stop. ----------
    const double stopped = MonotonicSeconds();
    const std::size_t pointsAtEnd = totalPoints();
    const Spacing spacing = SpacingOutsideWindows(*model, book, ready, stopped, origin);

    operations.StopProgram(kProgramDevice, kProgramRegulator);
    const double programBy = MonotonicSeconds() + 10.0;
    while (!ui.ProgramEnded() && MonotonicSeconds() < programBy)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(2s);  // the last replies find their points
    ledger.Sweep(Inf());

    struct Check {
        const char* what;
        bool ok;
    };
    bool requestsDown = true;
    for (std::size_t d = 0; d < static_cast<std::size_t>(kDevices); ++d) {
        for (int r = 1; r <= 2; ++r) {
            TParams& reg = *model->Regulator(d, r);
            for (HandOver which : {HandOver::Pause, HandOver::Switch, HandOver::Write})
                requestsDown = requestsDown && !ReqFlag(reg, which);
            requestsDown = requestsDown && reg.PauseHolder.load() == std::thread::id{} &&
                           reg.SwitchHolder.load() == std::thread::id{} &&
                           reg.WriteHolder.load() == std::thread::id{};
        }
    }
    std::vector<Check> checks{
        {"the program ended as stopped",
         ui.ProgramEnded() && ui.ProgramOutcome() == Outcome::Stopped && !programReg.ProgFailed},
        {"its worker is gone and its record idle",
         programReg.ProgThread() == nullptr && !programReg.ProgRunning && programReg.ProgStop},
        {"its regulator is off, in the instrument and in the model",
         !sim.RegulatorOn(kPortNames[0], AddressOf(kProgramDevice), kProgramRegulator) &&
             !programReg.RegOn},
        {"no worker runs", model->Workers.Running() == 0},
        {"no search, read or write is flagged",
         !model->SearchThread && !model->ReadThread && !model->WriteThread},
        {"no port request is left raised", requestsDown},
        {"every operation that started has ended", ui.Balanced()},
    };
    model->PortJobs().StopAll();
    checks.push_back({"the polling jobs stop", model->PortJobs().Count() == 0 &&
                                                   !model->PortJobs().Serving(kPortNames[0]) &&
                                                   !model->PortJobs().Serving(kPortNames[1])});

    // --- Report ------------------------------------------------------------
    const double counted = stopped - ready;
    std::printf(
        "\nfault windows: %d (silent %d, noise %d, bad checksum %d, vanish %d); faults "
        "lasted %.1f of %.1f min\n",
        kindCount[0] + kindCount[1] + kindCount[2] + kindCount[3], kindCount[0], kindCount[1],
        kindCount[2], kindCount[3], faultTime / 60.0, counted / 60.0);

    bool ok = true;
    const double span = samples.empty() ? 0.0 : samples.back().t - samples.front().t;
    const double growth = Slope(samples) * 3600.0;
    const std::size_t chartPoints = pointsAtEnd - pointsAtWarmUp;
    const double chartGrowth = span > 0 ? static_cast<double>(chartPoints * sizeof(ChartPoint)) /
                                              ((stopped - warmedAt) / 3600.0)
                                        : 0.0;
    if (!samples.empty()) {
        const bool judged = span >= kMemoryMinSpan;
        const bool held = growth < kMemoryTarget;
        std::printf(
            "memory: RSS %.2f MB after the warm-up, %.2f MB at the end; growth %.0f KB/h "
            "(linear fit of %zu samples over %.1f min); target < 1024 KB/h: %s\n",
            samples.front().rss / 1048576.0, samples.back().rss / 1048576.0, growth / 1024.0,
            samples.size(), span / 60.0,
            judged ? Verdict(held) : "not judged, under 10 min of samples");
        // The series takes its points in blocks it allocates whole (and
        // zeroes): the RSS shows them a block at a time, not point by point.
        std::printf(
            "    chart points meanwhile: %zu, %.0f KB/h of data, in blocks of %zu points "
            "(%zu KB) per regulator\n",
            chartPoints, chartGrowth / 1024.0, ChartSeries::kBlockSize,
            ChartSeries::kBlockSize * sizeof(ChartPoint) / 1024);
        ok = ok && (!judged || held);
    }

    const long expected = ledger.Expected();
    const long taken = ledger.Taken();
    const long lost = ledger.Lost();
    const bool pointsHeld = lost == 0 && taken == expected && ui.StrayFailures() == 0 &&
                            ui.StrayLines() == 0 && spacing.missedSlots == 0;
    std::printf(
        "points outside fault windows: %ld taken of %ld expected (whole, unspoiled status "
        "replies); %ld lost, %ld failed polls, %ld error lines, %ld empty 600 ms slots: "
        "%s\n",
        taken, expected, lost, ui.StrayFailures(), ui.StrayLines(), spacing.missedSlots,
        Verdict(pointsHeld));
    for (const auto& line : ui.Kept())
        std::printf("    %s\n", line.c_str());
    const std::vector<Window> windows = book.All();
    for (const auto& loss : ledger.Losses()) {
        // The port's nearest window, to tell a fault's edge from the open line.
        double nearest = Inf();
        const Window* near = nullptr;
        for (const auto& w : windows) {
            const double d = std::min(std::fabs(loss.t - w.start), std::fabs(loss.t - w.end));
            if (w.port == loss.port && d < nearest) {
                nearest = d;
                near = &w;
            }
        }
        std::printf("    %s.%03d %s address %d: reply without a point",
                    ClockText(std::floor(loss.t - origin)).c_str(),
                    static_cast<int>(std::fmod(loss.t - origin, 1.0) * 1000.0),
                    kPortNames[static_cast<std::size_t>(loss.port)], loss.address);
        if (!std::isnan(loss.nearestPoint))
            std::printf("; nearest unpaired point %+.3f s", loss.nearestPoint);
        if (near != nullptr)
            std::printf("; %s window %+.1f s from its start, %+.1f s from its end",
                        KindName(near->kind), loss.t - near->start, loss.t - near->end);
        std::printf("\n");
    }
    ok = ok && pointsHeld;
    std::printf("worst poll spacing outside fault windows: %.3f s (%s)\n", spacing.worst,
                spacing.where.c_str());

    if (recoveries.empty()) {
        std::printf("recovery after a port's return: no port vanished in this run\n");
    } else {
        double sum = 0, worst = 0;
        for (double r : recoveries) {
            sum += r;
            worst = std::max(worst, r);
        }
        const bool held = worst <= kRecoveryTarget;
        std::printf(
            "recovery after a port's return (every running regulator polled again): %zu "
            "returns, avg %.2f s, worst %.2f s; target <= %.0f s: %s\n",
            recoveries.size(), sum / static_cast<double>(recoveries.size()), worst, kRecoveryTarget,
            Verdict(held));
        ok = ok && held;
    }

    bool idle = true;
    for (const auto& c : checks) {
        std::printf("at the end: %-58s %s\n", c.what, c.ok ? "ok" : "NO");
        idle = idle && c.ok;
    }
    ok = ok && idle;

    model.reset();
    sim.Stop();
    std::printf(ok ? "every target held\n" : "some target was missed\n");
    return ok ? 0 : 1;
}
