// Command workers running side by side with a polling job on one port: the
// job hands its port to one operation at a time and takes it back, every
// operation completes, and clearing the model ends a running program and
// the job without waiting for the program's points.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "IEEE754.h"
#include "core_fixture.h"
#include "operations.h"
#include "search.h"
#include "th_search.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using testing::CoreFixture;
using testing::WaitFor;
using SimClock = sim::Clock;

constexpr auto kIdleLimit = 20s;
constexpr const char* kPort = "COM1";

// The reported lines that tell of a failure or an interrupted operation,
// one a line.
std::string Failures(const std::vector<std::string>& events) {
    std::string out;
    for (const auto& event : events) {
        if (event.find("Ошибка") != std::string::npos ||
            event.find("interrupted") != std::string::npos) {
            out += event + "\n";
        }
    }
    return out;
}

// Requests that came while the previous reply was still on the line, or that
// were not answered in full, one a line. The last request may still be under
// way.
std::string Collisions(const std::vector<sim::RequestRecord>& requests) {
    std::string out;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const auto& record = requests[i];
        if (i + 1 == requests.size() && !record.finished) break;
        if (!record.answered || !record.replyComplete)
            out += "no full reply: " + record.text + "\n";
        if (i == 0) continue;
        const auto& previous = requests[i - 1];
        if (record.firstByte < previous.replyEnd) {
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                previous.replyEnd - record.firstByte);
            out += record.text + " came " + std::to_string(us.count()) +
                   " us before the reply to " + previous.text + " ended\n";
        }
    }
    return out;
}

bool IsStatusPoll(const sim::RequestRecord& record) {
    return record.text.find(";37;0000FF;") != std::string::npos;
}

class Workers : public CoreFixture {
  protected:
    void SetUp() override {
        CoreFixture::SetUp();
        AddInstrument(kPort, 1, 0xC3);
        AddInstrument(kPort, 2, 0xD1);
        StartSim();
        a_ = AddDevice(kPort, 1, 0xC3);
        b_ = AddDevice(kPort, 2, 0xD1);
    }

    // Switched on in the instrument and in the model; the model's switch
    // starts the port's polling job.
    void RunRegulator(std::uint8_t d, int r) {
        sim_.SetRegulatorOn(kPort, std::stoi(model_->Device(d)->Address), r, true);
        Reg(d, r).LastPoll = 0.0;
        SetRegOn(*model_, Reg(d, r), true);
    }

    void Points(std::uint8_t d, int r,
                std::initializer_list<std::tuple<int, bool, double, double>> points, int count) {
        TParams& reg = Reg(d, r);
        reg.Prog_PointCount = static_cast<std::uint8_t>(count);
        for (const auto& [i, on, setpoint, seconds] : points) {
            const auto p = static_cast<std::size_t>(i);
            reg.OnOff[p] = on;
            reg.Tempr[p] = setpoint;
            reg.Time[p] = seconds;
        }
    }

    // Status polls that reached the port after `since` and were answered.
    std::size_t PollsSince(SimClock::time_point since, int address) const {
        const std::string prefix = ":" + std::to_string(address) + ";";
        std::size_t n = 0;
        for (const auto& record : sim_.Requests(kPort)) {
            if (IsStatusPoll(record) && record.text.rfind(prefix, 0) == 0 &&
                record.firstByte > since && record.replyComplete) {
                ++n;
            }
        }
        return n;
    }

    // The values written to `number` of instrument `address`, in order.
    std::vector<double> RealWrites(int address, const std::string& number) const {
        const std::string prefix = ":" + std::to_string(address) + ";38;" + number + ";";
        std::vector<double> values;
        for (const auto& text : sim_.RequestTexts(kPort)) {
            if (text.rfind(prefix, 0) != 0) continue;
            double v = 0;
            if (WireTextToFloat(text.substr(prefix.size(), 8), v)) values.push_back(v);
        }
        return values;
    }

    std::string HandOverFlags() {
        std::ostringstream out;
        for (std::uint8_t d : {a_, b_}) {
            for (int r : {1, 2}) {
                const TParams* reg = model_->Regulator(d, r);
                if (reg == nullptr) continue;
                const TParams& p = *reg;
                out << "\n  " << int{d} << "/" << r << " Pause " << p.PauseReq << p.PauseAck
                    << " Switch " << p.SwitchReq << p.SwitchAck << " Write " << p.WriteReq
                    << p.WriteAck << " program " << p.ProgRunning;
            }
        }
        return out.str();
    }

    // Runs `work` on a thread of its own and waits at most `limit` for it.
    // Past the limit the test fails and `release` is called, and again every
    // 100 ms, to set free whatever `work` waits for; a run that still hangs
    // 10 s later is aborted, since a hang would report nothing at all.
    template <class Work, class Release>
    bool FinishesWithin(std::chrono::seconds limit, const char* what, Work work, Release release) {
        auto done = std::async(std::launch::async, std::move(work));
        if (done.wait_for(limit) == std::future_status::ready) return true;
        ADD_FAILURE() << what << " still running after " << limit.count()
                      << " s; hand-over flags (Req, Ack):" << HandOverFlags();
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        do {
            if (std::chrono::steady_clock::now() > giveUp) {
                std::fprintf(stderr, "%s still hangs after its release\n", what);
                std::abort();
            }
            release();
        } while (done.wait_for(100ms) != std::future_status::ready);
        return false;
    }

    // Every worker has ended. The release stops everything: a job that ends
    // acknowledges every raised request, and a regulator switched on after
    // that may start another job, which is stopped in turn.
    bool WaitIdleWithin(TOperations& ops, std::chrono::seconds limit) {
        return FinishesWithin(
            limit, "operations", [&ops] { ops.WaitIdle(); },
            [&] {
                ops.Stop();
                for (std::uint8_t d : {a_, b_}) {
                    for (int r : {1, 2}) {
                        if (TParams* reg = model_->Regulator(d, r)) reg->ProgStop = true;
                    }
                }
                model_->PortJobs().StopAll();
            });
    }

    std::uint8_t a_ = 0;  // 0xC3 at address 1
    std::uint8_t b_ = 0;  // 0xD1 at address 2
};

// A read, a regulator write, a switch, an autotune and a program start at
// once on the port the job polls. Each operation raises a Req/Ack pair no
// other one uses (the read: Pause of a/1; the autotune: Pause of a/2; the
// switch: Switch of a/1; the write: Write of b/2; the program: Switch and
// Write of b/1), so the job hands the port to them one by one.
TEST_F(Workers, OperationsAtOnceShareThePortWithThePollingJob) {
    // Running before the operations start: the job polls instrument 2.
    RunRegulator(b_, 2);
    ASSERT_TRUE(WaitFor([&] { return PollsSince({}, 2) >= 1; }, 3000ms));

    // What the read should bring into the records of instrument 1.
    sim_.SetReal(kPort, 1, "02DA67", 12.5);
    sim_.SetReal(kPort, 1, "01DA69", 42.0);
    // What the write should leave in instrument 2.
    TParams& written = Reg(b_, 2);
    written.Setpoint = 321.5;
    written.Kp = 7.25;
    written.Ti = 55.0;
    Points(b_, 1, {{1, true, 150, 0.3}, {2, true, 160, 0}}, 2);

    TOperations ops(*model_);
    ASSERT_TRUE(ops.StartRead(Operation::ReadOne, a_));
    ASSERT_TRUE(ops.StartWrite(b_, 2).started);
    ops.StartSwitch(a_, 1, true);
    ops.StartAutotune(a_, 2, true);
    ASSERT_TRUE(ops.StartProgram(b_, 1).started);
    ASSERT_TRUE(WaitIdleWithin(ops, kIdleLimit));
    const auto ended = SimClock::now();

    // Every operation reports success and nothing failed on the way: a port
    // opened while another side held it would show as -5, a frame lost in a
    // collision as -14.
    const auto events = ui_.Events();
    auto has = [&](const std::string& event) {
        return std::find(events.begin(), events.end(), event) != events.end();
    };
    for (const char* event :
         {"error: Чтение параметров успешно завершено.",
          "error: Запись параметров успешно завершена.", "finished read-one", "finished write",
          "finished switch", "finished autotune", "finished program"}) {
        EXPECT_TRUE(has(event)) << event;
    }
    EXPECT_EQ(Failures(events), "");

    // The instruments and the records as the operations left them.
    struct Real {
        int address;
        const char* number;
        double value;
    };
    for (const Real& real : {Real{2, "02DA66", 321.5}, Real{2, "02DA67", 7.25},
                             Real{2, "02DA68", 55.0}, Real{2, "01DA66", 160.0}}) {
        EXPECT_EQ(sim_.Real(kPort, real.address, real.number), real.value)
            << real.address << " " << real.number;
    }
    EXPECT_EQ(Reg(a_, 2).Kp, 12.5);
    EXPECT_EQ(Reg(a_, 1).Td, 42.0);
    EXPECT_EQ(RealWrites(2, "01DA66"), (std::vector<double>{150, 160}));

    struct State {
        const char* what;
        bool instrument;
        bool model;
        bool expected;
    };
    const TParams& program = Reg(b_, 1);
    for (const State& s : {
             State{"switched on", sim_.RegulatorOn(kPort, 1, 1), Reg(a_, 1).RegOn, true},
             State{"autotuning", sim_.AutoTune(kPort, 1, 2), Reg(a_, 2).AutoTune, true},
             State{"program off at its end", sim_.RegulatorOn(kPort, 2, 1), program.RegOn, false},
             State{"kept on", sim_.RegulatorOn(kPort, 2, 2), Reg(b_, 2).RegOn, true},
         }) {
        EXPECT_EQ(s.instrument, s.expected) << s.what;
        EXPECT_EQ(s.model, s.expected) << s.what;
    }
    EXPECT_FALSE(program.ProgRunning);
    EXPECT_TRUE(program.ProgStop);
    EXPECT_FALSE(program.ProgThread());

    // No operation still holds the port.
    for (std::uint8_t d : {a_, b_}) {
        for (int r : {1, 2}) {
            for (HandOver which : {HandOver::Pause, HandOver::Switch, HandOver::Write}) {
                EXPECT_FALSE(ReqFlag(Reg(d, r), which))
                    << int{d} << "/" << r << " " << static_cast<int>(which);
            }
        }
    }

    // The job took its port back: both instruments are polled again and
    // the regulators switched on during the run get chart points.
    const std::size_t switchedPoints = Reg(a_, 1).Serie.Size();
    const std::size_t keptPoints = Reg(b_, 2).Serie.Size();
    EXPECT_TRUE(
        WaitFor([&] { return PollsSince(ended, 1) >= 2 && PollsSince(ended, 2) >= 2; }, 3000ms));
    EXPECT_TRUE(WaitFor(
        [&] {
            return Reg(a_, 1).Serie.Size() > switchedPoints && Reg(b_, 2).Serie.Size() > keptPoints;
        },
        3000ms));

    // One talker at a time on the line.
    const auto requests = sim_.Requests(kPort);
    EXPECT_GT(requests.size(), 60u);
    EXPECT_EQ(Collisions(requests), "");
}

// Clearing the model while a program holds a point and the job polls stops
// both at once, switches the program's regulator off and leaves nothing
// behind that still talks to the port.
TEST_F(Workers, ClearDevicesEndsAHoldingProgramAndThePollingJob) {
    RunRegulator(b_, 2);
    Points(a_, 1, {{1, true, 120, 60}, {2, true, 130, 60}}, 2);
    TOperations ops(*model_);
    ASSERT_TRUE(ops.StartProgram(a_, 1).started);
    ASSERT_TRUE(WaitFor([&] { return sim_.Real(kPort, 1, "01DA66") == 120.0; }, 3000ms));
    const auto holding = SimClock::now();
    ASSERT_TRUE(WaitFor([&] { return PollsSince(holding, 1) >= 1 && PollsSince(holding, 2) >= 1; },
                        3000ms));

    // The release stops the program once, while the clear still waits for
    // it and its record still exists.
    TParams* program = &Reg(a_, 1);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(FinishesWithin(
        5s, "ClearDevices", [&] { model_->ClearDevices(); },
        [&program] {
            if (program != nullptr) program->ProgStop = true;
            program = nullptr;
        }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    EXPECT_EQ(model_->PortJobs().Count(), 0u);
    EXPECT_TRUE(model_->DeviceList.Empty());
    ASSERT_TRUE(WaitIdleWithin(ops, 5s));
    EXPECT_FALSE(sim_.RegulatorOn(kPort, 1, 1));
    EXPECT_EQ(RealWrites(1, "01DA66"), (std::vector<double>{120}));
    const auto events = ui_.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "finished program (stopped)"), events.end());
    EXPECT_EQ(Failures(events), "");

    const std::size_t seen = sim_.Requests(kPort).size();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sim_.Requests(kPort).size(), seen);
}

// Clearing the model while any kind of worker runs (the search, a read, the
// regulator write, a link check, a switch, an autotune, a program) stops it
// and waits for it before a record goes: under AddressSanitizer a worker
// that still stores into a freed record fails the test. The polling job's
// closing pauses wake on the stop, so the clear takes about as long as the
// worker needs to see its stop, not seconds more.
TEST_F(Workers, ClearDevicesWaitsForEveryKindOfWorker) {
    struct Case {
        const char* what;
        std::function<void(TOperations&)> start;
    };
    const Case cases[] = {
        {"search",
         [](TOperations& ops) {
             SearchRange range;
             range.COMmin = range.COMmax = 1;
             range.MinAddr = 1;
             range.MaxAddr = 3;
             range.Baudrate = kBaud;
             ops.StartSearch(range);
         }},
        {"read of all", [](TOperations& ops) { ops.StartRead(Operation::ReadAll, 0); }},
        {"write", [this](TOperations& ops) { ops.StartWrite(b_, 2); }},
        {"link check", [this](TOperations& ops) { ops.StartCheckLink(a_); }},
        {"switch", [this](TOperations& ops) { ops.StartSwitch(a_, 1, true); }},
        {"autotune", [this](TOperations& ops) { ops.StartAutotune(a_, 2, true); }},
        {"program",
         [this](TOperations& ops) {
             Points(a_, 1, {{1, true, 120, 60}, {2, true, 130, 60}}, 2);
             ops.StartProgram(a_, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (model_->DeviceList.Empty()) {
            a_ = AddDevice(kPort, 1, 0xC3);
            b_ = AddDevice(kPort, 2, 0xD1);
        }
        RunRegulator(b_, 2);
        TOperations ops(*model_);
        c.start(ops);
        std::this_thread::sleep_for(40ms);  // under way
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(FinishesWithin(
            10s, "ClearDevices", [&] { model_->ClearDevices(); }, [] {}));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_EQ(model_->Workers.Running(), 0);
        EXPECT_EQ(model_->PortJobs().Count(), 0u);
        EXPECT_TRUE(model_->DeviceList.Empty());
        EXPECT_FALSE(model_->StopFlag);
    }
}

}  // namespace
}  // namespace zorvat
