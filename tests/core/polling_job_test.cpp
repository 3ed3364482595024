// The polling job against simulated instruments through pseudo-terminals:
// what it polls, what it shows and plots, how it hands its port over, and
// how it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "Devices.h"
#include "com_u.h"
#include "ex_com.h"
#include "model.h"
#include "port_map.h"
#include "recording_surfaces.h"
#include "sim/simulator.h"
#include "th_search.h"
#include "trend_file.h"
#include "trend_recorder.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;
using Clock = std::chrono::steady_clock;

constexpr unsigned kBaud = 19200;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const auto& l) { return l.rfind(prefix, 0) == 0; }));
}

TResult OpenOwnPort(TExCOM& port, const std::string& name) {
    TResult result = port.SetBaudRate(static_cast<std::uint16_t>(kBaud));
    if (result == rc::Ok) result = port.OpenPort(name);
    return result;
}

class PollingJob : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_.UseTemporaryLinkDir();
        sim_.SetDefaultBaud(kBaud);
        sim_.AddPort("COM1");
        sim_.AddInstrument("COM1", 1, 0xC3);
        sim_.SetTurnaround(1ms);
        sim_.SetSpeed(0);  // measured values stay exactly as set
        sim_.RegisterPortMap();
        sim_.Start();
    }
    void TearDown() override {
        model_.reset();  // stops the jobs while the instruments still answer
        sim_.Stop();
        sim_.UnregisterPortMap();
    }

    // An instrument as the search leaves it in the list.
    std::uint8_t AddDevice(const std::string& port, int address, bool present = true) {
        const auto d = static_cast<std::uint8_t>(model_->DeviceList.Count());
        auto device = std::make_unique<TDevice>();
        device->Name = "ZURURU-71/M2";
        device->Present = present;
        device->ParentPort = port;
        device->Address = std::to_string(address);
        device->Baudrate = static_cast<std::int32_t>(kBaud);
        device->ModelCode = 0xC3;
        device->Regs[1] = std::make_unique<TParams>(d, 1);
        device->Regs[2] = std::make_unique<TParams>(d, 2);
        EXPECT_EQ(model_->DeviceList.Append(std::move(device)), d);
        return d;
    }

    TParams& Reg(std::uint8_t d, int r) { return *model_->Regulator(d, r); }

    // Switched on in the instrument and in the model (which starts the
    // port's job), and due for a poll at once.
    void RunRegulator(std::uint8_t d, int r, const std::string& port = "COM1", int address = 1) {
        sim_.SetRegulatorOn(port, address, r, true);
        Reg(d, r).LastPoll = 0.0;
        SetRegOn(*model_, Reg(d, r), true);
    }

    std::vector<sim::RequestRecord> StatusPolls(const std::string& port = "COM1") const {
        std::vector<sim::RequestRecord> polls;
        for (auto& record : sim_.Requests(port)) {
            if (record.text.find(";37;0000FF;") != std::string::npos && record.finished) {
                polls.push_back(record);
            }
        }
        return polls;
    }

    bool WaitForPolls(std::size_t count, std::chrono::milliseconds timeout = 3000ms) const {
        return WaitFor([&] { return StatusPolls().size() >= count; }, timeout);
    }

    sim::Simulator sim_;
    RecordingSurfaces ui_;
    std::unique_ptr<TModel> model_ = std::make_unique<TModel>(ui_, MakePortJobs);
};

// Regulators that are off cost only the visit; instruments of other ports
// and instruments no longer present are not visited at all.
TEST_F(PollingJob, OffRegulatorIsNeverPolledButItsRequestsAreServed) {
    sim_.AddInstrument("COM1", 2, 0xC3);
    sim_.AddInstrument("COM1", 3, 0xC3);
    const auto d = AddDevice("COM1", 1);
    const auto gone = AddDevice("COM1", 2, /*present=*/false);
    const auto elsewhere = AddDevice("COM2", 3);
    for (auto other : {gone, elsewhere}) {
        Reg(other, 1).RegOn = true;
        Reg(other, 1).LastPoll = 0.0;
    }
    model_->PortJobs().Ensure("COM1");

    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(StatusPolls().empty());

    for (HandOver which : {HandOver::Pause, HandOver::Switch, HandOver::Write}) {
        for (int r : {1, 2}) {
            ASSERT_TRUE(RequestPort(*model_, Reg(d, r), "COM1", which));
            auto own = CreatePort();
            EXPECT_EQ(OpenOwnPort(*own, "COM1"), rc::Ok);
            own->ClosePort();
            ReleasePort(Reg(d, r), which);
        }
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(StatusPolls().empty());
    EXPECT_TRUE(ui_.ErrorLog().empty());
}

// Several raised requests are served one after the other, Pause first; the
// port stays closed while an operation holds it and is polled again after.
TEST_F(PollingJob, HandsThePortOverAndTakesItBack) {
    const auto d = AddDevice("COM1", 1);
    RunRegulator(d, 1);
    ASSERT_TRUE(WaitForPolls(1));
    TParams& r = Reg(d, 1);
    for (HandOver which : {HandOver::Write, HandOver::Switch, HandOver::Pause}) {
        AckFlag(r, which) = false;
        ReqFlag(r, which) = true;
    }
    for (HandOver which : {HandOver::Pause, HandOver::Switch, HandOver::Write}) {
        ASSERT_TRUE(WaitFor([&] { return AckFlag(r, which).load(); }, 2000ms));
        for (HandOver later : {HandOver::Pause, HandOver::Switch, HandOver::Write}) {
            if (later > which) {
                EXPECT_FALSE(AckFlag(r, later)) << static_cast<int>(later);
            }
        }
        auto own = CreatePort();
        ASSERT_EQ(OpenOwnPort(*own, "COM1"), rc::Ok);
        const std::size_t polls = StatusPolls().size();
        std::string value;
        EXPECT_EQ(ReadParam(*own, "1", "002007", value), rc::Ok);
        EXPECT_EQ(value, "C3");
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(StatusPolls().size(), polls);
        own->ClosePort();
        ReqFlag(r, which) = false;  // raised by hand above, so let go by hand
    }
    const std::size_t polls = StatusPolls().size();
    r.LastPoll = 0.0;
    EXPECT_TRUE(WaitForPolls(polls + 1));
    EXPECT_TRUE(ui_.ErrorLog().empty());
}

// A port that cannot be taken back after a hand-over (still held by
// someone) is lost: one line says so, the job tries it again about once a
// second instead of failing every poll, and one line says when it is back.
TEST_F(PollingJob, PortStillHeldAfterAHandOverIsTakenBackOnceFree) {
    const auto d = AddDevice("COM1", 1);
    RunRegulator(d, 1);
    ASSERT_TRUE(WaitForPolls(1));
    TParams& r = Reg(d, 1);

    ASSERT_TRUE(RequestPort(*model_, r, "COM1", HandOver::Pause));
    auto own = CreatePort();
    ASSERT_EQ(OpenOwnPort(*own, "COM1"), rc::Ok);
    ReleasePort(r, HandOver::Pause);
    const std::string lost =
        " Ошибка!(-5)   COM1   Порт COM1 занят другой программой. Опрос продолжится, когда "
        "порт снова откроется.";
    ASSERT_TRUE(WaitFor([&] { return Contains(ui_.ErrorLogWithoutTime(), lost); }, 2000ms));
    std::this_thread::sleep_for(1500ms);  // a second and a half of retries
    EXPECT_EQ(ui_.ErrorLogWithoutTime(), std::vector<std::string>{lost});

    const std::size_t polls = StatusPolls().size();
    own->ClosePort();
    ASSERT_TRUE(WaitForPolls(polls + 1, 2500ms));
    EXPECT_EQ(ui_.ErrorLogWithoutTime(),
              (std::vector<std::string>{lost, " Порт COM1 снова открыт, опрос продолжается."}));
    EXPECT_TRUE(WaitFor([&] { return ui_.RegulatorValue({d, 1}) == "20.000"; }, 2000ms));
}

// An adapter pulled out while its regulator is polled, and plugged back:
// one line when the port is lost, one when it is back, and polling goes on
// by itself within about a second of the return.
TEST_F(PollingJob, UnpluggedPortIsReopenedWhenItComesBack) {
    const auto d = AddDevice("COM1", 1);
    RunRegulator(d, 1);
    ASSERT_TRUE(WaitForPolls(1));

    sim_.Unplug("COM1");
    ASSERT_TRUE(WaitFor([&] { return !ui_.ErrorLog().empty(); }, 3000ms));
    std::this_thread::sleep_for(1500ms);
    auto log = ui_.ErrorLogWithoutTime();
    ASSERT_EQ(log.size(), 1u) << log.back();
    EXPECT_NE(log[0].find("Опрос продолжится, когда порт снова откроется."), std::string::npos)
        << log[0];
    EXPECT_EQ(ui_.RegulatorValue({d, 1}), "Ошибка!");

    sim_.ClearRequests();
    sim_.Replug("COM1");
    const auto back = Clock::now();
    ASSERT_TRUE(WaitForPolls(1, 3000ms));
    EXPECT_LT(Clock::now() - back, 2000ms);
    log = ui_.ErrorLogWithoutTime();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], " Порт COM1 снова открыт, опрос продолжается.");
    EXPECT_TRUE(WaitFor([&] { return ui_.RegulatorValue({d, 1}) == "20.000"; }, 2000ms));
}

// One second try at once; a failed poll leaves LastPoll alone, so the next
// visit polls again without waiting 600 ms.
TEST_F(PollingJob, FailedPollIsTriedTwiceAndShowsItsError) {
    struct Case {
        const char* name;
        FaultKind kind;
        int failures;
        const char* shown;   // the value column after the failing poll
        const char* logged;  // the error line without its time, or nullptr
    } cases[] = {
        {"instrument error", FaultKind::ErrorStatus, 2, "$5", nullptr},
        {"bad checksum", FaultKind::BadChecksum, 2, "Ошибка!",
         " Ошибка!(-19)   COM1   Адрес: 1   Ошибка контрольной суммы в ответе прибора"},
        {"second try succeeds", FaultKind::BadChecksum, 1, nullptr, nullptr},
    };
    const auto d = AddDevice("COM1", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model_->PortJobs().StopAll();
        sim_.ClearRequests();
        ui_.SetRegulatorValue({d, 1}, "");
        ui_.Clear();
        sim_.AddFault("COM1", 1,
                      Fault(c.kind).OnParameter("0000FF").WithNumber(5).Times(c.failures));
        RunRegulator(d, 1);
        ASSERT_TRUE(WaitForPolls(3));
        ASSERT_TRUE(WaitFor([&] { return ui_.RegulatorValue({d, 1}) == "20.000"; }, 2000ms));

        const auto polls = StatusPolls();
        // Retry right after the failure, and the next visit soon after that.
        EXPECT_LT(polls[1].firstByte - polls[0].replyEnd, 50ms);
        if (c.failures == 2) {
            EXPECT_LT(polls[2].firstByte - polls[1].replyEnd, 300ms);
        }
        const auto events = ui_.Events();
        if (c.shown != nullptr) {
            EXPECT_TRUE(Contains(events, std::string("value 0/1: ") + c.shown));
        } else {
            EXPECT_EQ(CountPrefix(events, "value 0/1: "), CountPrefix(events, "value 0/1: 20.000"));
        }
        const auto log = ui_.ErrorLogWithoutTime();
        if (c.logged != nullptr) {
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0], c.logged);
        } else {
            EXPECT_TRUE(log.empty());
        }
    }
}

// Bits 0/4 of the regulator status are "on", bits 1/5 "autotuning".
TEST_F(PollingJob, RegulatorStatusByteGivesOnAndAutotuneStates) {
    struct Case {
        const char* status;  // characters 9-10 of the block
        bool on1, tune1, on2, tune2;
        bool tuningBefore1;  // the model's AutoTune of regulator 1 before the poll
        bool fill1;          // regulator 1 is selected: its page is refilled
    } cases[] = {
        {"11", true, false, true, false, false, false},
        {"22", false, true, false, true, false, true},
        {"01", true, false, false, false, false, false},
        {"01", true, false, false, false, true, true},
        {"00", false, false, false, false, false, true},
    };
    const auto d = AddDevice("COM1", 1);
    ui_.Select(RegulatorRef{d, 1});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        model_->PortJobs().StopAll();
        ui_.Clear();
        sim_.SetRegulatorOn("COM1", 1, 1, c.on1);
        sim_.SetAutoTune("COM1", 1, 1, c.tune1);
        sim_.SetRegulatorOn("COM1", 1, 2, c.on2);
        sim_.SetAutoTune("COM1", 1, 2, c.tune2);
        ASSERT_EQ(sim_.StatusBlock("COM1", 1).substr(8, 2), c.status);
        for (int r : {1, 2}) {
            Reg(d, r).AutoTune = r == 1 && c.tuningBefore1;
            Reg(d, r).LastPoll = 0.0;
            SetRegOn(*model_, Reg(d, r), true);
        }
        ASSERT_TRUE(WaitFor(
            [&] {
                const auto events = ui_.Events();
                return CountPrefix(events, "value 0/1:") > 0 &&
                       CountPrefix(events, "value 0/2:") > 0;
            },
            3000ms));

        EXPECT_EQ(Reg(d, 1).RegOn, c.on1);
        EXPECT_EQ(Reg(d, 1).AutoTune, c.tune1);
        EXPECT_EQ(Reg(d, 2).RegOn, c.on2);
        EXPECT_EQ(Reg(d, 2).AutoTune, c.tune2);
        const bool running2 = c.on2 || c.tune2;
        EXPECT_EQ(ui_.RegulatorValue({d, 2}), running2 ? "20.000" : "");
        if (c.tune2) {
            EXPECT_TRUE(ui_.RegulatorChecked({d, 2}));
        }
        if (!running2) {
            EXPECT_FALSE(ui_.RegulatorChecked({d, 2}));
        }
        EXPECT_EQ(Contains(ui_.Events(), "fill regulator page 0/1"), c.fill1);
        EXPECT_FALSE(Contains(ui_.Events(), "fill regulator page 0/2"));
    }
}

// The value comes from the regulator's own input channel; a channel that
// reports an error shows its number and plots nothing.
TEST_F(PollingJob, ValueComesFromTheInputChannel) {
    struct Case {
        std::uint8_t input;
        std::uint8_t status2;  // status byte of channel 2
        const char* shown;
        bool plotted;
    } cases[] = {
        {1, 0, "25.500", true}, {2, 0, "-12.250", true}, {3, 0, "1000.125", true},
        {2, 6, "$6", false},    {1, 6, "25.500", true},
    };
    sim_.SetMeasured("COM1", 1, 1, 25.5);
    sim_.SetMeasured("COM1", 1, 2, -12.25);
    sim_.SetMeasured("COM1", 1, 3, 1000.125);
    const auto d = AddDevice("COM1", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.input) + " status " + std::to_string(c.status2));
        model_->PortJobs().StopAll();
        ui_.Clear();
        sim_.ClearRequests();
        sim_.SetChannelStatus("COM1", 1, 2, c.status2);
        SetInputChannel(Reg(d, 1), c.input);
        const std::size_t points = Reg(d, 1).Serie.Size();
        RunRegulator(d, 1);
        ASSERT_TRUE(WaitForPolls(1));
        ASSERT_TRUE(WaitFor([&] { return ui_.RegulatorValue({d, 1}) == c.shown; }, 1000ms));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(Reg(d, 1).Serie.Size(), points + (c.plotted ? 1u : 0u));
    }
    ASSERT_GE(Reg(d, 1).Serie.Size(), 2u);
    EXPECT_EQ(Reg(d, 1).Serie.At(1).y, -12.25);
}

// A series that would start far above the scale starts at 0; the points
// after come as measured, at least 600 ms apart.
TEST_F(PollingJob, FirstPointAboveScaleIsPlottedAtZero) {
    sim_.SetMeasured("COM1", 1, 1, 1850.0);
    const auto d = AddDevice("COM1", 1);
    RunRegulator(d, 1);
    const ChartSeries& serie = Reg(d, 1).Serie;
    ASSERT_TRUE(WaitFor([&] { return serie.Size() >= 3; }, 3000ms));
    EXPECT_EQ(serie.At(0).y, 0.0);
    EXPECT_EQ(serie.At(1).y, 1850.0);
    EXPECT_EQ(serie.At(2).y, 1850.0);
    EXPECT_GE(serie.At(0).x, 0.0);
    for (std::size_t i = 1; i < 3; ++i) {
        const double spacing = (serie.At(i).x - serie.At(i - 1).x) * 60.0;
        EXPECT_GE(spacing, 0.6);
        EXPECT_LT(spacing, 0.8);
    }
    std::vector<std::string> shown;
    for (const auto& e : ui_.Events()) {
        if (e.rfind("point 0/1: ", 0) == 0) shown.push_back(e.substr(e.rfind(' ') + 1));
    }
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], "0.000");
    EXPECT_EQ(shown[1], "1850.000");
}

// About two minutes after the origin the time axis starts to follow the
// data; "Автообновление" makes it follow always.
TEST_F(PollingJob, TimeAxisTurnsAutomaticAroundTwoMinutes) {
    struct Case {
        double elapsed;  // minutes since the origin at the first poll
        bool autoUpdate;
        bool automatic;
    } cases[] = {{0.5, false, false}, {2.0, false, true}, {0.5, true, true}, {2.3, false, false}};
    const auto d = AddDevice("COM1", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.elapsed) + (c.autoUpdate ? " auto" : ""));
        model_->PortJobs().StopAll();
        ui_.Clear();
        ui_.SetAutoUpdate(c.autoUpdate);
        TParams& r = Reg(d, 1);
        r.StartPending = false;
        r.StartTime = MonotonicSeconds() - c.elapsed * 60.0;
        const std::size_t points = r.Serie.Size();
        RunRegulator(d, 1);
        ASSERT_TRUE(WaitFor([&] { return r.Serie.Size() > points; }, 2000ms));
        EXPECT_NEAR(r.Serie.At(points).x, c.elapsed, 0.01);
        EXPECT_NEAR(r.ElapsedMin.load(), c.elapsed, 0.01);
        EXPECT_EQ(Contains(ui_.Events(), "time axis automatic"), c.automatic);
    }
}

// A block with digits that are not hexadecimal is a failed poll: nothing of
// it is believed, nothing is plotted, and the job keeps cycling.
TEST_F(PollingJob, UnreadableStatusBlockIsAFailedPollWithoutAPoint) {
    // relays 05, regulator 1 on, channel 1 valid at 25.5, channel 3 at 1.0,
    // inputs 03.
    const std::string good =
        "05000000"
        "01"
        "00"
        "0000CC41"
        "0000000000"
        "00"
        "0000803F"
        "03";
    ASSERT_EQ(good.size(), 42u);
    struct Case {
        const char* name;
        std::size_t at;  // character replaced by "G"
        bool fails;
    } cases[] = {
        {"relays", 1, true},           {"regulator status", 8, true},
        {"inputs", 41, true},          {"channel 1 status", 10, true},
        {"channel 1 value", 15, true}, {"unused channel 3 value", 35, false},
    };
    // The status block is the one thing the instrument says otherwise; each
    // change of it replaces the fault in one step, so no poll falls between.
    const auto block = [](const std::string& text) {
        return std::vector<Fault>{Fault(FaultKind::Data).OnParameter("0000FF").WithText(text)};
    };
    const auto statusPolls = [this] { return StatusPolls("COM5").size(); };
    sim_.AddPort("COM5");
    sim_.AddInstrument("COM5", 1, 0xC3);
    sim_.SetFaults("COM5", 1, block(good));
    SetPortOverride("COM5", sim_.DevicePath("COM5"));
    const auto d = AddDevice("COM5", 1);
    TParams& r = Reg(d, 1);
    r.LastPoll = 0.0;
    SetRegOn(*model_, r, true);
    ASSERT_TRUE(WaitFor([&] { return r.Serie.Size() == 1; }, 2000ms));
    EXPECT_EQ(ui_.RegulatorValue({d, 1}), "25.500");
    EXPECT_EQ(model_->Device(d)->RelayStates, 0x05);
    EXPECT_EQ(model_->Device(d)->DinStates, 0x03);

    const std::string line =
        " Ошибка!(-21)   COM5   Адрес: 1   Ошибочные полезные данные от прибора";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui_.Clear();
        std::string bad = good;
        bad[c.at] = 'G';
        sim_.SetFaults("COM5", 1, block(bad));
        // A poll already on the line may still bring the good block: the
        // count starts once a request has gone out after the change.
        const std::size_t changed = statusPolls();
        r.LastPoll = 0.0;
        ASSERT_TRUE(WaitFor([&] { return statusPolls() > changed; }, 2000ms));
        const std::size_t points = r.Serie.Size();
        const std::size_t requests = statusPolls();
        r.LastPoll = 0.0;
        if (c.fails) {
            // A failed poll is repeated at every visit: several polls, no point.
            ASSERT_TRUE(WaitFor([&] { return statusPolls() >= requests + 6; }, 2000ms));
            EXPECT_EQ(ui_.RegulatorValue({d, 1}), "Ошибка!");
            EXPECT_EQ(r.Serie.Size(), points);
            const auto log = ui_.ErrorLogWithoutTime();
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.size(), CountPrefix(log, line));
            EXPECT_EQ(model_->Device(d)->RelayStates, 0x05);
            EXPECT_TRUE(r.RegOn);
        } else {
            ASSERT_TRUE(WaitFor([&] { return r.Serie.Size() == points + 1; }, 2000ms));
            EXPECT_EQ(ui_.RegulatorValue({d, 1}), "25.500");
            EXPECT_TRUE(ui_.ErrorLog().empty());
        }
        sim_.SetFaults("COM5", 1, block(good));
        r.LastPoll = 0.0;
        ASSERT_TRUE(WaitFor([&] { return ui_.RegulatorValue({d, 1}) == "25.500"; }, 2000ms));
    }
    model_->PortJobs().StopAll();
    SetPortOverride("COM5", "");
}

// A port that cannot be opened ends its job at once and empties its slot;
// the operator hears about it unless another program holds the port.
TEST_F(PollingJob, JobWhosePortCannotBeOpenedEndsByItself) {
    const auto missing = std::filesystem::path(sim_.LinkDir()) / "no-such-port";
    SetPortOverride("COM9", missing.string());
    struct Case {
        const char* port;
        const char* logged;
    } cases[] = {
        {"COM1", nullptr},
        {"COM9", " Ошибка!(-4)  COM9  Порт COM9 отсутствует"},
    };
    AddDevice("COM1", 1);
    AddDevice("COM9", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        ui_.Clear();
        sim_.ClearRequests();
        auto other = CreatePort();
        ASSERT_EQ(OpenOwnPort(*other, "COM1"), rc::Ok);  // another program's
        model_->PortJobs().Ensure(c.port);
        EXPECT_TRUE(WaitFor([&] { return !model_->PortJobs().Has(c.port); }, 1500ms));
        EXPECT_EQ(model_->PortJobs().Count(), 0u);
        const auto log = ui_.ErrorLogWithoutTime();
        if (c.logged == nullptr) {
            EXPECT_TRUE(log.empty());
        } else {
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0], c.logged);
        }
        EXPECT_TRUE(sim_.Requests("COM1").empty());
    }
    // Once the port is free a new job can take it.
    Reg(0, 1).LastPoll = 0.0;
    RunRegulator(0, 1);
    EXPECT_TRUE(WaitForPolls(1));
    SetPortOverride("COM9", "");
}

// Whoever waits for an Ack is released when the jobs stop, whatever port it
// waits for; StopAll returns once every job has ended.
TEST_F(PollingJob, StopAllReleasesWaitingOperationsAndJoins) {
    const auto d = AddDevice("COM1", 1);
    const auto elsewhere = AddDevice("COM2", 1);
    Reg(elsewhere, 1).PauseAck = false;
    Reg(elsewhere, 1).PauseReq = true;  // its job is gone
    RunRegulator(d, 1);
    ASSERT_TRUE(WaitForPolls(1));

    // The job hands the port to regulator 1's operation, which keeps it...
    ASSERT_TRUE(RequestPort(*model_, Reg(d, 1), "COM1", HandOver::Pause));
    // ...so regulator 2's operation waits.
    std::atomic<bool> served{false};
    std::thread waiting([&] {
        served = RequestPort(*model_, Reg(d, 2), "COM1", HandOver::Switch);
        ReleasePort(Reg(d, 2), HandOver::Switch);  // on the thread that holds it
    });
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(served);

    const auto start = Clock::now();
    model_->PortJobs().StopAll();
    EXPECT_LT(Clock::now() - start, 1000ms);
    waiting.join();
    EXPECT_TRUE(served);
    EXPECT_TRUE(Reg(elsewhere, 1).PauseAck);
    EXPECT_EQ(model_->PortJobs().Count(), 0u);
    const std::size_t polls = StatusPolls().size();
    ReleasePort(Reg(d, 1), HandOver::Pause);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(StatusPolls().size(), polls);
}

// A stop that comes before the job's body runs, or while it ends by
// itself, is neither lost nor done twice.
TEST_F(PollingJob, StopRacesWithStartAndWithEndingByItself) {
    AddDevice("COM1", 1);
    TPollingJobs& jobs = model_->PortJobs();
    for (int i = 0; i < 3; ++i) {
        jobs.CreateSuspended("COM1");
        jobs.StartAll();
        jobs.StopAll();
        EXPECT_EQ(jobs.Count(), 0u);
    }
    auto other = CreatePort();
    ASSERT_EQ(OpenOwnPort(*other, "COM1"), rc::Ok);
    for (auto delay : {0ms, 150ms, 200ms, 250ms, 400ms}) {
        jobs.Ensure("COM1");
        std::this_thread::sleep_for(delay);
        jobs.StopAll();
        EXPECT_EQ(jobs.Count(), 0u);
    }
}

TEST_F(PollingJob, PortWithoutPresentInstrumentsDoesNotSpin) {
    AddDevice("COM2", 1);
    model_->PortJobs().Ensure("COM1");
    const std::clock_t before = std::clock();
    std::this_thread::sleep_for(500ms);
    const double cpu = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    EXPECT_LT(cpu, 0.15);
    EXPECT_TRUE(model_->PortJobs().Has("COM1"));
}

// The graph's origin is the first moment a regulator is known to run; each
// port gets one job however many regulators are switched on there.
TEST_F(PollingJob, SwitchingOnTakesTheOriginOnceAndStartsOneJobPerPort) {
    sim_.AddInstrument("COM1", 2, 0xC3);
    sim_.AddPort("COM2");
    sim_.AddInstrument("COM2", 1, 0xC3);
    sim_.RegisterPortMap();
    const auto a = AddDevice("COM1", 1);
    const auto b = AddDevice("COM1", 2);
    const auto c = AddDevice("COM2", 1);
    TPollingJobs& jobs = model_->PortJobs();
    TParams& r = Reg(a, 1);

    SetRegOn(*model_, r, true);
    EXPECT_TRUE(jobs.Has("COM1"));
    EXPECT_FALSE(r.StartPending);
    const double origin = r.StartTime;
    EXPECT_NEAR(origin, MonotonicSeconds(), 0.1);

    std::this_thread::sleep_for(20ms);
    SetRegOn(*model_, r, true);
    SetRegOn(*model_, Reg(b, 2), true);
    EXPECT_EQ(jobs.Count(), 1u);
    SetRegOn(*model_, Reg(c, 1), true);
    EXPECT_EQ(jobs.Count(), 2u);
    EXPECT_TRUE(jobs.Has("COM2"));

    SetRegOn(*model_, r, false);
    EXPECT_FALSE(r.RegOn);
    EXPECT_TRUE(Contains(ui_.Events(), "selected value cleared"));
    SetRegOn(*model_, r, true);
    EXPECT_EQ(r.StartTime, origin);
    EXPECT_EQ(jobs.Count(), 2u);
}

TEST(PortJobSlots, NumberComesFromThePortName) {
    struct Case {
        const char* name;
        int slot;
    } cases[] = {{"COM1", 1}, {"COM10", 10}, {"COM11", 0}, {"COM0", 0}, {"COM", 0}, {"", 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(TPortJobs::SlotOf(c.name), c.slot) << c.name;
    }
}

// The job's own lines never make the error window longer than 101 lines;
// the oldest go first.
TEST_F(PollingJob, OwnErrorLinesAreCapped) {
    for (int i = 0; i < 100; ++i)
        ui_.AddErrorLine("old " + std::to_string(i));
    sim_.AddFault("COM1", 1, Fault(FaultKind::BadChecksum).OnParameter("0000FF"));
    const auto d = AddDevice("COM1", 1);
    RunRegulator(d, 1);
    const std::string prefix = " Ошибка!(-19)   COM1   Адрес: 1   ";
    ASSERT_TRUE(
        WaitFor([&] { return CountPrefix(ui_.ErrorLogWithoutTime(), prefix) >= 3; }, 3000ms));
    model_->PortJobs().StopAll();
    const auto log = ui_.ErrorLog();
    const std::size_t own = CountPrefix(ui_.ErrorLogWithoutTime(), prefix);
    ASSERT_EQ(log.size(), 101u);
    EXPECT_EQ(log.front(), "old " + std::to_string(own - 1));
}

// With a recorder, every poll of a running regulator is a row of its trend
// file: the failed ones with their code and no value, the good ones with the
// point the chart got, the states of the relays and inputs, and the row that
// saw the regulator switched off.
TEST_F(PollingJob, EveryPollIsARowOfTheRegulatorsTrendFile) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zorvat-trend-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    TTrendRecorder recorder;
    recorder.SetFolder(dir.string());
    model_.reset();
    model_ = std::make_unique<TModel>(ui_, MakeRecordingPortJobs(recorder));
    sim_.AddInstrument("COM1", 7, 0xC3);
    sim_.SetInputs("COM1", 7, 0b00101);
    sim_.SetChannelStatus("COM1", 7, 1, 3);
    sim_.AddFault("COM1", 7, Fault(FaultKind::BadChecksum).OnParameter("0000FF").Times(2));
    AddDevice("COM1", 1);
    const auto d = AddDevice("COM1", 7);
    RunRegulator(d, 1, "COM1", 7);
    ASSERT_TRUE(WaitFor([&] { return ui_.RegulatorValue({d, 1}) == "$3"; }, 3000ms));
    sim_.SetChannelStatus("COM1", 7, 1, 0);
    ASSERT_TRUE(WaitFor([&] { return Reg(d, 1).Serie.Size() >= 3; }, 3000ms));
    sim_.SetRegulatorOn("COM1", 7, 1, false);
    ASSERT_TRUE(WaitFor([&] { return !Reg(d, 1).RegOn; }, 3000ms));
    model_->PortJobs().StopAll();
    recorder.Flush();

    const std::string path = recorder.CurrentFile({"COM1", 7, 1});
    EXPECT_EQ(std::filesystem::path(path).filename().string(),
              TrendFileName({"COM1", 7, 1}, WallMsNow()));
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    auto field = [](const std::string& line, int n) {
        std::size_t start = 0;
        for (int i = 0; i < n; ++i)
            start = line.find(',', start) + 1;
        return line.substr(start, line.find(',', start) - start);
    };
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], kTrendHeader);
    EXPECT_EQ(field(lines[1], 9), "-19");  // both tries failed
    EXPECT_EQ(field(lines[1], 2), "");
    std::size_t i = 2;
    EXPECT_EQ(field(lines[i], 9), "$3");
    while (i + 1 < lines.size() && field(lines[i], 9) == "$3")
        ++i;
    std::size_t values = 0;
    for (; i + 1 < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(field(lines[i], 9), "");
        EXPECT_EQ(field(lines[i], 4), "1");
        EXPECT_EQ(field(lines[i], 8), "10100");
        const auto point = Reg(d, 1).Serie.At(values++);
        EXPECT_EQ(std::stod(field(lines[i], 2)), point.y);
        EXPECT_NEAR(std::stod(field(lines[i], 1)), point.x, 0.0001);
    }
    EXPECT_EQ(values, Reg(d, 1).Serie.Size());
    EXPECT_EQ(field(lines.back(), 4), "0");  // switched off at the instrument
    EXPECT_EQ(field(lines.back(), 2), "");
    EXPECT_EQ(recorder.CurrentFile({"COM1", 1, 1}), "");  // never polled: no file
    model_.reset();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zorvat
