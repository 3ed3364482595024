// Reading the regulator and instrument parameters and writing a regulator,
// against simulated instruments on pseudo-terminals.
#include "regulator_exchange.h"
#include "regulator_workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IEEE754.h"
#include "model.h"
#include "port_map.h"
#include "recording_surfaces.h"
#include "request_text.h"
#include "sim/simulator.h"
#include "th_search.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;

const char* const kReadDone = "Чтение параметров успешно завершено.";
const char* const kWriteDone = "Запись параметров успешно завершена.";
const char* const kWriteStopped = "Внимание! Запись параметров прервана!!!";

// The read order as the instrument sees it.
const std::vector<std::string> kReadOrder = {
    "002007", "000001", "000002", "000020", "002006", "000004", "01DA70", "02DA70",
    "01DA64", "02DA64", "01DA79", "02DA79", "01DA66", "02DA66", "01DA67", "02DA67",
    "01DA68", "02DA68", "01DA69", "02DA69", "01DA6A", "02DA6A", "01DA6B", "02DA6B",
    "01DA6E", "02DA6E", "01DA6F", "02DA6F", "01DA65", "02DA65", "01DA71", "02DA71",
    "01DA78", "02DA78", "01DA72", "02DA72", "01DA75", "02DA75", "01DAC7", "02DAC7"};

const std::vector<std::string> kWriteOrder = {"DA66", "DA67", "DA68", "DA69", "DA6A",
                                              "DA6B", "DA6E", "DA6F", "DA70", "DA71",
                                              "DA78", "DA64", "DA79", "DA72", "DA75"};

using testing::Parse;
using testing::Request;

class RegulatorExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        SetPortOverride("COM2", "/nonexistent/zorvat-COM2");
        sim_.UseTemporaryLinkDir();
        sim_.SetDefaultBaud(19200);
        sim_.SetTurnaround(1ms);
        sim_.SetSpeed(0);
        sim_.AddPort("COM1");
        sim_.AddInstrument("COM1", 1, 0xC3);
        sim_.AddInstrument("COM1", 2, 0x51);
        sim_.AddInstrument("COM1", 3, 0xD3);
        sim_.SetTrace([this](const std::string&, const sim::RequestRecord& record) {
            std::lock_guard lock(traceMu_);
            if (onRequest_) onRequest_(Parse(record.text));
        });
        sim_.RegisterPortMap();
        sim_.Start();
    }
    void TearDown() override {
        model_.reset();
        sim_.Stop();
        ClearPortOverrides();
    }

    // The records as a search would have made them.
    TDevice& AddDevice(const std::string& port, int address, std::uint8_t modelCode,
                       std::int32_t baud = 19200) {
        const auto d = static_cast<std::uint8_t>(model_->DeviceList.Count());
        const ModelInfo* info = FindModel(modelCode);
        auto device = std::make_unique<TDevice>();
        device->Name = info->name;
        device->ModelCode = modelCode;
        device->Present = true;
        device->ParentPort = port;
        device->Address = std::to_string(address);
        device->Baudrate = baud;
        device->Regs[1] = std::make_unique<TParams>(d, 1);
        device->Regs[2] = std::make_unique<TParams>(d, 2);
        if (info->regulators == 1) device->Regs[2]->Present = false;
        for (int c = 1; c <= info->channels; ++c) {
            device->Chnls[static_cast<std::size_t>(c)] =
                std::make_unique<TChnl>(d, static_cast<std::uint8_t>(c));
        }
        model_->DeviceList.Append(std::move(device));
        return *model_->Device(d);
    }

    // A record is complete once its reply went out: cleared before that, the
    // last one of an exchange would come back into the next count.
    void ClearRequests() {
        sim_.WaitForRequests("COM1", 0, 2s);
        sim_.ClearRequests();
    }

    void OnRequest(std::function<void(const Request&)> fn) {
        std::lock_guard lock(traceMu_);
        onRequest_ = std::move(fn);
    }

    std::vector<Request> Requests() const {
        std::vector<Request> out;
        for (const std::string& t : sim_.RequestTexts("COM1"))
            out.push_back(Parse(t));
        return out;
    }
    std::vector<std::string> Numbers(int command) const {
        std::vector<std::string> out;
        for (const Request& r : Requests()) {
            if (r.command == command && r.number != "0000FF") out.push_back(r.number);
        }
        return out;
    }
    bool HasEvent(const std::string& event) const {
        const auto events = surfaces_.Events();
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    sim::Simulator sim_;
    RecordingSurfaces surfaces_;
    std::unique_ptr<TModel> model_ = std::make_unique<TModel>(surfaces_, MakePortJobs);
    std::mutex traceMu_;
    std::function<void(const Request&)> onRequest_;
};

TEST_F(RegulatorExchange, ReadFollowsTheOrderAndFillsTheRecords) {
    TDevice& device = AddDevice("COM1", 1, 0xC3);
    TParams& r1 = *device.Regs[1];
    TParams& r2 = *device.Regs[2];
    // Values the read must overwrite, so that each store shows.
    SetInputChannel(r1, 2);
    r1.PwmPeriod = 7;
    r2.KpOn = false;
    for (const auto& [number, text] : std::vector<std::pair<const char*, const char*>>{
             {"01DA70", "00"},
             {"02DA70", "05"},
             {"01DA64", "02"},
             {"02DA79", "01"},
             {"01DA6E", "6400"},
             {"02DA6E", "2C01"},
             {"01DA6F", "F401"},
             {"01DA71", "0C"},
             {"02DA78", "03"},
             {"01DA72", "0"},
             {"02DA72", "1"},
             {"02DA75", "1"},
         }) {
        ASSERT_EQ(sim_.SetParam("COM1", 1, number, text), sim::Instrument::SetResult::Ok) << number;
    }
    sim_.SetReal("COM1", 1, "02DA66", 25.5);
    sim_.SetReal("COM1", 1, "01DA67", 0.1);
    sim_.SetRegulatorOn("COM1", 1, 2, true);
    sim_.SetAutoTune("COM1", 1, 1, true);
    // The port is taken from its polling job.
    model_->PortJobs().Ensure("COM1");
    surfaces_.Select(RegulatorRef{0, 2});

    ReadWorker(*model_, Operation::ReadOne, 0);

    EXPECT_EQ(Numbers(37), kReadOrder);
    for (const Request& r : Requests())
        EXPECT_EQ(r.address, 1);
    EXPECT_EQ(surfaces_.Progress(),
              (std::vector<int>{0,  2,  5,  7,  7,  10, 12, 13, 14, 15, 16,  16, 17, 20, 22,
                                25, 27, 30, 32, 35, 37, 40, 42, 43, 47, 50,  52, 53, 55, 57,
                                60, 62, 63, 64, 65, 67, 80, 85, 90, 95, 100, 0,  0}));
    EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{kReadDone});
    EXPECT_TRUE(HasEvent("status: Идёт чтение параметров прибора..."));
    EXPECT_EQ(surfaces_.Status(), "");
    EXPECT_TRUE(surfaces_.ProjectChanged());
    EXPECT_FALSE(r1.PauseReq);

    EXPECT_EQ(device.ModelCode, 0xC3);
    EXPECT_EQ(device.ChannelCount, 3);
    EXPECT_EQ(device.InPE, 7);
    EXPECT_EQ(device.RelayCount, 4);
    EXPECT_EQ(device.RelayMask, 0x0F);
    EXPECT_EQ(r1.InputChannel, 1);  // "00"
    EXPECT_EQ(r2.InputChannel, 3);  // "05"
    EXPECT_EQ(r1.SetpointSource, 2);
    EXPECT_EQ(r2.RegMode, 1);
    EXPECT_EQ(r1.PwmPeriod, 100);  // "6400"
    EXPECT_EQ(r2.PwmPeriod, 300);  // "2C01"
    EXPECT_EQ(r1.MinRelayTime, 500);
    EXPECT_EQ(r2.Setpoint, 25.5);
    EXPECT_EQ(r1.Kp, static_cast<double>(0.1f));
    EXPECT_EQ(r1.Relays1, 12);
    EXPECT_EQ(r2.Relays2, 3);
    EXPECT_FALSE(r1.KpOn);
    EXPECT_TRUE(r2.KpOn);
    EXPECT_TRUE(r2.DirectAction);
    EXPECT_FALSE(r1.RegOn);
    EXPECT_TRUE(r2.RegOn);
    EXPECT_FALSE(r2.StartPending);  // switched on through SetRegOn: the chart's origin is set
    EXPECT_TRUE(r1.AutoTune);

    EXPECT_TRUE(HasEvent("uncheck 0/1"));
    EXPECT_TRUE(HasEvent("check 0/2"));
    EXPECT_TRUE(HasEvent("fill regulator page 0/2"));
    EXPECT_TRUE(HasEvent("finished read-one"));
}

// One instrument's failure ends only that instrument; whether the success
// line comes depends on the last one. Every instrument is read at the first
// one's rate.
TEST_F(RegulatorExchange, ReadOfAllGoesOnAfterAFailure) {
    AddDevice("COM1", 1, 0xC3);
    AddDevice("COM1", 2, 0x51);
    AddDevice("COM1", 3, 0xD3, 9600);
    struct Case {
        int failing;
        std::vector<std::string> log;
        std::vector<std::size_t> counts;
    } cases[] = {
        {2, {" Ошибка!(5) Порт COM1 Ошибка записи EEPROM", kReadDone}, {40, 1, 40}},
        {3, {" Ошибка!(5) Порт COM1 Ошибка записи EEPROM"}, {40, 40, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        ClearRequests();
        surfaces_.Clear();
        sim_.AddFault("COM1", c.failing,
                      Fault(FaultKind::ErrorStatus).OnParameter("002007").WithNumber(5).Times(1));

        EXPECT_EQ(ReadInstrumentParams(*model_, kAllDevices), Outcome::Failed);

        EXPECT_EQ(surfaces_.ErrorLogWithoutTime(), c.log);
        std::vector<std::size_t> counts(3, 0);
        for (const Request& r : Requests())
            ++counts.at(static_cast<std::size_t>(r.address - 1));
        EXPECT_EQ(counts, c.counts);
        for (const auto& record : sim_.Requests("COM1"))
            EXPECT_EQ(record.lineBaud, 19200u);
        EXPECT_TRUE(HasEvent("status: Идёт чтение параметров всех приборов..."));
    }
}

TEST_F(RegulatorExchange, ReadsNothingForAnIndexBeyondTheListOrAnAbsentInstrument) {
    TDevice& device = AddDevice("COM1", 1, 0xC3);
    struct Case {
        const char* what;
        std::uint8_t which;
        bool present;
    } cases[] = {{"beyond the list", 1, true}, {"not present", 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device.Present = c.present;
        EXPECT_EQ(ReadInstrumentParams(*model_, c.which), Outcome::Done);
        EXPECT_TRUE(sim_.RequestTexts("COM1").empty());
    }
}

TEST_F(RegulatorExchange, StopFlagEndsTheReadAtTheNextStopPoint) {
    AddDevice("COM1", 1, 0xC3);
    surfaces_.Select(RegulatorRef{0, 1});
    // Raised during a read without a stop point; the next one has one.
    struct Case {
        const char* raisedAt;
        std::size_t reads;
    } cases[] = {{"02DA79", 13}, {"01DA6E", 26}, {"01DA72", 36}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raisedAt);
        ClearRequests();
        surfaces_.Clear();
        model_->StopFlag = false;
        OnRequest([this, raisedAt = std::string(c.raisedAt)](const Request& r) {
            if (r.number == raisedAt) model_->StopFlag = true;
        });
        // The read at the stop point answers late, so the flag is surely up
        // before its check.
        sim_.AddFault(
            "COM1", 1,
            Fault(FaultKind::Delay).OnParameter(kReadOrder[c.reads - 1]).WithTime(200ms).Times(1));

        ReadWorker(*model_, Operation::ReadRegulator, 0);

        EXPECT_EQ(Numbers(37), std::vector<std::string>(
                                   kReadOrder.begin(),
                                   kReadOrder.begin() + static_cast<std::ptrdiff_t>(c.reads)));
        EXPECT_EQ(surfaces_.ErrorLog(),
                  std::vector<std::string>{"Внимание! Чтение параметров прервано!!!"});
        EXPECT_TRUE(HasEvent("fill regulator page 0/1"));
        EXPECT_TRUE(HasEvent("finished read-regulator (stopped)"));
    }
}

// Texts that are no number of the expected form fail the read with -21;
// a flag is any text but "0".
TEST_F(RegulatorExchange, DataTextsOfTheWrongForm) {
    sim_.AddPort("COM7");
    sim_.AddInstrument("COM7", 1, 0xC3);
    SetPortOverride("COM7", sim_.DevicePath("COM7"));
    TDevice& device = AddDevice("COM7", 1, 0xC3);
    const auto reads = [this] {
        std::size_t n = 0;
        for (const std::string& t : sim_.RequestTexts("COM7"))
            n += Parse(t).command == 37 ? 1u : 0u;
        return n;
    };
    const std::string badPayload = " Ошибка!(-21) Порт COM7 Ошибочные полезные данные от прибора";
    struct Case {
        const char* number;
        const char* text;
        std::string logLine;
        std::size_t reads;
        std::function<void(TDevice&)> before;
        std::function<void(const TDevice&)> check;
    } cases[] = {
        {"002007", "ZZ", badPayload, 1, [](TDevice& d) { d.ModelCode = 0xC3; },
         [](const TDevice& d) { EXPECT_EQ(d.ModelCode, 0xC3); }},
        {"000002", "100", badPayload, 3, nullptr, nullptr},
        {"01DA66", "0000C84", badPayload, 13, [](TDevice& d) { d.Regs[1]->Setpoint = 7.0; },
         [](const TDevice& d) { EXPECT_EQ(d.Regs[1]->Setpoint, 7.0); }},
        {"02DA6E", "640", badPayload, 26, nullptr, nullptr},
        {"01DA72", "00", kReadDone, 40, [](TDevice& d) { d.Regs[1]->KpOn = false; },
         [](const TDevice& d) { EXPECT_TRUE(d.Regs[1]->KpOn); }},
        {"02DA72", "0", kReadDone, 40, [](TDevice& d) { d.Regs[2]->KpOn = true; },
         [](const TDevice& d) { EXPECT_FALSE(d.Regs[2]->KpOn); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.number) + " = \"" + c.text + "\"");
        // A record is complete once its reply went out: cleared before
        // that, it would come back.
        sim_.WaitForRequests("COM7", 0, 2s);
        sim_.ClearRequests("COM7");
        sim_.SetFaults("COM7", 1, {Fault(FaultKind::Data).OnParameter(c.number).WithText(c.text)});
        surfaces_.Clear();
        if (c.before) c.before(device);

        const bool failing = c.logLine.rfind(" Ошибка", 0) == 0;
        EXPECT_EQ(ReadInstrumentParams(*model_, 0), failing ? Outcome::Failed : Outcome::Done);

        EXPECT_EQ(surfaces_.ErrorLogWithoutTime(), std::vector<std::string>{c.logLine});
        sim_.WaitForRequests("COM7", 0, 2s);
        EXPECT_EQ(reads(), c.reads);
        if (c.check) c.check(device);
    }
}

TEST_F(RegulatorExchange, WriteSendsTheOrderWithItsEncodings) {
    TParams& r = *AddDevice("COM1", 1, 0xC3).Regs[2];
    // Every value differs from the instrument's, so every one is written.
    r.Setpoint = 25.5;
    r.Kp = 2.5;
    r.Ti = 50.0;
    r.Td = 5.0;
    r.Pmax = 80.0;
    r.DeadZone = 0.5;
    r.PwmPeriod = 200;
    r.MinRelayTime = 900;
    SetInputChannel(r, 3);
    r.Relays1 = 4;
    r.Relays2 = 8;
    r.SetpointSource = 1;
    r.RegMode = 1;
    r.KpOn = false;
    r.DirectAction = true;

    WriteWorker(*model_, 0, 2);

    std::vector<std::pair<int, std::string>> expected;
    for (const std::string& code : kWriteOrder) {
        expected.emplace_back(37, "02" + code);
        expected.emplace_back(38, "02" + code);
    }
    std::vector<std::pair<int, std::string>> seen;
    for (const Request& q : Requests()) {
        if (q.number != "0000FF") seen.emplace_back(q.command, q.number);
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(surfaces_.Progress(), (std::vector<int>{0, 17, 17, 17, 17, 17, 17, 47, 47, 47, 47, 55,
                                                      56, 57, 65, 65, 100, 0, 0}));
    EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{kWriteDone});
    EXPECT_TRUE(HasEvent("status: Идёт запись параметров в прибор..."));
    EXPECT_EQ(surfaces_.Status(), "");
    EXPECT_TRUE(HasEvent("finished write"));
    EXPECT_FALSE(r.WriteReq);

    for (const auto& [number, text] : std::vector<std::pair<const char*, const char*>>{
             {"02DA66", "0000CC41"},
             {"02DA6E", "C800"},
             {"02DA6F", "8403"},
             {"02DA70", "03"},
             {"02DA71", "04"},
             {"02DA78", "08"},
             {"02DA64", "01"},
             {"02DA79", "01"},
             {"02DA72", "0"},
             {"02DA75", "1"},
         }) {
        EXPECT_EQ(sim_.Param("COM1", 1, number), text) << number;
    }
    EXPECT_EQ(sim_.Real("COM1", 1, "02DA67"), 2.5);
    EXPECT_EQ(sim_.Real("COM1", 1, "02DA68"), 50.0);
    EXPECT_EQ(sim_.Real("COM1", 1, "02DA69"), 5.0);
    EXPECT_EQ(sim_.Real("COM1", 1, "02DA6A"), 80.0);
    EXPECT_EQ(sim_.Real("COM1", 1, "02DA6B"), 0.5);
}

// The minimum relay time may be half the PWM period, not more.
TEST_F(RegulatorExchange, MinRelayTimeAgainstHalfThePwmPeriod) {
    TParams& r = *AddDevice("COM1", 1, 0xC3).Regs[1];
    ASSERT_EQ(sim_.SetParam("COM1", 1, "01DA6E", "C800"), sim::Instrument::SetResult::Ok);
    r.PwmPeriod = 100;
    r.Relays1 = 1;  // as the instrument has it: only the two times differ
    struct Case {
        std::uint16_t minRelayTime;
        std::vector<std::string> log;
        std::vector<std::string> writes;
    } cases[] = {
        {501,
         {"Запись параметров невозможна, т.к. \"Мин. время между перекл. реле\" больше половины "
          "значения \"Период ШИМ сигнала\"."},
         {}},
        {500, {kWriteDone}, {"01DA6E;6400", "01DA6F;F401"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.minRelayTime);
        ClearRequests();
        surfaces_.Clear();
        r.MinRelayTime = c.minRelayTime;

        WriteWorker(*model_, 0, 1);

        EXPECT_EQ(surfaces_.ErrorLog(), c.log);
        std::vector<std::string> writes;
        for (const Request& q : Requests()) {
            if (q.command == 38) writes.push_back(q.number + ";" + q.value);
        }
        EXPECT_EQ(writes, c.writes);
        EXPECT_TRUE(
            HasEvent(c.log.front() == kWriteDone ? "finished write" : "finished write (failed)"));
    }
}

TEST_F(RegulatorExchange, WriteStopsAtTheFirstFailure) {
    AddDevice("COM1", 1, 0xC3);
    AddDevice("COM2", 1, 0xC3);  // a port that does not open
    sim_.AddFault("COM1", 1, Fault(FaultKind::ErrorStatus).OnParameter("01DA6A").WithNumber(17));
    struct Case {
        std::uint8_t device;
        std::string line;
        std::string lastNumber;
        TResult code;
        std::string failed;
        std::vector<std::string> written;  // what the instrument took first
    } cases[] = {
        {0,
         " Ошибка!(17)  Порт: COM1  Адрес прибора: 1   Ошибочное значение параметра  "
         "\"Максимальная мощность Pmax\"",
         "01DA6A",
         17,
         "Pmax",
         {"Setpoint", "Kp", "Ti", "Td"}},
        {1, " Ошибка!(-4)  Порт: COM2  Адрес прибора: 1   Порт COM2 отсутствует  ", "", -4, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ClearRequests();
        surfaces_.Clear();

        WriteWorker(*model_, c.device, 1);

        EXPECT_EQ(surfaces_.ErrorLogWithoutTime(), std::vector<std::string>{c.line});
        const auto requests = Requests();
        EXPECT_EQ(requests.empty() ? "" : requests.back().number, c.lastNumber);
        EXPECT_TRUE(HasEvent("finished write (failed)"));

        RegulatorWrite report;
        report.written = {"stale"};
        WriteRegulatorParams(*model_, c.device, 1, false, &report);
        EXPECT_EQ(report.code, c.code);
        EXPECT_EQ(report.failed, c.failed);
        EXPECT_EQ(report.written, c.written);
    }
}

// The setpoint program writes the setpoint alone, whatever StopFlag and the
// relay times say, and learns of a failure from the result.
TEST_F(RegulatorExchange, SetpointOnlyWritesTheSetpointAlone) {
    TParams& r = *AddDevice("COM1", 1, 0xC3).Regs[1];
    model_->StopFlag = true;
    r.ProgStop = false;
    r.MinRelayTime = 501;
    struct Case {
        double setpoint;
        bool fail;
        Outcome result;
        std::vector<std::string> log;
        std::vector<std::string> requests;
    } cases[] = {
        {42.0, false, Outcome::Done, {}, {"37 01DA66", "38 01DA66"}},
        {43.0,
         true,
         Outcome::Failed,
         {" Ошибка!(5)  Порт: COM1  Адрес прибора: 1   Ошибка записи EEPROM  "
          "\"Регулируемая величина\""},
         {"37 01DA66"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setpoint);
        ClearRequests();
        surfaces_.Clear();
        r.Setpoint = c.setpoint;
        if (c.fail) {
            sim_.AddFault("COM1", 1,
                          Fault(FaultKind::ErrorStatus).OnParameter("01DA66").WithNumber(5));
        }

        EXPECT_EQ(WriteRegulatorParams(*model_, 0, 1, true), c.result);

        EXPECT_EQ(surfaces_.ErrorLogWithoutTime(), c.log);
        std::vector<std::string> seen;
        for (const Request& q : Requests()) {
            seen.push_back(std::to_string(q.command) + " " + q.number);
        }
        EXPECT_EQ(seen, c.requests);
    }
    EXPECT_EQ(sim_.Real("COM1", 1, "01DA66"), 42.0);
}

TEST_F(RegulatorExchange, StopFlagEndsTheWriteAtTheNextStopPoint) {
    TParams& r = *AddDevice("COM1", 1, 0xC3).Regs[1];
    // Values the instrument does not hold, so that each one is written.
    r.Setpoint = 1.0;
    r.Kp = 2.0;
    r.Ti = 3.0;
    r.Td = 4.0;
    r.Pmax = 5.0;
    r.DeadZone = 6.0;
    r.Relays1 = 4;
    r.Relays2 = 8;
    // Raised at the read-back of a parameter without a stop point; the write
    // ends after the next one that has one.
    struct Case {
        const char* raisedAt;
        const char* last;
    } cases[] = {{"01DA69", "01DA6A"}, {"01DA71", "01DA78"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raisedAt);
        ClearRequests();
        surfaces_.Clear();
        model_->StopFlag = false;
        OnRequest([this, raisedAt = std::string(c.raisedAt)](const Request& q) {
            if (q.command == 37 && q.number == raisedAt) model_->StopFlag = true;
        });
        sim_.AddFault("COM1", 1,
                      Fault(FaultKind::Delay).OnParameter(c.last).WithTime(200ms).Times(1));

        WriteWorker(*model_, 0, 1);

        const auto requests = Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().number, c.last);
        EXPECT_EQ(requests.back().command, 38);
        EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{kWriteStopped});
        EXPECT_TRUE(HasEvent("finished write (stopped)"));
    }
}

TEST_F(RegulatorExchange, WriteWorkerRefusalsSendNothing) {
    TDevice& device = AddDevice("COM1", 1, 0xC3);
    TParams& r = *device.Regs[1];
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> log;
    } cases[] = {
        {"no P, I or D part",
         [&] {
             r.KpOn = false;
             r.Ti = 0.0;
             r.Td = 0.0;
         },
         {"Нет включенных коэффициентов в таблице!!!", kWriteStopped}},
        // Nothing reached it, so nothing is reported as written.
        {"instrument not present",
         [&] {
             r.KpOn = true;
             device.Present = false;
         },
         {"Запись параметров невозможна: прибор не найден."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        surfaces_.Clear();
        c.arrange();

        WriteWorker(*model_, 0, 1);

        EXPECT_EQ(surfaces_.ErrorLog(), c.log);
        EXPECT_TRUE(sim_.RequestTexts("COM1").empty());
        EXPECT_TRUE(HasEvent("finished write (failed)"));
    }
}

}  // namespace
}  // namespace zorvat
