// The records' defaults and the small rules that keep them consistent.
#include <gtest/gtest.h>

#include <thread>

#include "Devices.h"
#include "chart_series.h"
#include "ex_com.h"
#include "model.h"
#include "recording_surfaces.h"
#include "search.h"
#include "serial_transport.h"
#include "th_search.h"

namespace zorvat {
namespace {

TEST(Records, SetInputChannelKeepsTheChannelInRange) {
    const std::pair<int, int> cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {5, 3}, {255, 3}};
    TParams r(0, 1);
    for (const auto& [in, stored] : cases) {
        SetInputChannel(r, static_cast<std::uint8_t>(in));
        EXPECT_EQ(r.InputChannel, stored) << in;
    }
}

TEST(Records, Defaults) {
    TParams r(3, 2);
    EXPECT_EQ(r.DeviceIndex, 3);
    EXPECT_EQ(r.RegNo, 2);
    EXPECT_EQ(r.InputChannel, 1);
    EXPECT_EQ(r.Prog_PointCount, 2);
    EXPECT_TRUE(r.ProgStop);
    EXPECT_TRUE(r.StartPending);
    EXPECT_FALSE(r.ProgThread());
    EXPECT_EQ(r.Serie.Size(), 0u);
    EXPECT_FALSE(r.Serie.Active());
    EXPECT_EQ(r.Serie.XMultiplier(), 1.0);
    EXPECT_EQ(r.Setpoint, 100.0);
    EXPECT_EQ(r.PwmPeriod, 100);
    EXPECT_TRUE(r.KpOn);

    TChnl c(3, 2);
    EXPECT_EQ(c.SEnS, 21);
    EXPECT_EQ(c.GAin, 1.0);
    EXPECT_EQ(c.brdL, -999.0);
    EXPECT_EQ(c.brdH, 9999.0);
    EXPECT_EQ(c.IdPH, 20.0);
    EXPECT_EQ(c.SEnC, 6);
}

TEST(Records, Models) {
    struct Case {
        int code;
        const char* name;
        int regulators;
        int channels;
        int inputs;
    } cases[] = {{0x51, "ZURURU-71/M1", 1, 1, 4}, {0xC3, "ZURURU-71/M2", 2, 3, 3},
                 {0x50, "ZURURU-71/M3", 1, 1, 4}, {0xD1, "ZURURU-71/M4", 2, 3, 4},
                 {0xD3, "RAZIRI-72/M1", 2, 3, 4}, {0xF3, "RAZIRI-72/M2", 2, 3, 5}};
    for (const Case& c : cases) {
        const ModelInfo* m = FindModel(static_cast<std::uint8_t>(c.code));
        ASSERT_NE(m, nullptr) << c.code;
        EXPECT_EQ(m->name, c.name);
        EXPECT_EQ(m->regulators, c.regulators);
        EXPECT_EQ(m->channels, c.channels);
        EXPECT_EQ(DiscreteInputCount(static_cast<std::uint8_t>(c.code)), c.inputs) << c.name;
    }
    EXPECT_EQ(FindModel(0x42), nullptr);
}

TEST(Records, PortSlots) {
    EXPECT_EQ(TPortJobs::SlotOf("COM1"), 1);
    EXPECT_EQ(TPortJobs::SlotOf("COM10"), 10);
    EXPECT_EQ(TPortJobs::SlotOf("COM11"), 0);
    EXPECT_EQ(TPortJobs::SlotOf("LPT1"), 0);
}

TEST(DeviceList, GrowsUntilClearedAndRefusesTheAllIndex) {
    RecordingSurfaces ui;
    TModel model(ui, MakePortJobs);
    for (std::size_t i = 0; i < kMaxDevices; ++i) {
        ASSERT_EQ(model.DeviceList.Append(std::make_unique<TDevice>()), i);
    }
    // 255 means "every instrument": no instrument may have it.
    EXPECT_FALSE(model.DeviceList.Append(std::make_unique<TDevice>()));
    EXPECT_EQ(model.Device(255), nullptr);
    model.ClearDevices();
    EXPECT_TRUE(model.DeviceList.Empty());
    EXPECT_EQ(model.DeviceList.Append(std::make_unique<TDevice>()), 0);
}

// Readers on other threads see only complete entries while the list grows.
TEST(DeviceList, ReadersSeeCompleteEntries) {
    TDeviceList list;
    std::thread reader([&] {
        for (int round = 0; round < 2000; ++round) {
            const std::size_t n = list.Count();
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(list.At(i)->Address, std::to_string(i));
        }
    });
    for (std::size_t i = 0; i < 200; ++i) {
        auto d = std::make_unique<TDevice>();
        d->Address = std::to_string(i);
        list.Append(std::move(d));
    }
    reader.join();
}

TEST(ChartSeries, AppendsAcrossBlocksAndHandsOutOnlyNewPoints) {
    ChartSeries s;
    const std::size_t n = ChartSeries::kBlockSize * 2 + 5;
    for (std::size_t i = 0; i < n; ++i)
        s.Append(static_cast<double>(i), static_cast<double>(i) * 2);
    EXPECT_EQ(s.Size(), n);
    EXPECT_EQ(s.At(ChartSeries::kBlockSize).y, static_cast<double>(ChartSeries::kBlockSize) * 2);
    std::vector<ChartPoint> fresh;
    EXPECT_EQ(s.CopyFrom(n - 3, fresh), n);
    ASSERT_EQ(fresh.size(), 3u);
    EXPECT_EQ(fresh.front().x, static_cast<double>(n - 3));
    s.Clear();
    EXPECT_EQ(s.Size(), 0u);
    EXPECT_EQ(s.At(0).x, 0.0);
}

}  // namespace
// A device the account may not open: the operator hears it once per port
// and run, with what to do, however often the exchanges meet it.
TEST(PortAccess, DeniedDeviceIsToldOncePerPort) {
    class Denied final : public SerialTransport {
      public:
        SysStatus Open(const std::string& device) override {
            SysStatus s;
            s.err = SysErr::AccessDenied;
            s.detail =
                "нет прав доступа к " + device + ": добавьте учётную запись в группу dialout";
            return s;
        }
        SysStatus Close() override { return {}; }
        bool IsOpen() const override { return false; }
        ConfigStatus ApplyLine(std::uint32_t) override { return {}; }
        ConfigStatus ApplyReadTimeout(std::uint32_t) override { return {}; }
        SysStatus ClearBreakAndPurge() override { return {}; }
        SysStatus DiscardInput() override { return {}; }
        SysStatus Write(const std::uint8_t*, std::size_t, std::size_t& written) override {
            written = 0;
            return {};
        }
        ReadOutcome ReadByte(std::uint8_t&, SysStatus&) override { return ReadOutcome::Timeout; }
    };
    RecordingSurfaces surfaces;
    TModel model(surfaces, MakePortJobs);
    model.SetPortFactory([] { return std::make_unique<TExCOM>(std::make_unique<Denied>()); });
    for (int i = 0; i < 2; ++i) {
        SearchRange range{1, 2, 1, 1, 9600};
        SearchInstruments(model, range);
    }
    std::vector<std::string> told;
    for (const std::string& e : surfaces.Events())
        if (e.rfind("access denied", 0) == 0) told.push_back(e);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find("access denied: COM1: "), std::string::npos) << told[0];
    EXPECT_NE(told[0].find("dialout"), std::string::npos) << told[0];
    EXPECT_NE(told[1].find("access denied: COM2: "), std::string::npos) << told[1];
}

}  // namespace zorvat
