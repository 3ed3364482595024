// The usual search against the fast one over 4 ports x 255 addresses with 3
// instruments on the simulator (pseudo-terminals, paced at the baud rate).
//
//   search_bench [--baud N] [--full]
//
// The usual search gives up on a silent address after its one-second reply
// deadline, so over the whole range it takes over 20 minutes: without
// --full it is timed over 16 addresses of one port and the whole range is
// reckoned from that; with --full it is timed over the whole range. Only the
// probing is timed (it ends where the read of the instruments found begins,
// which both searches do alike). The fast search must be at least 20 times
// quicker and find the same instruments.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model.h"
#include "search.h"
#include "sim/simulator.h"
#include "th_search.h"

namespace {

using namespace zorvat;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr double kTarget = 20.0;

class ProbeClock : public TQuietSurfaces {
  public:
    void SetStatus(const std::string& text) override {
        if (text == "Идёт чтение параметров приборов...") probed = Clock::now();
    }
    std::string Status() const override { return {}; }
    Clock::time_point probed;
};

struct Timing {
    double seconds = 0;
    std::vector<std::string> found;
};

Timing Run(const SearchRange& given) {
    ProbeClock surfaces;
    TModel model(surfaces, MakePortJobs);
    SearchRange range = given;
    const auto start = Clock::now();
    SearchInstruments(model, range);
    Timing t;
    t.seconds = Seconds(surfaces.probed - start).count();
    for (std::size_t d = 0; d < model.DeviceList.Count(); ++d) {
        const TDevice& device = *model.Device(d);
        t.found.push_back(device.ParentPort + ":" + device.Address);
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned baud = 19200;
    bool full = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0) {
            full = true;
        } else if (std::strcmp(argv[i], "--baud") == 0 && i + 1 < argc) {
            baud = static_cast<unsigned>(std::stoul(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: search_bench [--baud N] [--full]\n");
            return 2;
        }
    }

    sim::Simulator sim;
    sim.UseTemporaryLinkDir();
    sim.SetDefaultBaud(baud);
    sim.SetTurnaround(std::chrono::milliseconds(10));
    sim.SetSpeed(0);
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"})
        sim.AddPort(port);
    sim.AddInstrument("COM1", 7, 0xC3);
    sim.AddInstrument("COM2", 200, 0x51);
    sim.AddInstrument("COM4", 255, 0xF3);
    sim.RegisterPortMap();
    sim.Start();

    SearchRange range{1, 4, 1, 255, static_cast<std::int32_t>(baud)};
    range.fast = true;
    std::printf(
        "search of COM1..COM4, addresses 1..255, 3 instruments, %u baud, 10 ms turnaround\n", baud);
    const Timing fast = Run(range);
    std::printf("fast search   %10.1f s  (deadline per address %lld ms)\n", fast.seconds,
                static_cast<long long>(FastProbeDeadline(range.Baudrate, range.marginMs).count()));

    Timing usual;
    range.fast = false;
    if (full) {
        usual = Run(range);
        std::printf("usual search  %10.1f s\n", usual.seconds);
    } else {
        SearchRange sample{1, 1, 1, 16, static_cast<std::int32_t>(baud)};
        const Timing part = Run(sample);
        usual.seconds = part.seconds * (4.0 * 255.0) / 16.0;
        usual.found = fast.found;  // not searched: compared only with --full
        std::printf(
            "usual search  %10.1f s  (reckoned from %.1f s over 16 addresses; --full "
            "times it all)\n",
            usual.seconds, part.seconds);
    }
    sim.Stop();

    const double ratio = usual.seconds / fast.seconds;
    const bool same = usual.found == fast.found;
    const bool ok = ratio >= kTarget && same && fast.found.size() == 3;
    std::printf("fast search %.1f times quicker (target at least %.0f)%s; found %zu instruments\n",
                ratio, kTarget, same ? "" : "; THE SEARCHES FOUND DIFFERENT INSTRUMENTS",
                fast.found.size());
    std::printf(ok ? "holds\n" : "DOES NOT HOLD\n");
    return ok ? 0 : 1;
}
