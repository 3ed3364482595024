// The settings groups of the service dialogs (channels, coefficients, relay
// table, passwords, analog outputs) read and written against simulated
// instruments on pseudo-terminals.
#include "settings_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "IEEE754.h"
#include "core_fixture.h"
#include "port_map.h"
#include "request_text.h"
#include "th_search.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;

const std::string kReadDone = "Чтение параметров успешно завершено.";
const std::string kWriteDone = "Запись параметров успешно завершена.";
const std::string kStopped = "Запись прервана.";

// The channel codes in the order of exchange.
const std::vector<std::string> kChannelCodes = {
    "3531", "3501", "3503", "3036", "3403", "303E", "303F", "303B", "303A", "303C", "303D", "3502",
    "3033", "3035", "3037", "3038", "3042", "3050", "0002", "0003", "0004", "0005", "0006", "0007"};

const std::vector<std::string> kKoefNumbers = {
    "008800", "008801", "008802", "008803", "008804", "008805", "008806", "008807",
    "008808", "008809", "00880A", "008900", "008901", "008902", "008903", "008904",
    "008905", "008906", "008907", "008908", "008909", "00890A"};

std::vector<std::string> ChannelNumbers(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& code : kChannelCodes)
        out.push_back(prefix + code);
    return out;
}

template <typename T>
std::vector<T> Concat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using testing::Parse;
using testing::Request;

// A read's flag or a write's message, in one form for the tables.
struct Result {
    bool failed = false;
    std::string message;
    bool operator==(const Result&) const = default;
};
void PrintTo(const Result& r, std::ostream* os) {
    *os << (r.failed ? "failed" : "succeeded") << " \"" << r.message << "\"";
}
Result ReadResult(const ExchangeEnd& end) {
    return {!end.Done(), ""};
}
Result WriteResult(const ExchangeEnd& end) {
    return {!end.Done(), end.message};
}

// All ten operations on one instrument.
struct Op {
    const char* name;
    bool write;
    std::string readDone;  // a read's success line
    std::string place;     // in a failed write's message, after the port
    std::function<Result(TModel&, std::uint8_t)> run;
};

const std::vector<Op>& Operations() {
    static const std::vector<Op> ops = {
        {"read channel 1", false, kReadDone, "",
         [](TModel& m, std::uint8_t d) { return ReadResult(ReadChnlSettings(m, d, 1)); }},
        {"write channel 3", true, "", " Канал 3",
         [](TModel& m, std::uint8_t d) { return WriteResult(WriteChnlSettings(m, d, 3)); }},
        {"read coefficients", false, kReadDone, "",
         [](TModel& m, std::uint8_t d) { return ReadResult(ReadKoefs(m, d)); }},
        {"write coefficients", true, "", "",
         [](TModel& m, std::uint8_t d) { return WriteResult(WriteKoefs(m, d)); }},
        {"read relay table", false, kReadDone, "",
         [](TModel& m, std::uint8_t d) { return ReadResult(ReadRelayTable(m, d)); }},
        {"write relay table", true, "", "",
         [](TModel& m, std::uint8_t d) { return WriteResult(WriteRelayTable(m, d)); }},
        {"read passwords", false, "Чтение паролей успешно завершено.", "",
         [](TModel& m, std::uint8_t d) { return ReadResult(ReadPasswords(m, d)); }},
        {"write passwords", true, "", "",
         [](TModel& m, std::uint8_t d) { return WriteResult(WritePasswords(m, d)); }},
        {"read output 2", false, "Чтение параметров ПВИ успешно завершено.", "",
         [](TModel& m, std::uint8_t d) { return ReadResult(ReadAnalogOutput(m, d, "02")); }},
        {"write output 1", true, "", "",
         [](TModel& m, std::uint8_t d) { return WriteResult(WriteAnalogOutput(m, d, "01")); }},
    };
    return ops;
}

// Surfaces that let a test act while an exchange waits for its port.
class WaitingSurfaces : public RecordingSurfaces {
  public:
    void ProcessEvents() override {
        ++processed;
        if (onProcessEvents) onProcessEvents(processed);
    }
    int processed = 0;
    std::function<void(int)> onProcessEvents;
};

class SettingsExchange : public testing::CoreFixture {
  protected:
    // The exchanges run on the caller's thread and let it process its
    // events while they wait: the model reports to surfaces that show it.
    SettingsExchange() { model_ = std::make_unique<TModel>(surfaces_, MakePortJobs); }

    void SetUp() override {
        CoreFixture::SetUp();
        AddInstrument("COM1", 1, 0xC3);  // three channels
        AddInstrument("COM1", 2, 0x51);  // one channel
        AddInstrument("COM3", 1, 0xD3);
        sim_.SetTrace([this](const std::string&, const sim::RequestRecord& record) {
            std::lock_guard lock(traceMu_);
            if (!raiseStopAt_.empty() && Parse(record.text).number == raiseStopAt_) {
                model_->StopFlag = true;
            }
        });
        StartSim();
        AddDevice("COM1", 1, 0xC3);
        AddDevice("COM1", 2, 0x51);
        AddDevice("COM3", 1, 0xD3);
    }

    TDevice& Device(std::uint8_t d) { return *model_->Device(d); }

    void RaiseStopAt(const std::string& number) {
        std::lock_guard lock(traceMu_);
        raiseStopAt_ = number;
    }

    // "37 013531", "38 013036=02", in the order the port saw them.
    std::vector<std::string> Seen(const std::string& port = "COM1", int address = 1) const {
        std::vector<std::string> out;
        for (const std::string& text : sim_.RequestTexts(port)) {
            const Request r = Parse(text);
            if (r.address != address) continue;
            out.push_back(std::to_string(r.command) + " " + r.number +
                          (r.command == 38 ? "=" + r.value : ""));
        }
        return out;
    }
    std::vector<std::string> Numbers(int command) const {
        std::vector<std::string> out;
        for (const std::string& text : sim_.RequestTexts("COM1")) {
            const Request r = Parse(text);
            if (r.command == command) out.push_back(r.number);
        }
        return out;
    }

    void Fresh() {
        // A request's record is completed after its reply went out: cleared
        // before that, it would come back.
        for (const char* port : {"COM1", "COM3"})
            sim_.WaitForRequests(port, 0, 2s);
        sim_.ClearRequests();
        sim_.ClearFaults();
        surfaces_.Clear();
        model_->StopFlag = false;
        RaiseStopAt("");
    }

    WaitingSurfaces surfaces_;
    std::mutex traceMu_;
    std::string raiseStopAt_;
};

const std::vector<int> kChannelReadProgress = {9,  10, 15, 20, 22, 25, 27, 30, 32, 35, 37,
                                               40, 45, 50, 55, 60, 65, 80, 85, 90, 95};
const std::vector<int> kChannelWriteProgress = {5,  10, 15, 20, 22, 25, 27, 30, 32, 35, 37,
                                                40, 45, 50, 55, 60, 65, 80, 85, 90, 95};

std::vector<int> Bar(const std::vector<int>& inner) {
    return Concat(Concat({0}, inner), {100, 0});
}

// Channel 1 carries the instrument-wide items (a write leaves out the model
// code and relay mask); channel 3 has no sensor rows, but the bar still
// moves through their places. The instrument already holds every value, so
// a write only reads.
TEST_F(SettingsExchange, ChannelSequencesAndProgress) {
    const std::vector<std::string> wide = {"000020", "002201", "002202",
                                           "002203", "002204", "002205"};
    const std::vector<std::string> calculated = {
        "033531", "033501", "033503", "033036", "033403", "03303E", "03303F", "03303A", "03303C",
        "03303D", "033050", "030002", "030003", "030004", "030005", "030006", "030007"};
    struct Case {
        std::uint8_t channel;
        bool write;
        std::vector<std::string> numbers;
        std::vector<int> progress;
        std::string status;
    } cases[] = {
        {1, false,
         Concat(Concat(std::vector<std::string>{"002007", "000020", "002006"},
                       std::vector<std::string>(wide.begin() + 1, wide.end())),
                ChannelNumbers("01")),
         Bar(Concat({7, 7, 7, 8, 8, 9, 9}, kChannelReadProgress)),
         "Идёт чтение параметров канала 1..."},
        {2, false, ChannelNumbers("02"), Bar(kChannelReadProgress),
         "Идёт чтение параметров канала 2..."},
        {3, false, calculated, Bar(kChannelReadProgress), "Идёт чтение параметров канала 3..."},
        {1, true, Concat(wide, ChannelNumbers("01")), Bar(kChannelWriteProgress),
         "Идёт запись параметров канала 1..."},
        {3, true, calculated, Bar(kChannelWriteProgress), "Идёт запись параметров канала 3..."},
    };
    ASSERT_EQ(cases[0].numbers.size(), 32u);
    ASSERT_EQ(cases[2].numbers.size(), 17u);
    ASSERT_EQ(cases[3].numbers.size(), 30u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        Fresh();

        const Result result = c.write ? WriteResult(WriteChnlSettings(*model_, 0, c.channel))
                                      : ReadResult(ReadChnlSettings(*model_, 0, c.channel));

        EXPECT_EQ(result, Result{});
        EXPECT_EQ(Numbers(37), c.numbers);
        EXPECT_TRUE(Numbers(38).empty());
        EXPECT_EQ(surfaces_.Progress(), c.progress);
        EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{c.write ? kWriteDone : kReadDone});
        EXPECT_EQ(surfaces_.Events().at(2), "status: " + c.status);
        EXPECT_EQ(surfaces_.Status(), "");
        EXPECT_FALSE(Reg(0, 1).PauseReq);
    }
}

TEST_F(SettingsExchange, ChannelValuesAndTheirEncodings) {
    for (const auto& [number, text] : std::map<std::string, std::string>{{"000020", "05"},
                                                                         {"002203", "02"},
                                                                         {"013531", "1B"},
                                                                         {"013036", "03"},
                                                                         {"013042", "FF"},
                                                                         {"023531", "0A"},
                                                                         {"02303B", "01"}}) {
        ASSERT_EQ(sim_.SetParam("COM1", 1, number, text), sim::Instrument::SetResult::Ok) << number;
    }
    sim_.SetReal("COM1", 1, "013503", 1.0);
    sim_.SetReal("COM1", 1, "01303E", -50.5);
    sim_.SetReal("COM1", 1, "010007", 0.25);
    TDevice& device = Device(0);
    TChnl& ch1 = *device.Chnls[1];
    ch1.GAin = 7.0;  // so that storing 1.0 shows
    device.ModelCode = 0;

    ASSERT_TRUE(ReadChnlSettings(*model_, 0, 1).Done());
    EXPECT_EQ(device.ModelCode, 0xC3);
    EXPECT_EQ(device.RelayMask, 0x0F);
    EXPECT_EQ(device.InPE, 5);
    EXPECT_EQ(device.Fd3, 2);
    EXPECT_EQ(ch1.SEnS, 27);
    EXPECT_EQ(ch1.GAin, 1.0);
    EXPECT_EQ(ch1.PrcS, 3);
    EXPECT_EQ(ch1.brdL, -50.5);
    EXPECT_EQ(ch1.brdH, 9999.0);
    EXPECT_EQ(ch1.SEnC, 255);
    EXPECT_EQ(ch1.HYS3, 0.25);
    ASSERT_TRUE(ReadChnlSettings(*model_, 0, 2).Done());
    EXPECT_EQ(device.Chnls[2]->SEnS, 10);
    EXPECT_EQ(device.Chnls[2]->CUtE, 1);
    EXPECT_EQ(ch1.SEnS, 27);  // channel 2 fills its own record

    // Only what differs from the instrument is written, in the field's form.
    Fresh();
    device.Fd5 = 0x1C;
    ch1.PrcS = 2;
    ch1.GAin = 2.5;
    ch1.SEt2 = -1.0;
    EXPECT_EQ(WriteChnlSettings(*model_, 0, 1).message, "");
    std::vector<std::string> writes;
    for (const std::string& s : Seen()) {
        if (s.rfind("38 ", 0) == 0) writes.push_back(s);
    }
    EXPECT_EQ(writes, (std::vector<std::string>{"38 002205=1C", "38 013503=00002040",
                                                "38 013036=02", "38 010004=000080BF"}));
    EXPECT_EQ(Numbers(37).size(), 30u);
    EXPECT_EQ(sim_.Param("COM1", 1, "013036"), "02");
    EXPECT_EQ(sim_.Real("COM1", 1, "013503"), 2.5);
}

// The first failing transaction ends the exchange; the message names the
// port (and the channel), the code's text and the failing parameter.
TEST_F(SettingsExchange, FailureAtANamedParameter) {
    const std::string wrongValue = "Ошибочное значение параметра";
    struct Case {
        const char* what;
        std::function<Result()> run;
        std::string port;
        Fault fault;
        std::string message;  // of a write; a read reports failure
        std::string logLine;  // without its time
        std::function<void()> arrange;
        std::function<void()> check;
    } cases[] = {
        {"channel 1 write at PrcS", [&] { return WriteResult(WriteChnlSettings(*model_, 0, 1)); },
         "COM1", Fault(FaultKind::ErrorStatus).OnParameter("013036").WithNumber(17),
         " Ошибка!(17) Порт COM1 Канал 1 " + wrongValue + "\"Кол-во знаков после запятой\"",
         " Ошибка!(17) Порт COM1 " + wrongValue + "\"Кол-во знаков после запятой\"",
         [&] {
             Device(0).InPE = 3;
             Device(0).Chnls[1]->GAin = 4.0;
             Device(0).Chnls[1]->PrcS = 3;
         },
         [&] {
             EXPECT_EQ(sim_.Param("COM1", 1, "000020"), "03");
             EXPECT_EQ(sim_.Real("COM1", 1, "013503"), 4.0);
             EXPECT_EQ(sim_.Param("COM1", 1, "013036"), "01");
         }},
        {"channel 2 read at brdH", [&] { return ReadResult(ReadChnlSettings(*model_, 0, 2)); },
         "COM1", Fault(FaultKind::ErrorStatus).OnParameter("02303F").WithNumber(17), "",
         " Ошибка!(17) Порт COM1 " + wrongValue, [&] { Device(0).Chnls[2]->brdL = 1.0; },
         [&] { EXPECT_EQ(Device(0).Chnls[2]->brdL, -999.0); }},
        {"coefficients write at A0", [&] { return WriteResult(WriteKoefs(*model_, 0)); }, "COM1",
         Fault(FaultKind::ErrorStatus).OnParameter("008902").WithNumber(5),
         " Ошибка!(5) Порт COM1 Ошибка записи EEPROM\"A0\"",
         " Ошибка!(5) Порт COM1 Ошибка записи EEPROM\"A0\"", [&] { Device(0).b0 = 2.0; },
         [&] { EXPECT_EQ(sim_.Real("COM1", 1, "008901"), 2.0); }},
        {"relay write at the fourth delay",
         [&] { return WriteResult(WriteRelayTable(*model_, 0)); }, "COM1",
         Fault(FaultKind::ErrorStatus).OnParameter("002113").WithNumber(17),
         " Ошибка!(17) Порт COM1 " + wrongValue + "\"nrL4\"",
         " Ошибка!(17) Порт COM1 " + wrongValue + "\"nrL4\"", nullptr, nullptr},
        {"relay write at the table, no reply",
         [&] { return WriteResult(WriteRelayTable(*model_, 2)); }, "COM3",
         Fault(FaultKind::Silent).OnParameter("00200C"),
         " Ошибка!(-14) Порт COM3 Прибор не подключён к порту (ошибка приёма данных из порта) "
         "COM3\"relTbl\"",
         " Ошибка!(-14) Порт COM3 Прибор не подключён к порту (ошибка приёма данных из порта) "
         "COM3\"relTbl\"",
         nullptr, nullptr},
        {"passwords write at the second", [&] { return WriteResult(WritePasswords(*model_, 0)); },
         "COM1", Fault(FaultKind::ErrorStatus).OnParameter("005002").WithNumber(17),
         " Ошибка!(17) Порт COM1 " + wrongValue + "\"Pass2\"",
         " Ошибка!(17) Порт COM1 " + wrongValue + "\"Pass2\"",
         [&] {
             Device(0).Pass1 = "3412";
             Device(0).Pass2 = "0000";
             Device(0).Pass3 = "0000";
         },
         [&] { EXPECT_EQ(sim_.Param("COM1", 1, "005001"), "1234"); }},
        {"passwords read at the third", [&] { return ReadResult(ReadPasswords(*model_, 0)); },
         "COM1", Fault(FaultKind::ErrorStatus).OnParameter("005003").WithNumber(4), "",
         " Ошибка!(4) Порт COM1 Ошибка чтения EEPROM", nullptr, nullptr},
        {"output 2 write at its range",
         [&] { return WriteResult(WriteAnalogOutput(*model_, 0, "02")); }, "COM1",
         Fault(FaultKind::ErrorStatus).OnParameter("023F02").WithNumber(17),
         " Ошибка!(17) Порт COM1 " + wrongValue + "\"Режим работы ПВИ \"",
         " Ошибка!(17) Порт COM1 " + wrongValue + "\"Режим работы ПВИ \"", nullptr, nullptr},
        {"output 1 read at its range end",
         [&] { return ReadResult(ReadAnalogOutput(*model_, 0, "01")); }, "COM1",
         Fault(FaultKind::ErrorStatus).OnParameter("013F04").WithNumber(17), "",
         " Ошибка!(17) Порт COM1 " + wrongValue, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        if (c.arrange) c.arrange();
        sim_.AddFault(c.port, 1, c.fault);

        EXPECT_EQ(c.run(), (Result{true, c.message}));

        EXPECT_EQ(surfaces_.ErrorLogWithoutTime(), std::vector<std::string>{c.logLine});
        const std::vector<std::string> seen = Seen(c.port);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), "37 " + c.fault.parameter);  // nothing after it
        EXPECT_EQ(surfaces_.Progress().back(), 0);
        EXPECT_EQ(surfaces_.Status(), "");
        if (c.check) c.check();
    }
}

// A suspended polling job holds the port and never gives it up; the stop
// request raised while the exchange waits (and lets the caller's events
// run) ends it before anything else happens.
TEST_F(SettingsExchange, StopWhileWaitingForThePollingJob) {
    model_->PortJobs().CreateSuspended("COM1");
    surfaces_.onProcessEvents = [this](int n) {
        if (n == 3) model_->StopFlag = true;
    };
    for (const Op& op : Operations()) {
        SCOPED_TRACE(op.name);
        Fresh();
        surfaces_.processed = 0;
        surfaces_.AddErrorLine("earlier line");

        EXPECT_EQ(op.run(*model_, 0), (Result{true, op.write ? kStopped : ""}));

        EXPECT_EQ(surfaces_.processed, 3);
        EXPECT_TRUE(sim_.RequestTexts("COM1").empty());
        EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{"earlier line"});
        EXPECT_EQ(surfaces_.Progress(), std::vector<int>{0});
        EXPECT_EQ(surfaces_.Status(), "");
        EXPECT_FALSE(Reg(0, 1).PauseReq);
    }
}

// The job of a port where a regulator runs gives the port up for the
// exchange and takes it back afterwards.
TEST_F(SettingsExchange, TakesThePortFromARunningPollingJob) {
    sim_.SetRegulatorOn("COM1", 1, 1, true);
    SetRegOn(*model_, Reg(0, 1), true);
    ASSERT_TRUE(testing::WaitFor([&] { return !Numbers(37).empty(); }, 2s));

    EXPECT_TRUE(ReadKoefs(*model_, 0).Done());

    EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{kReadDone});
    EXPECT_FALSE(Reg(0, 1).PauseReq);
    // Nothing of the job's comes between the exchange's requests, and it
    // polls again afterwards.
    std::vector<std::string> numbers = Numbers(37);
    const auto first = std::find(numbers.begin(), numbers.end(), "008800");
    ASSERT_GE(numbers.end() - first, 22);
    EXPECT_EQ(std::vector<std::string>(first, first + 22), kKoefNumbers);
    const std::size_t before = numbers.size();
    EXPECT_TRUE(testing::WaitFor([&] { return Numbers(37).size() > before; }, 3s));
    numbers = Numbers(37);
    EXPECT_EQ(numbers.back(), "0000FF");
}

// An instrument that is not present is not contacted and counts as done; a
// rate the port object refuses is a failure with its code and text.
TEST_F(SettingsExchange, AbsentInstrumentAndRefusedRate) {
    const std::string refused = " Ошибка!(-2) Порт COM1 Ошибка в параметрах вызываемой функции";
    struct Situation {
        const char* what;
        bool present;
        std::int32_t baud;
    } situations[] = {
        {"not present", false, 19200},
        {"rate refused by the port object", true, 1000},
        {"rate beyond any port", true, 115200},
    };
    for (const Situation& s : situations) {
        for (const Op& op : Operations()) {
            SCOPED_TRACE(std::string(s.what) + ", " + op.name);
            Fresh();
            Device(0).Present = s.present;
            Device(0).Baudrate = s.baud;

            const Result result = op.run(*model_, 0);

            EXPECT_TRUE(sim_.RequestTexts("COM1").empty());
            if (!s.present) {
                EXPECT_EQ(result, Result{});
                EXPECT_EQ(surfaces_.ErrorLog(),
                          std::vector<std::string>{op.write ? kWriteDone : op.readDone});
            } else {
                const std::string message =
                    " Ошибка!(-2) Порт COM1" + op.place + " Ошибка в параметрах вызываемой функции";
                EXPECT_EQ(result, (Result{true, op.write ? message : ""}));
                EXPECT_EQ(surfaces_.ErrorLogWithoutTime(), std::vector<std::string>{refused});
            }
            EXPECT_EQ(surfaces_.Progress(), (std::vector<int>{0, 0}));
            EXPECT_FALSE(Reg(0, 1).PauseReq);
        }
    }
}

// Nothing to exchange: the window is not touched.
TEST_F(SettingsExchange, NothingForAnInstrumentChannelOrOutputThatIsNotThere) {
    struct Case {
        const char* what;
        std::function<Result()> run;
        Result result;
    } cases[] = {
        {"channel read beyond the list",
         [&] { return ReadResult(ReadChnlSettings(*model_, 3, 1)); },
         {true, ""}},
        {"channel 2 of a one-channel instrument",
         [&] { return ReadResult(ReadChnlSettings(*model_, 1, 2)); },
         {true, ""}},
        {"channel 3 write on a one-channel instrument",
         [&] { return WriteResult(WriteChnlSettings(*model_, 1, 3)); },
         {}},
        {"channel 4", [&] { return ReadResult(ReadChnlSettings(*model_, 0, 4)); }, {true, ""}},
        {"output 3 read",
         [&] { return ReadResult(ReadAnalogOutput(*model_, 0, "03")); },
         {true, ""}},
        {"output 3 write", [&] { return WriteResult(WriteAnalogOutput(*model_, 0, "03")); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        EXPECT_EQ(c.run(), c.result);
        EXPECT_TRUE(surfaces_.Events().empty());
    }
    for (const Op& op : Operations()) {
        SCOPED_TRACE(std::string(op.name) + " beyond the list");
        Fresh();
        // The channel read reports failure: a dialog must not open on nothing.
        const bool failed = op.write ? false : std::string(op.name) == "read channel 1";
        EXPECT_EQ(op.run(*model_, 3), (Result{failed, ""}));
        EXPECT_TRUE(surfaces_.Events().empty());
    }
    EXPECT_TRUE(sim_.RequestTexts("COM1").empty());
}

// Raised while a transaction without a stop point is under way, StopFlag
// ends the exchange after the next parameter that has one; that one answers
// late, so the flag is surely up before it is looked at.
TEST_F(SettingsExchange, StopFlagEndsTheExchangeAtItsStopPoints) {
    struct Case {
        const char* what;
        std::function<Result()> run;
        bool write;
        std::string raisedAt;  // empty: raised before the call
        std::string last;      // the last parameter asked for; empty: none
    } cases[] = {
        {"channel 1 read, instrument-wide block",
         [&] { return ReadResult(ReadChnlSettings(*model_, 0, 1)); }, false, "002201", "013531"},
        {"channel 3 read, a pair", [&] { return ReadResult(ReadChnlSettings(*model_, 0, 3)); },
         false, "03303C", "03303D"},
        {"coefficients write, the last point", [&] { return WriteResult(WriteKoefs(*model_, 0)); },
         true, "00880A", "008900"},
        {"relay table read, before the table",
         [&] { return ReadResult(ReadRelayTable(*model_, 0)); }, false, "002112", "002113"},
        {"output write, a pair", [&] { return WriteResult(WriteAnalogOutput(*model_, 0, "01")); },
         true, "013F01", "013F02"},
        {"passwords read, no stop point", [&] { return ReadResult(ReadPasswords(*model_, 0)); },
         false, "005001", "005003"},
        {"channel 2 write, stopped before the port opened",
         [&] { return WriteResult(WriteChnlSettings(*model_, 0, 2)); }, true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        if (c.raisedAt.empty()) {
            model_->StopFlag = true;
        } else {
            RaiseStopAt(c.raisedAt);
            sim_.AddFault("COM1", 1,
                          Fault(FaultKind::Delay).OnParameter(c.last).WithTime(200ms).Times(1));
        }

        EXPECT_EQ(c.run(), (Result{true, c.write ? kStopped : ""}));

        const std::vector<std::string> texts = sim_.RequestTexts("COM1");
        EXPECT_EQ(texts.empty() ? "" : Parse(texts.back()).number, c.last);
        EXPECT_TRUE(surfaces_.ErrorLog().empty());
        EXPECT_EQ(surfaces_.Progress().back(), 0);
        EXPECT_FALSE(Reg(0, 1).PauseReq);
    }
}

// The instrument's c1 c2 c3 c4 is kept as c3 c4 c1 c2, and exchanged back on
// the way out, so an unchanged password goes back as it came and is not
// rewritten.
TEST_F(SettingsExchange, PasswordsTravelWithTheirDigitPairsExchanged) {
    for (const auto& [number, text] : std::map<std::string, std::string>{
             {"005001", "1234"}, {"005002", "ABCD"}, {"005003", "00FF"}}) {
        ASSERT_EQ(sim_.SetParam("COM1", 1, number, text), sim::Instrument::SetResult::Ok);
    }
    TDevice& device = Device(0);

    ASSERT_TRUE(ReadPasswords(*model_, 0).Done());
    EXPECT_EQ(device.Pass1, "3412");
    EXPECT_EQ(device.Pass2, "CDAB");
    EXPECT_EQ(device.Pass3, "FF00");
    EXPECT_EQ(surfaces_.Progress(), (std::vector<int>{0, 25, 50, 75, 100, 0}));
    EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{"Чтение паролей успешно завершено."});
    EXPECT_EQ(surfaces_.Events().at(2), "status: Идёт чтение паролей...");

    Fresh();
    EXPECT_EQ(WritePasswords(*model_, 0).message, "");
    EXPECT_EQ(Seen(), (std::vector<std::string>{"37 005001", "37 005002", "37 005003"}));
    EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{kWriteDone});

    Fresh();
    device.Pass2 = "7856";
    EXPECT_EQ(WritePasswords(*model_, 0).message, "");
    EXPECT_EQ(Seen(),
              (std::vector<std::string>{"37 005001", "37 005002", "38 005002=5678", "37 005003"}));
    EXPECT_EQ(surfaces_.Progress(), (std::vector<int>{0, 25, 50, 75, 100, 0}));

    // A record that holds no four hexadecimal digits is not sent.
    Fresh();
    device.Pass3 = "12";
    EXPECT_EQ(WritePasswords(*model_, 0).message,
              " Ошибка!(-2) Порт COM1 Ошибка в параметрах вызываемой функции\"Pass3\"");
    EXPECT_EQ(Seen(), (std::vector<std::string>{"37 005001", "37 005002"}));
}

// relTbl byte 3(r-1)+(c-1) is relay r's entry for channel c: setpoints 1 to 3
// in bits 0-1, 2-3, 4-5 and the channel's error event in bits 6-7.
TEST_F(SettingsExchange, RelayTableBytes) {
    ASSERT_EQ(sim_.SetParam("COM1", 1, "00200C", "4601020304050607080910C3"),
              sim::Instrument::SetResult::Ok);
    ASSERT_EQ(sim_.SetParam("COM1", 1, "002110", "0F"), sim::Instrument::SetResult::Ok);
    TDevice& device = Device(0);

    ASSERT_TRUE(ReadRelayTable(*model_, 0).Done());
    EXPECT_EQ(device.nrL1, 15);
    EXPECT_EQ(device.relTbl, (std::array<std::uint8_t, 12>{0x46, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                           0x07, 0x08, 0x09, 0x10, 0xC3}));
    const auto field = [&](int relay, int channel, int shift) {
        return (device.relTbl[static_cast<std::size_t>(3 * (relay - 1) + (channel - 1))] >> shift) &
               3;
    };
    // Relay 1, channel 1: setpoint 1 upper, setpoint 2 lower, setpoint 3
    // none, error event on.
    EXPECT_EQ((std::array{field(1, 1, 0), field(1, 1, 2), field(1, 1, 4), field(1, 1, 6)}),
              (std::array{2, 1, 0, 1}));
    // Relay 4, channel 3: setpoint 1 off, error event off.
    EXPECT_EQ((std::array{field(4, 3, 0), field(4, 3, 6)}), (std::array{3, 3}));
    EXPECT_EQ(surfaces_.Progress(), (std::vector<int>{0, 5, 20, 40, 60, 80, 100, 0}));
    EXPECT_EQ(surfaces_.Events().at(2), "status: Идёт чтение таблицы реле...");

    Fresh();
    EXPECT_EQ(WriteRelayTable(*model_, 0).message, "");
    EXPECT_EQ(Seen(), (std::vector<std::string>{"37 002110", "37 002111", "37 002112", "37 002113",
                                                "37 00200C"}));

    Fresh();
    device.nrL3 = 0x0E;
    device.relTbl[11] = 0xAB;
    EXPECT_EQ(WriteRelayTable(*model_, 0).message, "");
    EXPECT_EQ(Seen(), (std::vector<std::string>{"37 002110", "37 002111", "37 002112",
                                                "38 002112=0E", "37 002113", "37 00200C",
                                                "38 00200C=4601020304050607080910AB"}));
    EXPECT_EQ(surfaces_.Progress(), (std::vector<int>{0, 5, 20, 40, 60, 80, 100, 0}));
}

TEST_F(SettingsExchange, CoefficientsAreAlwaysAllTwentyTwo) {
    ASSERT_EQ(sim_.SetParam("COM1", 1, "008800", "02"), sim::Instrument::SetResult::Ok);
    ASSERT_EQ(sim_.SetParam("COM1", 1, "008900", "02"), sim::Instrument::SetResult::Ok);
    sim_.SetReal("COM1", 1, "008806", -3.5);
    TDevice& device = Device(0);

    ASSERT_TRUE(ReadKoefs(*model_, 0).Done());
    EXPECT_EQ(Numbers(37), kKoefNumbers);
    EXPECT_EQ(device.nLin, 2);
    EXPECT_EQ(device.nPol, 2);
    EXPECT_EQ(device.LiY3, -3.5);
    EXPECT_EQ(device.b0, 1.0);
    EXPECT_EQ(surfaces_.Progress(),
              Bar({5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 55, 60, 65, 70, 75, 80, 85, 90, 95}));
    EXPECT_EQ(surfaces_.Events().at(2), "status: Идёт чтение коэффициентов...");

    Fresh();
    device.A8 = 1.0;
    EXPECT_EQ(WriteKoefs(*model_, 0).message, "");
    EXPECT_EQ(Seen().back(), "38 00890A=0000803F");
    EXPECT_EQ(Numbers(38).size(), 1u);
}

TEST_F(SettingsExchange, AnalogOutputTwo) {
    ASSERT_EQ(sim_.SetParam("COM1", 1, "023F02", "0A"), sim::Instrument::SetResult::Ok);
    sim_.SetReal("COM1", 1, "023F04", 20.0);
    TDevice& device = Device(0);

    ASSERT_TRUE(ReadAnalogOutput(*model_, 0, "02").Done());
    EXPECT_EQ(Numbers(37),
              (std::vector<std::string>{"023F01", "023F02", "023F03", "023F04", "023F05"}));
    EXPECT_EQ(device.OtP, 10);
    EXPECT_EQ(device.OdH, 20.0);
    EXPECT_EQ(surfaces_.Progress(), Bar({25, 40, 60, 75, 90}));
    EXPECT_EQ(surfaces_.ErrorLog(),
              std::vector<std::string>{"Чтение параметров ПВИ успешно завершено."});
    EXPECT_EQ(surfaces_.Events().at(2), "status: Идёт чтение ПВИ...");

    Fresh();
    device.OdL = 4.0;
    device.OEr = 3.6;
    EXPECT_EQ(WriteAnalogOutput(*model_, 0, "02").message, "");
    EXPECT_EQ(Numbers(38), (std::vector<std::string>{"023F03", "023F05"}));
    EXPECT_EQ(surfaces_.Progress(), Bar({25, 40, 60, 80, 90}));
    EXPECT_EQ(surfaces_.Events().at(2), "status: Идёт запись ПВИ...");

    // Written and read again, a real keeps its value to single precision.
    device.OEr = 0.0;
    ASSERT_TRUE(ReadAnalogOutput(*model_, 0, "02").Done());
    EXPECT_EQ(device.OEr, static_cast<double>(3.6f));
    EXPECT_EQ(sim_.Param("COM1", 1, "013F05"), "00000000");  // output 1 untouched
}

// A byte is any hexadecimal number (its low 8 bits count), a real exactly
// eight digits, the relay table 24, a password four; anything else fails
// the read at that parameter with -21 and stores nothing.
TEST_F(SettingsExchange, DataTextsOfTheWrongForm) {
    sim_.AddPort("COM7");
    sim_.AddInstrument("COM7", 1, 0xC3);
    SetPortOverride("COM7", sim_.DevicePath("COM7"));
    const std::uint8_t d = AddDevice("COM7", 1, 0xC3);
    TDevice& device = Device(d);
    const std::string badPayload = " Ошибка!(-21) Порт COM7 Ошибочные полезные данные от прибора";
    struct Case {
        const char* number;
        const char* text;
        std::function<bool()> read;
        bool fails;
        std::function<void()> check;
    } cases[] = {
        {"013531", "ZZ", [&] { return !ReadChnlSettings(*model_, d, 1).Done(); }, true,
         [&] { EXPECT_EQ(device.Chnls[1]->SEnS, 21); }},
        {"013531", "1FF", [&] { return !ReadChnlSettings(*model_, d, 1).Done(); }, false,
         [&] { EXPECT_EQ(device.Chnls[1]->SEnS, 0xFF); }},
        {"000020", "", [&] { return !ReadChnlSettings(*model_, d, 1).Done(); }, true, nullptr},
        {"023503", "0000803", [&] { return !ReadChnlSettings(*model_, d, 2).Done(); }, true,
         [&] { EXPECT_EQ(device.Chnls[2]->GAin, 7.0); }},
        {"008801", "0000803F00", [&] { return !ReadKoefs(*model_, d).Done(); }, true,
         [&] { EXPECT_EQ(device.LiH1, 7.0); }},
        {"00200C", "46010203040506070809101", [&] { return !ReadRelayTable(*model_, d).Done(); },
         true, [&] { EXPECT_EQ(device.relTbl[0], 0x77); }},
        {"00200C", "460102030405060708091G11", [&] { return !ReadRelayTable(*model_, d).Done(); },
         true, [&] { EXPECT_EQ(device.relTbl[0], 0x77); }},
        {"005002", "123", [&] { return !ReadPasswords(*model_, d).Done(); }, true,
         [&] { EXPECT_EQ(device.Pass2, "7777"); }},
        {"013F05", "-1", [&] { return !ReadAnalogOutput(*model_, d, "01").Done(); }, true,
         [&] { EXPECT_EQ(device.OEr, 7.0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.number) + " = \"" + c.text + "\"");
        sim_.SetFaults("COM7", 1, {Fault(FaultKind::Data).OnParameter(c.number).WithText(c.text)});
        surfaces_.Clear();
        device.Chnls[1]->SEnS = 21;
        device.Chnls[2]->GAin = 7.0;
        device.LiH1 = 7.0;
        device.relTbl[0] = 0x77;
        device.Pass2 = "7777";
        device.OEr = 7.0;

        EXPECT_EQ(c.read(), c.fails);

        EXPECT_EQ(surfaces_.ErrorLogWithoutTime(),
                  std::vector<std::string>{c.fails ? badPayload : kReadDone});
        if (c.check) c.check();
    }
}

}  // namespace
}  // namespace zorvat
