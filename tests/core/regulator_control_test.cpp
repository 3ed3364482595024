// Switching regulators and autotuning, and the setpoint program, against
// simulated instruments.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "IEEE754.h"
#include "core_fixture.h"
#include "operations.h"
#include "regulator_control.h"
#include "regulator_workers.h"
#include "th_search.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using testing::CoreFixture;
using testing::WaitFor;

class RegulatorControl : public CoreFixture {
  protected:
    void SetUp() override {
        CoreFixture::SetUp();
        AddInstrument("COM1", 1, 0xC3);
        StartSim();
        d_ = AddDevice("COM1", 1, 0xC3);
    }

    // The requests since the last clear, without their checksums and without
    // the polling job's status reads.
    std::vector<std::string> Requests() {
        std::vector<std::string> out;
        for (std::string text : sim_.RequestTexts("COM1")) {
            if (text.find(";37;0000FF;") != std::string::npos) continue;
            out.push_back(text.substr(0, text.rfind(';') + 1));
        }
        return out;
    }

    std::uint8_t d_ = 0;
};

TEST_F(RegulatorControl, SwitchReadsTheInputChannelFirst) {
    sim_.SetParam("COM1", 1, "02DA70", "02");
    ASSERT_EQ(SwitchRegulator(*model_, d_, 2, true), rc::Ok);
    EXPECT_EQ(Requests(), (std::vector<std::string>{":1;37;02DA70;", ":1;38;02DA65;1;"}));
    EXPECT_TRUE(sim_.RegulatorOn("COM1", 1, 2));
    EXPECT_EQ(Reg(d_, 2).InputChannel, 2);
    EXPECT_FALSE(Reg(d_, 2).SwitchReq);

    sim_.ClearRequests("COM1");
    ASSERT_EQ(SwitchRegulator(*model_, d_, 2, false), rc::Ok);
    EXPECT_EQ(Requests().back(), ":1;38;02DA65;0;");
    EXPECT_FALSE(sim_.RegulatorOn("COM1", 1, 2));
}

TEST_F(RegulatorControl, SwitchWorkerFollowsTheOutcome) {
    SwitchWorker(*model_, d_, 1, true);
    EXPECT_TRUE(Reg(d_, 1).RegOn);
    EXPECT_TRUE(ui_.RegulatorChecked({d_, 1}));
    EXPECT_FALSE(Reg(d_, 1).StartPending);        // the chart's origin is taken
    EXPECT_TRUE(model_->PortJobs().Has("COM1"));  // switching on starts the port's job
    model_->PortJobs().StopAll();

    sim::Fault fault;
    fault.kind = sim::FaultKind::ErrorStatus;
    fault.parameter = "01DA65";
    sim_.AddFault("COM1", 1, fault);
    SwitchWorker(*model_, d_, 1, false);
    EXPECT_TRUE(Reg(d_, 1).RegOn);
    EXPECT_TRUE(ui_.RegulatorChecked({d_, 1}));  // the tick goes back with the button
    const auto log = ui_.ErrorLogWithoutTime();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0],
              " Ошибка включения/выключения регулятора!(-22)   Порт: COM1   Адрес прибора: 1   "
              "Номер регулятора: 1");
}

// A switch whose acknowledgement is spoiled may have switched all the same:
// the on-state is read back, and the model, the tick and the error line say
// what the instrument does; when nothing can be read back the state stays.
TEST_F(RegulatorControl, FailedSwitchReadsTheStateBack) {
    struct Case {
        const char* what;
        sim::FaultKind kind;
        bool readBackFails;
        bool instrumentOn;
        const char* tail;
    } cases[] = {
        {"acknowledgement spoiled", sim::FaultKind::BadChecksum, false, true,
         " Регулятор включён."},
        {"switch refused", sim::FaultKind::ErrorStatus, false, false, " Регулятор выключен."},
        {"nothing answers after the switch", sim::FaultKind::BadChecksum, true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim_.SetRegulatorOn("COM1", 1, 1, false);
        SetRegOn(*model_, Reg(d_, 1), false);
        model_->PortJobs().StopAll();
        ui_.Clear();
        sim_.AddFault("COM1", 1, sim::Fault(c.kind).OnParameter("01DA65").OnCommand(38).Times(1));
        if (c.readBackFails) {
            sim_.AddFault("COM1", 1,
                          sim::Fault(sim::FaultKind::Silent).OnParameter("01DA65").OnCommand(37));
        }
        SwitchWorker(*model_, d_, 1, true);
        sim_.ClearFaults("COM1", 1);
        EXPECT_EQ(sim_.RegulatorOn("COM1", 1, 1), c.instrumentOn);
        const bool shown = c.readBackFails ? false : c.instrumentOn;
        EXPECT_EQ(Reg(d_, 1).RegOn, shown);
        EXPECT_EQ(ui_.RegulatorChecked({d_, 1}), shown);
        const auto log = ui_.ErrorLogWithoutTime();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].substr(log[0].find("   Номер регулятора: 1")),
                  std::string("   Номер регулятора: 1") + c.tail);
    }
    model_->PortJobs().StopAll();
}

TEST_F(RegulatorControl, Autotune) {
    ASSERT_EQ(AutotuneWorker(*model_, d_, 2, true), rc::Ok);
    EXPECT_EQ(Requests(), (std::vector<std::string>{":1;38;02DAC7;1;"}));
    EXPECT_TRUE(Reg(d_, 2).AutoTune);
    EXPECT_FALSE(Reg(d_, 2).StartPending);
    EXPECT_FALSE(Reg(d_, 2).PauseReq);

    sim_.Stop();  // silence: the state stays as it was
    EXPECT_EQ(AutotuneWorker(*model_, d_, 2, false), rc::NoReply);
    EXPECT_TRUE(Reg(d_, 2).AutoTune);
    ASSERT_EQ(ui_.ErrorLogWithoutTime().size(), 1u);
    EXPECT_EQ(ui_.ErrorLogWithoutTime()[0].substr(0, 50),
              std::string(" Ошибка включения/выключения автонастройки!(-14)").substr(0, 50));
}

// A read and an autotune of regulator 1 ask for the port through the same
// record: they take turns instead of both taking the job's one Ack.
TEST_F(RegulatorControl, OperationsOnOneRecordTakeTurns) {
    SwitchWorker(*model_, d_, 2, true);  // the port's polling job runs
    ASSERT_TRUE(model_->PortJobs().Has("COM1"));
    TOperations ops(*model_);
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(ops.StartRead(Operation::ReadOne, d_));
        ops.StartAutotune(d_, 1, round % 2 == 0);
        ops.WaitIdle();
        for (const std::string& event : ui_.Events()) {
            EXPECT_EQ(event.find("(-5)"), std::string::npos) << event;
        }
        EXPECT_EQ(Reg(d_, 1).AutoTune, round % 2 == 0);
        EXPECT_FALSE(Reg(d_, 1).PauseReq);
    }
    model_->PortJobs().StopAll();
}

TEST(Duration, Text) {
    EXPECT_EQ(DurationText(0), "0:00:00");
    EXPECT_EQ(DurationText(3723.9), "1:02:03");
    EXPECT_EQ(DurationText(-5), "0:00:00");
    EXPECT_EQ(DurationText(36000), "10:00:00");
}

class Program : public RegulatorControl {
  protected:
    void Points(std::initializer_list<std::tuple<int, bool, double, double>> points, int count) {
        TParams& r = Reg(d_, 1);
        r.Prog_PointCount = static_cast<std::uint8_t>(count);
        for (const auto& [i, on, setpoint, seconds] : points) {
            const auto p = static_cast<std::size_t>(i);
            r.OnOff[p] = on;
            r.Tempr[p] = setpoint;
            r.Time[p] = seconds;
        }
    }
    // The setpoints the instrument was given, in order.
    std::vector<double> SetpointWrites() {
        std::vector<double> values;
        for (const auto& text : Requests()) {
            if (text.rfind(":1;38;01DA66;", 0) != 0) continue;
            double v = 0;
            if (WireTextToFloat(text.substr(13, 8), v)) values.push_back(v);
        }
        return values;
    }
};

TEST_F(Program, RunsTheEnabledPointsThenSwitchesOff) {
    Points({{1, false, 10, 0},
            {2, true, 150, 0.4},
            {3, false, 30, 0},
            {4, true, 250.5, 0},
            {5, false, 50, 0}},
           5);
    ui_.Select(RegulatorRef{d_, 1});
    TOperations ops(*model_);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(ops.StartProgram(d_, 1).started);
    EXPECT_TRUE(Reg(d_, 1).ProgRunning);
    ops.WaitIdle();
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(SetpointWrites(), (std::vector<double>{150, 250.5}));
    const auto requests = Requests();
    EXPECT_EQ(requests[1], ":1;38;01DA65;1;");
    EXPECT_EQ(requests.back(), ":1;38;01DA65;0;");
    EXPECT_FALSE(sim_.RegulatorOn("COM1", 1, 1));
    TParams& r = Reg(d_, 1);
    EXPECT_EQ(r.CurPoint, 5);
    EXPECT_FALSE(r.ProgRunning);
    EXPECT_TRUE(r.ProgStop);
    EXPECT_FALSE(r.ProgThread());
    EXPECT_FALSE(r.RegOn);
    // 0.4 s in 300 ms steps is 0.6 s, and a zero duration one step.
    EXPECT_GE(took, 900ms);
    const auto events = ui_.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "program time 0/1 point 2: 0:00:00"),
              events.end());
    model_->PortJobs().StopAll();
}

TEST_F(Program, StopDuringAHoldSwitchesOffOnce) {
    Points({{1, true, 120, 60}, {2, true, 130, 60}}, 2);
    TOperations ops(*model_);
    ASSERT_TRUE(ops.StartProgram(d_, 1).started);
    ASSERT_TRUE(WaitFor([&] { return sim_.Real("COM1", 1, "01DA66") == 120.0; }, 2s));
    std::this_thread::sleep_for(100ms);
    const auto stopAt = std::chrono::steady_clock::now();
    ops.StopProgram(d_, 1);
    ops.WaitIdle();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 600ms);
    EXPECT_EQ(SetpointWrites(), (std::vector<double>{120}));
    EXPECT_FALSE(sim_.RegulatorOn("COM1", 1, 1));
    EXPECT_EQ(Reg(d_, 1).CurPoint, 1);
    model_->PortJobs().StopAll();
}

TEST_F(Program, ClearingThePointBeingHeldMovesOn) {
    Points({{1, true, 120, 60}, {2, true, 130, 0}}, 2);
    TOperations ops(*model_);
    ASSERT_TRUE(ops.StartProgram(d_, 1).started);
    ASSERT_TRUE(WaitFor([&] { return sim_.Real("COM1", 1, "01DA66") == 120.0; }, 2s));
    Reg(d_, 1).OnOff[1] = false;
    ops.WaitIdle();
    EXPECT_EQ(SetpointWrites(), (std::vector<double>{120, 130}));
    model_->PortJobs().StopAll();
}

TEST_F(Program, Refusals) {
    TOperations ops(*model_);
    EXPECT_EQ(ops.StartProgram(d_, 1).refusal, "Нет выбранных точек.");
    EXPECT_FALSE(Reg(d_, 1).ProgRunning);

    // Switching on fails: no point runs and nothing is switched off.
    sim::Fault fault;
    fault.kind = sim::FaultKind::ErrorStatus;
    fault.parameter = "01DA65";
    sim_.AddFault("COM1", 1, fault);
    Points({{1, true, 120, 0}}, 2);
    ASSERT_TRUE(ops.StartProgram(d_, 1).started);
    ops.WaitIdle();
    EXPECT_EQ(ui_.ErrorLog().back(),
              "Ошибка включения регулятора 1; Прибор на порте: COM1 с адресом: 1");
    EXPECT_TRUE(SetpointWrites().empty());
    EXPECT_TRUE(Reg(d_, 1).ProgFailed);

    // The switch reached the instrument, its acknowledgement did not come
    // back: the program still does not run, and says the regulator is on.
    sim_.ClearFaults("COM1", 1);
    sim_.AddFault("COM1", 1,
                  sim::Fault(sim::FaultKind::BadChecksum).OnParameter("01DA65").OnCommand(38));
    ASSERT_TRUE(ops.StartProgram(d_, 1).started);
    ops.WaitIdle();
    EXPECT_EQ(ui_.ErrorLog().back(),
              "Ошибка включения регулятора 1; Прибор на порте: COM1 с адресом: 1 Регулятор "
              "включён.");
    EXPECT_TRUE(SetpointWrites().empty());
    EXPECT_TRUE(Reg(d_, 1).ProgFailed);
    EXPECT_TRUE(Reg(d_, 1).RegOn);
    EXPECT_TRUE(sim_.RegulatorOn("COM1", 1, 1));
    model_->PortJobs().StopAll();
}

}  // namespace
}  // namespace zorvat
