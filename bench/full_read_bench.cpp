// How close the full read of one instrument (40 parameters, with its port
// object, hand-over and record updates) comes to what the line allows.
//
// For each baud rate the read runs several times against the simulator
// through a pseudo-terminal. The limit is, over the requests the simulator
// saw, (request bytes + reply bytes) x 10 / baud plus its turnaround: what
// the wire and the instrument take anyway. The median ratio must stay at or
// below 1.05 on the pseudo-terminal, and at or below 1.10 through ser2net on
// the loopback address (raw TCP and RFC 2217), when ser2net is installed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model.h"
#include "port_map.h"
#include "regulator_exchange.h"
#include "ser2net_server.h"
#include "sim/simulator.h"
#include "th_search.h"

namespace {

using namespace zorvat;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr auto kTurnaround = std::chrono::milliseconds(10);
constexpr double kLimit = 1.05;
constexpr double kNetworkLimit = 1.10;
constexpr int kRuns = 5;

// The window is not there: reports go nowhere.
class QuietSurfaces : public TSurfaces {
  public:
    void AddErrorLine(const std::string& line) override { lastLine = line; }
    void AddErrorLineCapped(const std::string& line, std::size_t) override { lastLine = line; }
    void SetStatus(const std::string&) override {}
    std::string Status() const override { return {}; }
    void SetProgress(int) override {}
    void SetProjectChanged(bool) override {}
    void SetRegulatorValue(RegulatorRef, const std::string&) override {}
    void SetRegulatorChecked(RegulatorRef, bool) override {}

    std::string lastLine;
};

struct Run {
    double measured = 0;
    double limit = 0;
    std::size_t transactions = 0;
    double ratio() const { return measured / limit; }
};

}  // namespace

int main() {
    sim::Simulator sim;
    sim.AddPort("COM1");
    sim.AddInstrument("COM1", 1, 0xC3);
    sim.SetTurnaround(kTurnaround);
    sim.SetSpeed(0);
    sim.RegisterPortMap();
    sim.Start();

    QuietSurfaces surfaces;
    TModel model(surfaces, MakePortJobs);
    {
        auto device = std::make_unique<TDevice>();
        device->Name = "ZURURU-71/M2";
        device->Present = true;
        device->ParentPort = "COM1";
        device->Address = "1";
        device->Regs[1] = std::make_unique<TParams>(0, 1);
        device->Regs[2] = std::make_unique<TParams>(0, 2);
        model.DeviceList.Append(std::move(device));
    }

    std::printf(
        "ReadInstrumentParams of one instrument against the line's limit (request + reply bytes "
        "x 10 / baud + %lld ms turnaround per transaction), median of %d runs\n",
        static_cast<long long>(kTurnaround.count()), kRuns);
    std::printf("%-17s %-7s %6s %12s %12s %8s\n", "path", "baud", "trans", "measured ms",
                "limit ms", "ratio");
    struct Path {
        const char* name;
        bool network;
        testing::Ser2net::Mode mode;
    };
    const Path paths[] = {{"pseudo-terminal", false, testing::Ser2net::Mode::RawTcp},
                          {"ser2net tcp", true, testing::Ser2net::Mode::RawTcp},
                          {"ser2net rfc2217", true, testing::Ser2net::Mode::Rfc2217}};
    const bool haveSer2net = testing::HaveSer2net();
    char folderPattern[] = "/tmp/zorvat-bench-XXXXXX";
    const std::string folder = ::mkdtemp(folderPattern) != nullptr ? folderPattern : "/tmp";
    bool ok = true;
    for (const Path& path : paths) {
        if (path.network && !haveSer2net) {
            std::printf("%-17s not measured: ser2net is not installed\n", path.name);
            continue;
        }
        const double limit = path.network ? kNetworkLimit : kLimit;
        for (unsigned baud : {9600u, 19200u}) {
            sim.SetPortBaud("COM1", baud);
            model.Device(0)->Baudrate = static_cast<std::int32_t>(baud);
            std::unique_ptr<testing::Ser2net> server;
            if (path.network) {
                server = std::make_unique<testing::Ser2net>(path.mode, sim.PtyPath("COM1"), baud,
                                                            folder);
                if (!server->Running()) {
                    std::fprintf(stderr, "ser2net did not start\n");
                    return 1;
                }
                SetPortOverride("COM1", server->Address(path.mode));
            } else {
                SetPortOverride("COM1", sim.DevicePath("COM1"));
            }
            std::vector<Run> runs;
            for (int i = 0; i < kRuns; ++i) {
                sim.ClearRequests("COM1");
                surfaces.lastLine.clear();
                const auto start = Clock::now();
                ReadInstrumentParams(model, 0);
                Run run;
                run.measured = Seconds(Clock::now() - start).count();
                if (surfaces.lastLine != "Чтение параметров успешно завершено.") {
                    std::fprintf(stderr, "the read failed: %s\n", surfaces.lastLine.c_str());
                    return 1;
                }
                for (const auto& r : sim.Requests("COM1")) {
                    const std::size_t bytes =
                        r.text.size() + 1 + (r.typed ? 1 : 0) + r.reply.size();
                    run.limit +=
                        static_cast<double>(bytes) * 10.0 / baud + Seconds(kTurnaround).count();
                    ++run.transactions;
                }
                runs.push_back(run);
            }
            std::sort(runs.begin(), runs.end(),
                      [](const Run& a, const Run& b) { return a.ratio() < b.ratio(); });
            const Run& median = runs[runs.size() / 2];
            const bool holds = median.ratio() <= limit && median.transactions == 40;
            ok = ok && holds;
            std::printf("%-17s %-7u %6zu %12.2f %12.2f %8.3f %s\n", path.name, baud,
                        median.transactions, median.measured * 1e3, median.limit * 1e3,
                        median.ratio(), holds ? "ok" : (path.network ? "OVER 1.10" : "OVER 1.05"));
        }
    }
    ClearPortOverrides();
    std::filesystem::remove_all(folder);
    sim.Stop();
    std::printf(ok ? "all ratios within their limits\n" : "some ratio above its limit\n");
    return ok ? 0 : 1;
}
