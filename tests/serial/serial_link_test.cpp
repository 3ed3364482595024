// Transactions on a real serial device path (a pseudo-terminal of the
// simulator), through termios, at the simulator's paced line speed.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "IEEE754.h"
#include "com_u.h"
#include "device_catalogue.h"
#include "ex_com.h"
#include "line_stats.h"
#include "sim/simulator.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;
using Clock = std::chrono::steady_clock;

class SerialLink : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_.UseTemporaryLinkDir();
        sim_.AddPort("COM1");
        sim_.AddInstrument("COM1", 1, 0xC3);
        sim_.AddInstrument("COM1", 2, 0x51);
        sim_.SetTurnaround(2ms);
        sim_.SetPortBaud("COM1", 19200);
        sim_.SetSpeed(0);  // exact values: the process stands still
        sim_.RegisterPortMap();
        sim_.Start();
        ASSERT_EQ(Open(*port_), rc::Ok);
    }
    void TearDown() override {
        if (port_ && port_->IsOpen()) port_->ClosePort();
        sim_.Stop();
        sim_.UnregisterPortMap();
    }

    static TResult Open(TExCOM& port, std::uint16_t baud = 19200, std::uint16_t timeout = 1000) {
        TResult result = port.SetBaudRate(baud);
        if (result == rc::Ok) result = port.SetTimeout(timeout);
        if (result == rc::Ok) result = port.OpenPort("COM1");
        return result;
    }

    TResult Read(const std::string& address, const std::string& parameter, std::string& value) {
        return ReadParam(*port_, address, parameter, value);
    }

    void Fault1(FaultKind kind, const std::string& parameter = "", int count = 1) {
        Fault f;
        f.kind = kind;
        f.parameter = parameter;
        f.count = count;
        sim_.AddFault("COM1", 1, f);
    }

    sim::Simulator sim_;
    std::unique_ptr<TExCOM> port_ = CreatePort();
};

TEST_F(SerialLink, ReadsParametersOfEachInstrument) {
    std::string value;
    ASSERT_EQ(Read("1", "002007", value), rc::Ok);
    EXPECT_EQ(value, "C3");
    ASSERT_EQ(Read("2", "002007", value), rc::Ok);
    EXPECT_EQ(value, "51");
    ASSERT_EQ(Read("1", "01DA66", value), rc::Ok);
    double setpoint = 0;
    ASSERT_TRUE(WireTextToFloat(value, setpoint));
    EXPECT_EQ(setpoint, 100.0);
    EXPECT_EQ(sim_.RequestTexts("COM1").front(), ":1;37;002007;6295");
    // The instrument's own error number comes back as a positive code.
    EXPECT_EQ(Read("1", "01DAFF", value), 16);
    EXPECT_EQ(value, "$16");
}

// Each fault of the line ends in its own code, and the next request works.
TEST_F(SerialLink, FaultsOfTheLine) {
    struct Case {
        FaultKind kind;
        TResult result;
        const char* value;  // expected data text, nullptr: not checked
    } cases[] = {
        {FaultKind::Noise, rc::Ok, "C3"},
        {FaultKind::Split, rc::Ok, "C3"},
        {FaultKind::LowerCase, rc::Ok, "c3"},
        {FaultKind::BadChecksum, rc::BadChecksum, ""},
        {FaultKind::WrongAddress, rc::WrongAddress, nullptr},
        {FaultKind::NoCR, rc::BadStructure, ""},
        {FaultKind::Overlong, rc::NoReply, nullptr},
        {FaultKind::ErrorStatus, 1, "$1"},
    };
    for (const Case& c : cases) {
        Fault1(c.kind, "002007");
        std::string value;
        EXPECT_EQ(Read("1", "002007", value), c.result) << sim::FaultKindName(c.kind);
        if (c.value != nullptr) {
            EXPECT_EQ(value, c.value) << sim::FaultKindName(c.kind);
        }
        ASSERT_EQ(Read("1", "002007", value), rc::Ok) << "after " << sim::FaultKindName(c.kind);
        EXPECT_EQ(value, "C3");
    }
}

// A reply whose data field says something else is still a good frame: the
// text arrives as it is, and only the requests the fault names get it.
TEST_F(SerialLink, DataFaultReplacesOnlyTheDataField) {
    sim_.AddFault("COM1", 1, Fault(FaultKind::Data).OnParameter("002007").WithText("ZZ").Times(2));
    std::string value;
    ASSERT_EQ(Read("1", "000020", value), rc::Ok);
    EXPECT_EQ(value, "07");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Read("1", "002007", value), rc::Ok);
        EXPECT_EQ(value, "ZZ");
    }
    ASSERT_EQ(Read("1", "002007", value), rc::Ok);
    EXPECT_EQ(value, "C3");

    sim_.AddFault("COM1", 1, Fault(FaultKind::Data).WithText("").Times(1));
    ASSERT_EQ(Read("1", "002007", value), rc::Ok);
    EXPECT_EQ(value, "");
}

TEST_F(SerialLink, SilenceCostsOneSecondOrOneTimeout) {
    struct Case {
        std::uint16_t timeout;
        std::chrono::milliseconds expected;
    } cases[] = {{1000, 1000ms}, {400, 1200ms}};
    for (const Case& c : cases) {
        ASSERT_EQ(port_->SetTimeout(c.timeout), rc::Ok);
        std::string value;
        const auto start = Clock::now();
        EXPECT_EQ(Read("9", "002007", value), rc::NoReply);
        const auto took = Clock::now() - start;
        EXPECT_GE(took, c.expected) << c.timeout;
        EXPECT_LT(took, c.expected + 250ms) << c.timeout;
    }
}

TEST_F(SerialLink, InstrumentAtAnotherLineSpeedStaysSilent) {
    port_->ClosePort();
    ASSERT_EQ(Open(*port_, 9600), rc::Ok);
    std::string value;
    EXPECT_EQ(Read("1", "002007", value), rc::NoReply);
    ASSERT_EQ(port_->SetBaudRate(19200), rc::Ok);  // applied to the open port
    EXPECT_EQ(Read("1", "002007", value), rc::Ok);
}

// The frames carry no request number: a reply that came after its time-out
// must not be taken for the answer to the next request.
TEST_F(SerialLink, LateReplyIsNotTakenForTheNextOne) {
    Fault f;
    f.kind = FaultKind::Delay;
    f.parameter = "01DA66";
    f.count = 1;
    f.time = 1300ms;
    sim_.AddFault("COM1", 1, f);
    std::string value;
    EXPECT_EQ(Read("1", "01DA66", value), rc::NoReply);
    std::this_thread::sleep_for(500ms);  // the late setpoint reply arrives meanwhile
    ASSERT_EQ(Read("1", "01DA67", value), rc::Ok);
    EXPECT_EQ(value, *FloatToWireText(10.0));  // Kp, not the setpoint
}

TEST_F(SerialLink, WriteParamWritesOnlyWhatDiffers) {
    std::string value = *FloatToWireText(100.0);  // what the instrument holds
    sim_.ClearRequests("COM1");
    ASSERT_EQ(WriteParam(*port_, "1", "01DA66", value), rc::Ok);
    EXPECT_EQ(sim_.RequestTexts("COM1").size(), 1u);  // the read only

    value = *FloatToWireText(25.5);
    ASSERT_EQ(WriteParam(*port_, "1", "01DA66", value), rc::Ok);
    const auto texts = sim_.RequestTexts("COM1");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2].substr(0, 22), ":1;38;01DA66;0000CC41;");
    EXPECT_EQ(value, "$0");
    EXPECT_EQ(sim_.Real("COM1", 1, "01DA66"), 25.5);

    // Texts that mean the same number but differ in case are written.
    Fault1(FaultKind::LowerCase, "01DA66", 1);
    value = "0000CC41";
    sim_.ClearRequests("COM1");
    ASSERT_EQ(WriteParam(*port_, "1", "01DA66", value), rc::Ok);
    EXPECT_EQ(sim_.RequestTexts("COM1").size(), 2u);

    // A read-back that fails writes nothing.
    Fault1(FaultKind::Silent, "01DA66", 1);
    value = *FloatToWireText(30.0);
    sim_.ClearRequests("COM1");
    EXPECT_EQ(WriteParam(*port_, "1", "01DA66", value), rc::NoReply);
    EXPECT_EQ(sim_.RequestTexts("COM1").size(), 1u);
    EXPECT_EQ(sim_.Real("COM1", 1, "01DA66"), 25.5);
}

TEST_F(SerialLink, SendCommand) {
    std::string command = ";198;";
    ASSERT_EQ(SendCommand(port_.get(), 1, command, 255), rc::Ok);
    EXPECT_EQ(command, "20");
    command = ";198;";
    sim_.SetVersion("COM1", 1, 123);
    ASSERT_EQ(SendCommand(port_.get(), 1, command, 2), rc::Ok);
    EXPECT_EQ(command, "12");  // cut to the maximum length

    command = ";38;01DA65;1;";
    ASSERT_EQ(SendCommand(port_.get(), 1, command, 255), rc::Ok);
    EXPECT_EQ(command, ";38;01DA65;1;");  // "$0" leaves it unchanged
    EXPECT_TRUE(sim_.RegulatorOn("COM1", 1, 1));

    Fault1(FaultKind::ErrorStatus, "01DA65", 1);
    command = ";38;01DA65;0;";
    EXPECT_EQ(SendCommand(port_.get(), 1, command, 255), rc::DeviceReportsError);
    EXPECT_TRUE(sim_.RegulatorOn("COM1", 1, 1));

    Fault1(FaultKind::WrongAddress, "", 1);
    command = ";198;";
    EXPECT_EQ(SendCommand(port_.get(), 1, command, 255), rc::WrongAddress);
}

TEST_F(SerialLink, TypedIdentification) {
    std::string data = "0";
    ASSERT_EQ(Exchange(*port_, 1, 1, 0, data), rc::Ok);
    EXPECT_EQ(data, "41");
    EXPECT_EQ(port_->ReplyTimeout(), 400);  // the type's time-out stays in force
    const auto records = sim_.Requests("COM1");
    ASSERT_FALSE(records.empty());
    EXPECT_TRUE(records.back().typed);
    EXPECT_EQ(records.back().text, ":1;0;50730");

    sim_.SetIdentCode("COM1", 2, "55");
    ASSERT_EQ(Exchange(*port_, 1, 2, 0, data), rc::Ok);
    EXPECT_EQ(data, "55");

    // Refused by the catalogue before anything is sent.
    sim_.ClearRequests("COM1");
    EXPECT_EQ(Exchange(*port_, 99, 1, 0, data), rc::UnknownType);
    EXPECT_EQ(Exchange(*port_, 1, 1, 2, data), rc::BadCommand);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(sim_.RequestTexts("COM1").empty());
}

TEST_F(SerialLink, OpenIsExclusive) {
    TExCOM second;
    EXPECT_EQ(Open(second), rc::PortBusy);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(port_->OpenPort("COM1"), rc::AlreadyOpen);
    EXPECT_TRUE(port_->IsOpen());
    ASSERT_EQ(port_->ClosePort(), rc::Ok);
    EXPECT_EQ(port_->ClosePort(), rc::CloseFailed);
    ASSERT_EQ(Open(second), rc::Ok);
    EXPECT_EQ(second.ClosePort(), rc::Ok);
}

// An unplugged USB adapter: the exchange fails at once instead of waiting
// for deadlines, the device is missing until it comes back, then works.
TEST_F(SerialLink, PortVanishesAndComesBack) {
    sim_.Unplug("COM1");
    std::string value;
    const auto start = Clock::now();
    const TResult result = Read("1", "002007", value);
    EXPECT_TRUE(result == rc::WriteFailed || result == rc::ReadFailed) << result;
    EXPECT_LT(Clock::now() - start, 500ms);
    port_->ClosePort();
    EXPECT_EQ(Open(*port_), rc::NoSuchPort);

    sim_.Replug("COM1");
    ASSERT_EQ(Open(*port_), rc::Ok);
    ASSERT_EQ(Read("1", "002007", value), rc::Ok);
    EXPECT_EQ(value, "C3");
}

// Every exchange counts in the port's line statistics, whichever
// transaction made it and whichever port object: what each fault of the
// line counts as, and the round trip of the exchanges that got a reply.
TEST_F(SerialLink, LineStatisticsCountEveryExchange) {
    struct Case {
        const char* name;
        FaultKind kind;  // Noise: none that matters
        const char* parameter;
        LineStats counted;  // the counters (times aside) after one read
    } cases[] = {
        {"reply", FaultKind::Noise, "002007", {.requests = 1, .replies = 1}},
        {"instrument error", FaultKind::Noise, "01DAFF", {.requests = 1, .instrumentErrors = 1}},
        {"time-out", FaultKind::Silent, "002007", {.requests = 1, .timeouts = 1}},
        {"checksum", FaultKind::BadChecksum, "002007", {.requests = 1, .checksumErrors = 1}},
        {"other address", FaultKind::WrongAddress, "002007", {.requests = 1, .otherErrors = 1}},
    };
    ASSERT_EQ(port_->SetTimeout(100), rc::Ok);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetAllLineStats();
        if (c.kind != FaultKind::Noise) Fault1(c.kind);
        std::string value;
        Read("1", c.parameter, value);
        LineStats s = LineStatsOf("COM1");
        EXPECT_EQ(s.timed, c.counted.replies + c.counted.instrumentErrors +
                               c.counted.checksumErrors + c.counted.otherErrors);
        if (s.timed > 0) {
            EXPECT_GT(s.worstSeconds, 0.002);  // the turnaround at least
            EXPECT_LT(s.worstSeconds, 0.5);
            EXPECT_DOUBLE_EQ(s.MeanSeconds(), s.worstSeconds);
        }
        s.timed = 0;
        s.totalSeconds = s.worstSeconds = 0;
        EXPECT_EQ(s, c.counted);
    }

    // A write reads first, then writes: two exchanges. The typed exchange
    // and a command count too, on a port object of their own.
    ResetAllLineStats();
    std::string value = *FloatToWireText(25.5);
    EXPECT_EQ(WriteParam(*port_, "1", "01DA66", value), rc::Ok);
    port_->ClosePort();
    auto other = CreatePort();
    ASSERT_EQ(Open(*other), rc::Ok);
    std::string code;
    EXPECT_EQ(Exchange(*other, 1, 1, 0, code), rc::Ok);
    std::string command = ";198;";
    EXPECT_EQ(SendCommand(other.get(), 1, command, 255), rc::Ok);
    EXPECT_EQ(LineStatsOf("COM1").requests, 4u);
    EXPECT_EQ(LineStatsOf("COM1").replies, 4u);
    const auto all = AllLineStats();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].first, "COM1");
    ResetLineStats("COM1");
    EXPECT_EQ(LineStatsOf("COM1"), LineStats{});
    other->ClosePort();
}

}  // namespace
}  // namespace zorvat
