// How close a parameter transaction comes to what the line allows.
//
// For each baud rate: one ReadParam at a time, and 40 in a row (a full read
// of one instrument), against the simulator through a pseudo-terminal. The
// limit is (request bytes + reply bytes) x 10 / baud plus the simulator's
// turnaround: what the wire and the instrument take anyway. The ratio must
// stay at or below 1.05; our own overhead is the rest.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "com_u.h"
#include "ex_com.h"
#include "sim/simulator.h"

namespace {

using namespace zorvat;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr auto kTurnaround = std::chrono::milliseconds(10);
constexpr double kLimit = 1.05;

// The parameters of a full read, in its order.
const std::vector<std::string> kFullRead = {
    "002007", "000001", "000002", "000020", "002006", "000004", "01DA70", "02DA70",
    "01DA64", "02DA64", "01DA79", "02DA79", "01DA66", "02DA66", "01DA67", "02DA67",
    "01DA68", "02DA68", "01DA69", "02DA69", "01DA6A", "02DA6A", "01DA6B", "02DA6B",
    "01DA6E", "02DA6E", "01DA6F", "02DA6F", "01DA65", "02DA65", "01DA71", "02DA71",
    "01DA78", "02DA78", "01DA72", "02DA72", "01DA75", "02DA75", "01DAC7", "02DAC7"};

double WireSeconds(std::size_t bytes, unsigned baud) {
    return static_cast<double>(bytes) * 10.0 / baud;
}

struct Run {
    double measured = 0;
    double limit = 0;
    double ratio() const { return measured / limit; }
};

// Reads `params` in a row; the limit counts the bytes each frame really had.
bool ReadRow(TExCOM& port, sim::Simulator& sim, const std::vector<std::string>& params,
             unsigned baud, Run& run) {
    sim.ClearRequests("COM1");
    std::string value;
    const auto start = Clock::now();
    for (const std::string& p : params) {
        if (ReadParam(port, "1", p, value) != rc::Ok) return false;
    }
    run.measured = Seconds(Clock::now() - start).count();
    run.limit = 0;
    for (const auto& r : sim.Requests("COM1")) {
        const std::size_t bytes = r.text.size() + 1 + (r.typed ? 1 : 0) + r.reply.size();
        run.limit += WireSeconds(bytes, baud) + Seconds(kTurnaround).count();
    }
    return true;
}

}  // namespace

int main() {
    sim::Simulator sim;
    sim.AddPort("COM1");
    sim.AddInstrument("COM1", 1, 0xC3);
    sim.SetTurnaround(kTurnaround);
    sim.RegisterPortMap();
    sim.Start();

    std::printf(
        "ReadParam against the line's limit (request + reply bytes x 10 / baud + %lld ms "
        "turnaround)\n",
        static_cast<long long>(kTurnaround.count()));
    std::printf("%-7s %-14s %12s %12s %8s\n", "baud", "run", "measured ms", "limit ms", "ratio");
    bool ok = true;
    for (unsigned baud : {9600u, 19200u}) {
        sim.SetPortBaud("COM1", baud);
        TExCOM port;
        port.SetBaudRate(static_cast<std::uint16_t>(baud));
        if (port.OpenPort("COM1") != rc::Ok) {
            std::fprintf(stderr, "cannot open the simulated port\n");
            return 1;
        }
        // One transaction at a time: the median of 30.
        std::vector<Run> singles;
        for (int i = 0; i < 30; ++i) {
            Run r;
            if (!ReadRow(port, sim, {"01DA66"}, baud, r)) {
                std::fprintf(stderr, "ReadParam failed\n");
                return 1;
            }
            singles.push_back(r);
        }
        std::sort(singles.begin(), singles.end(),
                  [](const Run& a, const Run& b) { return a.ratio() < b.ratio(); });
        const Run single = singles[singles.size() / 2];
        Run row;
        if (!ReadRow(port, sim, kFullRead, baud, row)) {
            std::fprintf(stderr, "full read failed\n");
            return 1;
        }
        port.ClosePort();
        for (const auto& [name, r] :
             {std::pair{"1 ReadParam", single}, std::pair{"40 in a row", row}}) {
            const bool holds = r.ratio() <= kLimit;
            ok = ok && holds;
            std::printf("%-7u %-14s %12.2f %12.2f %8.3f %s\n", baud, name, r.measured * 1e3,
                        r.limit * 1e3, r.ratio(), holds ? "ok" : "OVER 1.05");
        }
    }
    sim.Stop();
    std::printf(ok ? "all ratios at or below %.2f\n" : "some ratio above %.2f\n", kLimit);
    return ok ? 0 : 1;
}
