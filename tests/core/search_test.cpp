// The instrument search and the link check against simulated instruments on
// pseudo-terminals.
#include "search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model.h"
#include "port_map.h"
#include "recording_surfaces.h"
#include "sim/simulator.h"
#include "th_search.h"

namespace zorvat {
namespace {

using namespace std::chrono_literals;
using sim::Fault;
using sim::FaultKind;

const char* const kReadDone = "Чтение параметров успешно завершено.";
const char* const kReadingStatus = "status: Идёт чтение параметров приборов...";

class Search : public ::testing::Test {
  protected:
    void SetUp() override {
        // A port without a simulated line must not reach a real device.
        for (int n = 1; n <= 10; ++n) {
            SetPortOverride("COM" + std::to_string(n),
                            "/nonexistent/zorvat-COM" + std::to_string(n));
        }
        sim_.UseTemporaryLinkDir();
        sim_.SetDefaultBaud(19200);
        sim_.SetTurnaround(1ms);
        sim_.SetSpeed(0);
        sim_.SetTrace([this](const std::string& port, const sim::RequestRecord& record) {
            std::lock_guard lock(traceMu_);
            if (onRequest_) onRequest_(port, record);
        });
    }
    void TearDown() override {
        model_.reset();
        sim_.Stop();
        ClearPortOverrides();
    }

    void Start() {
        sim_.RegisterPortMap();
        sim_.Start();
    }
    void OnRequest(std::function<void(const std::string&, const sim::RequestRecord&)> fn) {
        std::lock_guard lock(traceMu_);
        onRequest_ = std::move(fn);
    }

    // The requests a port saw for one bus address.
    std::vector<std::string> RequestsTo(const std::string& port, int address) const {
        const std::string prefix = ":" + std::to_string(address) + ";";
        std::vector<std::string> texts;
        for (const std::string& t : sim_.RequestTexts(port)) {
            if (t.rfind(prefix, 0) == 0) texts.push_back(t);
        }
        return texts;
    }

    // The progress values the probing set, before the read of all instruments.
    std::vector<int> ProbeProgress() const {
        std::vector<int> values;
        for (const std::string& e : surfaces_.Events()) {
            if (e == kReadingStatus) break;
            if (e.rfind("progress: ", 0) == 0) values.push_back(std::stoi(e.substr(10)));
        }
        return values;
    }

    bool HasEvent(const std::string& event) const {
        const auto events = surfaces_.Events();
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    sim::Simulator sim_;
    RecordingSurfaces surfaces_;
    std::unique_ptr<TModel> model_ = std::make_unique<TModel>(surfaces_, MakePortJobs);
    std::mutex traceMu_;
    std::function<void(const std::string&, const sim::RequestRecord&)> onRequest_;
};

TEST_F(Search, FindsInstrumentsOfSeveralModelsOnTwoPorts) {
    sim_.AddPort("COM1");
    sim_.AddInstrument("COM1", 1, 0xC3);
    sim_.AddInstrument("COM1", 2, 0x51);
    sim_.SetIdentCode("COM1", 2, "55");
    sim_.AddInstrument("COM1", 3, 0xD3);
    sim_.SetVersion("COM1", 3, 51);
    // COM1 address 4 is silent; COM2 does not open.
    sim_.AddPort("COM3");
    sim_.AddInstrument("COM3", 1, 0xF3);
    sim_.SetIdentCode("COM3", 1, "56");
    sim_.SetVersion("COM3", 1, 50);
    sim_.AddInstrument("COM3", 2, 0x50);
    sim_.SetParam("COM3", 2, "002007", "42", true);
    sim_.AddInstrument("COM3", 3, 0xD1);
    sim_.SetIdentCode("COM3", 3, "42");
    sim_.AddInstrument("COM3", 4, 0xD1);
    sim_.SetIdentCode("COM3", 4, "42");
    sim_.SetRegulatorOn("COM1", 1, 1, true);
    Start();
    surfaces_.SetStatus("Готово");

    SearchRange range{1, 3, 1, 4, 19200};
    SearchInstruments(*model_, range);

    EXPECT_EQ(surfaces_.Tree(), (std::vector<std::string>{
                                    "Порт COM1",
                                    "  Прибор: ZURURU-71/M2(1) [0]",
                                    "    Регулятор 1",
                                    "    Регулятор 2",
                                    "  Прибор: ZURURU-71/M1(2) [1]",
                                    "    Регулятор 1",
                                    "Порт COM3",
                                    "  Прибор: RAZIRI-72/M2(1) [2]",
                                    "    Регулятор 1",
                                    "    Регулятор 2",
                                }));
    EXPECT_EQ(surfaces_.ErrorLogWithoutTime(),
              (std::vector<std::string>{
                  "Внимание! На порте COM1 найдена более поздняя модель прибора не способная "
                  "работать с данной программой.",
                  "Обратитесь в НПП \"Велтарис\" за новой версией программы.",
                  " Прибор на порте COM3 с адресом 2 сообщил неизвестный код модели 42; он "
                  "пропущен.",
                  kReadDone,
              }));

    struct Expected {
        const char* port;
        const char* address;
        const char* name;
        std::uint8_t modelCode;
        std::uint8_t version;
        bool secondRegulator;
        int channels;
    } expected[] = {
        {"COM1", "1", "ZURURU-71/M2", 0xC3, 20, true, 3},
        {"COM1", "2", "ZURURU-71/M1", 0x51, 20, false, 1},
        {"COM3", "1", "RAZIRI-72/M2", 0xF3, 50, true, 3},
        // Unknown model: kept, nameless, no channels, both regulators.
        {"COM3", "2", "", 0x42, 20, true, 0},
    };
    ASSERT_EQ(model_->DeviceList.Count(), std::size(expected));
    for (std::size_t d = 0; d < std::size(expected); ++d) {
        const Expected& e = expected[d];
        const TDevice& device = *model_->Device(d);
        SCOPED_TRACE(d);
        EXPECT_EQ(device.ParentPort, e.port);
        EXPECT_EQ(device.Address, e.address);
        EXPECT_EQ(device.Name, e.name);
        EXPECT_EQ(device.ModelCode, e.modelCode);
        EXPECT_EQ(device.POversion, e.version);
        EXPECT_EQ(device.Baudrate, 19200);
        EXPECT_TRUE(device.Present);
        EXPECT_EQ(device.Regs[2]->Present, e.secondRegulator);
        for (std::uint8_t r = 1; r <= 2; ++r) {
            EXPECT_EQ(device.Regs[r]->DeviceIndex, d);
            EXPECT_EQ(device.Regs[r]->RegNo, r);
        }
        for (int c = 1; c <= 3; ++c) {
            const TChnl* channel = device.Chnls[static_cast<std::size_t>(c)].get();
            ASSERT_EQ(channel != nullptr, c <= e.channels) << c;
            if (channel != nullptr) {
                EXPECT_EQ(channel->DeviceIndex, d);
                EXPECT_EQ(channel->ChnlNo, c);
            }
        }
    }

    // The newer model is neither read nor added; the silent address and the
    // foreign identification cost one request each.
    EXPECT_EQ(RequestsTo("COM1", 3).size(), 2u);  // identification, version
    EXPECT_EQ(RequestsTo("COM1", 4).size(), 1u);
    EXPECT_EQ(RequestsTo("COM3", 3).size(), 1u);

    EXPECT_TRUE(model_->Device(0)->Regs[1]->RegOn);
    EXPECT_TRUE(HasEvent("check 0/1"));
    EXPECT_TRUE(HasEvent("uncheck 0/2"));
    EXPECT_TRUE(HasEvent("uncheck 1/1"));
    for (const std::string& e : surfaces_.Events()) {
        // No line in the tree for them.
        EXPECT_EQ(e.find("check 1/2"), std::string::npos) << e;
        EXPECT_EQ(e.find("check 3/"), std::string::npos) << e;
    }

    EXPECT_TRUE(model_->PortJobs().Has("COM1"));
    EXPECT_TRUE(model_->PortJobs().Has("COM3"));
    EXPECT_EQ(model_->PortJobs().Count(), 2u);
    EXPECT_EQ(surfaces_.FoundMemo(),
              (std::vector<std::string>{"Приборы найдены.", "Все параметры считаны.",
                                        "Сделайте выбор в дереве."}));
    EXPECT_EQ(surfaces_.Status(), "Готово");
    EXPECT_TRUE(surfaces_.ProjectChanged());
    EXPECT_EQ(surfaces_.Events().front(), "status: Готово");
    EXPECT_EQ(surfaces_.Events()[1], "started search");
    EXPECT_TRUE(HasEvent("finished search"));
}

// A range given backwards is corrected where the page shows it, and only
// what the corrected range names is probed.
TEST_F(Search, CorrectsBackwardRanges) {
    sim_.AddPort("COM3");
    sim_.AddInstrument("COM3", 5, 0x51);
    sim_.AddInstrument("COM3", 10, 0xC3);
    Start();

    SearchRange range{3, 1, 10, 5, 19200};
    SearchInstruments(*model_, range);

    EXPECT_EQ(range.COMmin, 3);
    EXPECT_EQ(range.COMmax, 3);
    EXPECT_EQ(range.MinAddr, 10);
    EXPECT_EQ(range.MaxAddr, 10);
    ASSERT_EQ(model_->DeviceList.Count(), 1u);
    EXPECT_EQ(model_->Device(0)->Address, "10");
    EXPECT_TRUE(RequestsTo("COM3", 5).empty());
    EXPECT_EQ(ProbeProgress(), (std::vector<int>{100}));
}

// Every address answers, none of them as the family: the progress runs in
// whole percent to 100 at the last address, and nothing is found.
TEST_F(Search, ProgressAndAFruitlessSearch) {
    for (const char* port : {"COM1", "COM2"}) {
        sim_.AddPort(port);
        for (int address = 5; address <= 7; ++address) {
            sim_.AddInstrument(port, address, 0xC3);
            sim_.SetIdentCode(port, address, "42");
        }
    }
    Start();

    SearchRange range{1, 2, 5, 7, 19200};
    SearchInstruments(*model_, range);

    EXPECT_EQ(ProbeProgress(), (std::vector<int>{17, 33, 50, 67, 83, 100}));
    EXPECT_EQ(surfaces_.Progress().back(), 0);
    EXPECT_TRUE(model_->DeviceList.Empty());
    EXPECT_EQ(surfaces_.Tree(), (std::vector<std::string>{"Порт COM1", "Порт COM2"}));
    EXPECT_TRUE(surfaces_.FoundMemo().empty());
    EXPECT_TRUE(surfaces_.ErrorLog().empty());
    // The window says nothing of them; the command line learns why.
    EXPECT_EQ(surfaces_.LeftOut(),
              (std::vector<std::string>{"COM1 5: -17", "COM1 6: -17", "COM1 7: -17", "COM2 5: -17",
                                        "COM2 6: -17", "COM2 7: -17"}));
    EXPECT_EQ(model_->PortJobs().Count(), 0u);
    EXPECT_TRUE(HasEvent("finished search"));
}

TEST_F(Search, StopFlagEndsTheProbing) {
    sim_.AddPort("COM1");
    sim_.AddInstrument("COM1", 1, 0xC3);
    sim_.AddInstrument("COM1", 3, 0x51);
    sim_.AddPort("COM2");
    sim_.AddInstrument("COM2", 1, 0x51);
    // Pressed while the search waits for the silent address 2.
    OnRequest([this](const std::string& port, const sim::RequestRecord& record) {
        if (port == "COM1" && record.text.rfind(":2;", 0) == 0) model_->StopFlag = true;
    });
    Start();

    SearchRange range{1, 2, 1, 3, 19200};
    SearchInstruments(*model_, range);

    ASSERT_EQ(model_->DeviceList.Count(), 1u);
    EXPECT_TRUE(RequestsTo("COM1", 3).empty());
    EXPECT_TRUE(sim_.RequestTexts("COM2").empty());
    EXPECT_EQ(ProbeProgress(), (std::vector<int>{17, 33, 50}));
    // The read of all instruments still runs and stops at once.
    for (const std::string& t : sim_.RequestTexts("COM1")) {
        EXPECT_EQ(t.find(";37;01"), std::string::npos) << t;
    }
    EXPECT_TRUE(model_->PortJobs().Has("COM1"));
    EXPECT_TRUE(surfaces_.ErrorLog().empty());
    EXPECT_EQ(
        surfaces_.FoundMemo(),
        (std::vector<std::string>{"Приборы найдены.", "!!!Чтение параметров прервано!!!",
                                  "Считайте параметры приборов.", "Сделайте выбор в дереве."}));
    EXPECT_TRUE(HasEvent("finished search (stopped)"));
}

TEST_F(Search, BaudRateThePortRefusesEndsBeforeAnyPort) {
    sim_.AddPort("COM1");
    sim_.AddInstrument("COM1", 1, 0xC3);
    Start();
    surfaces_.SetStatus("Готово");

    SearchRange range{1, 1, 1, 1, 250};  // rate / 100 must be 3, 6, 12, ... 192
    SearchInstruments(*model_, range);

    EXPECT_EQ(surfaces_.ErrorLog(),
              (std::vector<std::string>{"Ошибка!(-2)  Ошибка в параметрах вызываемой функции"}));
    EXPECT_TRUE(sim_.RequestTexts("COM1").empty());
    EXPECT_TRUE(surfaces_.Tree().empty());
    EXPECT_EQ(surfaces_.Status(), "Готово");
    EXPECT_TRUE(HasEvent("finished search"));
}

TEST_F(Search, CheckLinkWritesOneLinePerRun) {
    sim_.AddPort("COM1");
    sim_.AddInstrument("COM1", 1, 0xC3);
    Start();
    SearchRange range{1, 1, 1, 1, 19200};
    SearchInstruments(*model_, range);
    ASSERT_EQ(model_->DeviceList.Count(), 1u);
    ASSERT_TRUE(model_->PortJobs().Has("COM1"));  // the link check takes the port from it

    const std::string notFound =
        "Прибор с такими параметрами не найден.Проверьте подключение и выполните поиск прибора.";
    struct Case {
        std::function<void()> arrange;
        std::string line;
    } cases[] = {
        {[] {}, "Прибор на связи."},
        {[this] { sim_.SetIdentCode("COM1", 1, "56"); }, "Прибор на связи."},
        {[this] { sim_.SetIdentCode("COM1", 1, "42"); }, notFound},
        {[this] {
             sim_.SetIdentCode("COM1", 1, "41");
             sim_.AddFault("COM1", 1, Fault(FaultKind::Silent).Times(1));
         },
         notFound},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        surfaces_.Clear();
        cases[i].arrange();
        CheckLink(*model_, 0);
        EXPECT_EQ(surfaces_.ErrorLog(), std::vector<std::string>{cases[i].line}) << i;
        EXPECT_FALSE(model_->Device(0)->Regs[1]->SwitchReq) << i;
        // The next case asks for the port again at once: the job must
        // acknowledge a new request that comes before it saw the release.
    }
}

// The fast search finds what the usual one finds, reports it in the same
// order, and gives up on a silent address in a fraction of the time.
TEST_F(Search, FastSearchFindsWhatTheUsualOneFinds) {
    sim_.AddPort("COM1");
    sim_.AddInstrument("COM1", 1, 0xC3);
    sim_.AddInstrument("COM1", 3, 0x51);
    sim_.SetParam("COM1", 3, "002007", "42", true);  // a model code the program does not know
    sim_.AddPort("COM2");
    sim_.AddInstrument("COM2", 2, 0xF3);
    sim_.AddInstrument("COM2", 4, 0x51);
    sim_.SetVersion("COM2", 4, 51);  // a newer model
    Start();

    struct Seen {
        std::vector<std::string> tree, leftOut, log;
        std::vector<std::string> devices;
        std::chrono::steady_clock::duration took{};
    };
    // The probing ends where the read of the instruments found begins.
    struct Timed : RecordingSurfaces {
        void SetStatus(const std::string& text) override {
            if (text == "Идёт чтение параметров приборов...")
                probed = std::chrono::steady_clock::now();
            RecordingSurfaces::SetStatus(text);
        }
        std::chrono::steady_clock::time_point probed;
    };
    auto run = [&](bool fast) {
        Timed surfaces;
        TModel model(surfaces, MakePortJobs);
        SearchRange range{1, 3, 1, 4, 19200};
        range.fast = fast;
        const auto start = std::chrono::steady_clock::now();
        SearchInstruments(model, range);
        Seen seen;
        seen.took = surfaces.probed - start;
        seen.tree = surfaces.Tree();
        seen.leftOut = surfaces.LeftOut();
        seen.log = surfaces.ErrorLogWithoutTime();
        for (std::size_t d = 0; d < model.DeviceList.Count(); ++d) {
            const TDevice& device = *model.Device(d);
            seen.devices.push_back(device.ParentPort + ":" + device.Address + " " + device.Name);
        }
        return seen;
    };
    const Seen usual = run(false);
    const Seen fast = run(true);
    EXPECT_EQ(fast.devices, usual.devices);
    EXPECT_EQ(fast.devices,
              (std::vector<std::string>{"COM1:1 ZURURU-71/M2", "COM1:3 ", "COM2:2 RAZIRI-72/M2"}));
    EXPECT_EQ(fast.tree, usual.tree);
    EXPECT_EQ(fast.leftOut, usual.leftOut);
    EXPECT_EQ(fast.log, usual.log);
    // Five silent addresses and a missing port: about six seconds of probing
    // the usual way, a few hundred milliseconds at the same time on both ports.
    EXPECT_LT(fast.took * 5, usual.took);
}

TEST(FastSearch, DeadlineIsTheLineTimePlusTheMargin) {
    EXPECT_EQ(FastProbeDeadline(19200, 50), 72ms);  // 41 characters: 22 ms
    EXPECT_EQ(FastProbeDeadline(9600, 50), 93ms);
    EXPECT_EQ(FastProbeDeadline(300, 0), 1367ms);
    EXPECT_EQ(FastProbeDeadline(9600, -5), 43ms);  // no negative margin
}

}  // namespace
}  // namespace zorvat
