// The model through a serial device server on the network: ser2net on the
// loopback address in front of the simulator's pseudo-terminal, in raw TCP
// mode and in RFC 2217 mode.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "Devices.h"
#include "ex_com.h"
#include "model.h"
#include "port_map.h"
#include "recording_surfaces.h"
#include "regulator_exchange.h"
#include "search.h"
#include "ser2net_server.h"
#include "sim/simulator.h"
#include "sim_bench.h"
#include "th_search.h"

namespace zorvat::testing {
namespace {

using namespace std::chrono_literals;
using Mode = Ser2net::Mode;

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class DeviceServer : public ::testing::TestWithParam<Mode> {
  protected:
    void SetUp() override {
        if (!HaveSer2net()) GTEST_SKIP() << "ser2net is not installed";
        bench_.Add("COM1", 1, 0xC3);
        bench_.Add("COM1", 2, 0x51);
        bench_.sim.Start();
        // Through RFC 2217 the server's line starts at a rate the
        // instruments do not use: only the program's own setting makes them
        // answer. A raw server's rate is the one it is configured with.
        const unsigned serverBaud = GetParam() == Mode::Rfc2217 ? 4800 : SimBench::kBaud;
        server_ =
            std::make_unique<Ser2net>(GetParam(), bench_.sim.PtyPath("COM1"), serverBaud, folder_);
        ASSERT_TRUE(server_->Running()) << "ser2net did not start";
        SetPortOverride("COM1", server_->Address(GetParam()));
    }
    void TearDown() override {
        model_.reset();
        ClearPortOverrides();
        server_.reset();
        bench_.Stop();
        std::filesystem::remove_all(folder_);
    }

    static std::string MakeFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zorvat-net-XXXXXX").string();
        return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
    }

    std::string folder_ = MakeFolder();
    SimBench bench_;
    std::unique_ptr<Ser2net> server_;
    RecordingSurfaces ui_;
    std::unique_ptr<TModel> model_ = std::make_unique<TModel>(ui_, MakePortJobs);
};

TEST_P(DeviceServer, SearchReadWriteAndPoll) {
    SearchRange range{1, 1, 1, 3, static_cast<std::int32_t>(SimBench::kBaud)};
    SearchInstruments(*model_, range);
    ASSERT_EQ(model_->DeviceList.Count(), 2u) << ::testing::PrintToString(ui_.ErrorLog());
    EXPECT_EQ(model_->Device(0)->Name, "ZURURU-71/M2");
    EXPECT_EQ(model_->Device(1)->Name, "ZURURU-71/M1");
    EXPECT_EQ(model_->Regulator(0, 1)->Setpoint.load(), 100.0);  // read from the instrument

    if (GetParam() == Mode::Rfc2217) {
        // The program's rate reached the simulator's port through the server.
        const auto requests = bench_.sim.Requests("COM1");
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().lineBaud, SimBench::kBaud);
    }

    TParams& reg = *model_->Regulator(0, 1);
    reg.Setpoint = 250.5;
    reg.Kp = 12.5;
    RegulatorWrite report;
    EXPECT_EQ(WriteRegulatorParams(*model_, 0, 1, false, &report), Outcome::Done);
    EXPECT_DOUBLE_EQ(bench_.sim.Real("COM1", 1, "01DA66"), 250.5);
    EXPECT_DOUBLE_EQ(bench_.sim.Real("COM1", 1, "01DA67"), 12.5);

    bench_.sim.SetRegulatorOn("COM1", 1, 1, true);
    reg.LastPoll = 0.0;
    SetRegOn(*model_, reg, true);
    EXPECT_TRUE(WaitFor([&] { return reg.Serie.Size() >= 2; }, 5000ms))
        << ::testing::PrintToString(ui_.ErrorLog());
}

// The server goes away while the regulator is polled and comes back on the
// same address: polling goes on.
TEST_P(DeviceServer, PollingGoesOnWhenTheServerComesBack) {
    const auto d = AddDevice(*model_, "COM1", 1, 0xC3);
    TParams& reg = *model_->Regulator(d, 1);
    bench_.sim.SetRegulatorOn("COM1", 1, 1, true);
    reg.LastPoll = 0.0;
    SetRegOn(*model_, reg, true);
    ASSERT_TRUE(WaitFor([&] { return reg.Serie.Size() >= 1; }, 5000ms));

    const int port = server_->Port();
    server_.reset();
    ASSERT_TRUE(WaitFor([&] { return !ui_.ErrorLog().empty(); }, 5000ms));
    // The same address again.
    server_ = std::make_unique<Ser2net>(GetParam(), bench_.sim.PtyPath("COM1"),
                                        GetParam() == Mode::Rfc2217 ? 4800 : SimBench::kBaud,
                                        folder_, port);
    ASSERT_TRUE(server_->Running());
    const std::size_t before = reg.Serie.Size();
    EXPECT_TRUE(WaitFor([&] { return reg.Serie.Size() > before; }, 5000ms))
        << ::testing::PrintToString(ui_.ErrorLog());
}

// A server that is not there is a missing port, with the reason.
TEST(DeviceServerAbsent, RefusedAddressIsAMissingPort) {
    for (const char* scheme : {"tcp://", "rfc2217://"}) {
        TExCOM port;
        SetPortOverride("COM1",
                        std::string(scheme) + "127.0.0.1:" + std::to_string(FreeLoopbackPort()));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(port.OpenPort("COM1"), rc::NoSuchPort) << scheme;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
        EXPECT_NE(port.LastSystemError().find("отказал"), std::string::npos)
            << port.LastSystemError();
    }
    ClearPortOverrides();
}

INSTANTIATE_TEST_SUITE_P(Modes, DeviceServer, ::testing::Values(Mode::RawTcp, Mode::Rfc2217),
                         [](const ::testing::TestParamInfo<Mode>& p) {
                             return std::string(p.param == Mode::RawTcp ? "RawTcp" : "Rfc2217");
                         });

}  // namespace
}  // namespace zorvat::testing
