// zorvat-sim: simulated instruments on pseudo-terminals, for the demo bench
// and for trying the program without hardware.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "sim/options.h"
#include "sim/simulator.h"
#include "zorvat_version.h"

namespace {

using zorvat::sim::Clock;

const Clock::time_point gStarted = Clock::now();

std::string Printable(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || u >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

double Seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t - gStarted).count();
}

void PrintRecord(const std::string& port, const zorvat::sim::RequestRecord& r) {
    std::string faults;
    for (const auto& f : r.faults)
        faults += (faults.empty() ? " [" : ", ") + f;
    if (!faults.empty()) faults += "]";
    std::string outcome;
    if (r.vanished) {
        outcome = "port vanished";
    } else if (!r.answered) {
        outcome = "no reply";
    } else {
        outcome = "< " + Printable(r.reply) + (r.replyComplete ? "" : " (cut short)");
    }
    // One fprintf per record keeps the lines of two ports apart.
    std::fprintf(stderr, "[%11.6f] %s %s> %s (%u Bd)\n[%11.6f] %s %s%s\n", Seconds(r.firstByte),
                 port.c_str(), r.typed ? "\\xFF" : "", Printable(r.text).c_str(), r.lineBaud,
                 Seconds(r.answered && r.replyComplete ? r.replyEnd : r.lastByte), port.c_str(),
                 outcome.c_str(), faults.c_str());
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "zorvat-sim: %s\nTry 'zorvat-sim --help'.\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zorvat::sim;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::puts("zorvat-sim " ZORVAT_VERSION);
        return 0;
    }
    SimSetup setup;
    std::string error;
    if (!ParseOptions(args, setup, error)) return Usage(error);
    if (setup.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (setup.ports.empty()) return Usage("no --port given");

    // The signals are taken by sigwait() below; the port threads, started
    // later, inherit the blocked mask and never see them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A consumer that closes our standard output must not kill the ports.
    signal(SIGPIPE, SIG_IGN);

    Simulator sim;
    try {
        ApplySetup(setup, sim);
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "zorvat-sim: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        return Usage(e.what());
    }
    if (setup.verbose) sim.SetTrace(PrintRecord);
    sim.Start();
    for (const auto& name : sim.PortNames()) {
        std::printf("%s=%s\n", name.c_str(), sim.DevicePath(name).c_str());
    }
    std::fflush(stdout);

    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == SIGUSR1) {
            for (const auto& name : sim.PortNames())
                sim.Unplug(name);
            std::fprintf(stderr, "zorvat-sim: every port unplugged\n");
        } else if (signal == SIGUSR2) {
            for (const auto& name : sim.PortNames()) {
                sim.Replug(name);
                std::fprintf(stderr, "zorvat-sim: %s=%s is back (%s)\n", name.c_str(),
                             sim.DevicePath(name).c_str(), sim.PtyPath(name).c_str());
            }
        } else {
            break;
        }
    }
    sim.Stop();
    return 0;
}
