// zorvat-sim-smoke: talks to the simulator the way a host does and checks
// what comes back: answers, silence where a real instrument is silent,
// unplugging, and the pacing of the simulated line.
//
// The first half uses plain termios, so it depends on nothing but the
// simulator; the second goes through the protocol library's port object.
// Exit status 0 when every check passed.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ascii_u.h"
#include "com_u.h"
#include "ex_com.h"
#include "sim/simulator.h"

namespace {

using zorvat::sim::Clock;
using zorvat::sim::Fault;
using zorvat::sim::FaultKind;
using Seconds = std::chrono::duration<double>;

int gFailures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++gFailures;
}

std::string Frame(const std::string& text) {
    return text + std::to_string(zorvat::Crc16Modbus(text.substr(text.find_first_of(":!") + 1))) +
           "\r";
}

speed_t Speed(unsigned baud) {
    return baud == 19200 ? B19200 : B9600;
}

// A host's end of the line: raw 8N1, non-blocking, polled.
class Host {
  public:
    explicit Host(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Host() {
        if (fd_ >= 0) ::close(fd_);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    bool Open() const { return fd_ >= 0; }

    void SetBaud(unsigned baud) const {
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        ::cfsetispeed(&tio, Speed(baud));
        ::cfsetospeed(&tio, Speed(baud));
        ::tcsetattr(fd_, TCSANOW, &tio);
        ::tcflush(fd_, TCIOFLUSH);
    }

    // Writes the frame and reads up to CR; `elapsed` runs from the write to
    // the arrival of the CR. Empty on time-out; "<eof>" when the line is gone.
    std::string Transact(const std::string& frame, int timeoutMs, double* elapsed = nullptr) const {
        const auto start = Clock::now();
        if (::write(fd_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
            return "<write failed>";
        }
        std::string reply;
        const auto deadline = start + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
            char c = 0;
            const ssize_t n = ::read(fd_, &c, 1);
            if (n == 0 || (n < 0 && errno == EIO)) return "<eof>";
            if (n < 0) continue;
            reply += c;
            if (c == '\r') {
                if (elapsed) *elapsed = Seconds(Clock::now() - start).count();
                return reply;
            }
        }
        return reply.empty() ? std::string() : reply + "<timeout>";
    }

  private:
    int fd_;
};

struct PacingResult {
    double meanError = 0.0;  // relative to the expected time
    double worstError = 0.0;
    double expectedMs = 0.0;
    double meanMs = 0.0;
};

PacingResult MeasureRaw(const Host& host, unsigned baud, int runs) {
    const std::string request = Frame(":1;37;01DA66;");
    const std::string reply = Frame("!1;0000C842;");
    const double expected =
        static_cast<double>(request.size() + reply.size()) * 10.0 / baud + 0.010;
    PacingResult r;
    r.expectedMs = expected * 1000.0;
    for (int i = 0; i < runs; ++i) {
        double elapsed = 0.0;
        host.Transact(request, 500, &elapsed);
        const double error = (elapsed - expected) / expected;
        r.meanError += error / runs;
        r.meanMs += elapsed * 1000.0 / runs;
        r.worstError = std::max(r.worstError, std::fabs(error));
    }
    return r;
}

void Report(const char* what, const PacingResult& r, double limit) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "%s: expected %.3f ms, mean %.3f ms, mean error %+.3f %%, worst %.3f %%", what,
                  r.expectedMs, r.meanMs, r.meanError * 100.0, r.worstError * 100.0);
    Check(std::fabs(r.meanError) <= limit, line);
}

}  // namespace

int main() {
    zorvat::sim::Simulator sim;
    const std::string linkDir = sim.UseTemporaryLinkDir();
    sim.AddPort("COM1");
    sim.AddInstrument("COM1", 1, 0xC3);
    sim.AddInstrument("COM1", 2, 0x51);
    sim.SetSpeed(0.0);  // exact values: the process stands still
    sim.Start();
    const std::string path = sim.DevicePath("COM1");
    std::printf("COM1=%s -> %s\n", path.c_str(), sim.PtyPath("COM1").c_str());

    {
        Host host(path);
        Check(host.Open(), "open " + path);
        host.SetBaud(9600);

        const std::string model = host.Transact(":1;37;002007;6295\r", 500);
        Check(model == Frame("!1;C3;"), "model code of address 1: " + model);
        const std::string ident = host.Transact("\xFF:1;0;50730\r", 500);
        Check(ident == "!1;41;27969\r", "typed identification: " + ident);
        const std::string version = host.Transact(Frame(":1;198;"), 500);
        Check(version == Frame("!1;20;"), "version: " + version);
        Check(host.Transact(Frame(":2;37;002007;"), 500) == Frame("!2;51;"), "model of address 2");
        Check(host.Transact(Frame(":3;37;002007;"), 150).empty(), "nobody at address 3");
        Check(host.Transact(":1;37;002007;6296\r", 150).empty(), "bad checksum ignored");
        Check(host.Transact(Frame(":1;37;ABCDEF;"), 500) == Frame("!1;$16;"), "unknown parameter");
        Check(host.Transact(Frame(":1;38;01DA66;12;"), 500) == Frame("!1;$17;"), "wrong form");
        Check(host.Transact(Frame(":1;38;01DA65;1;"), 500) == Frame("!1;$0;"), "switch on");
        const std::string status = host.Transact(Frame(":1;37;0000FF;"), 500);
        const std::string block = status.substr(3, status.find(';', 3) - 3);
        Check(block.size() == 42 && block.substr(8, 2) == "01" &&
                  status == Frame("!1;" + block + ";"),
              "status block with regulator 1 on: " + block);

        sim.AddFault("COM1", 1, Fault(FaultKind::Silent).Times(1));
        Check(host.Transact(Frame(":1;37;002007;"), 150).empty(), "silent once");
        Check(host.Transact(Frame(":1;37;002007;"), 500) == Frame("!1;C3;"), "then answers");

        host.SetBaud(19200);
        Check(host.Transact(Frame(":1;37;002007;"), 150).empty(), "silent at the wrong baud");

        const auto log = sim.Requests("COM1");
        Check(log.size() >= 2 && log[0].text == ":1;37;002007;6295" && !log[0].typed &&
                  log[1].typed && log[1].text == ":1;0;50730",
              "request log holds the decoded frames");

        for (const unsigned baud : {9600u, 19200u}) {
            sim.SetPortBaud("COM1", baud);
            host.SetBaud(baud);
            sim.ClearRequests("COM1");
            Report(baud == 9600 ? "pacing, host side, 9600" : "pacing, host side, 19200",
                   MeasureRaw(host, baud, 40), 0.01);
            // The simulator's own view: first request byte in, last reply byte out.
            PacingResult own;
            const auto records = sim.Requests("COM1");
            for (const auto& r : records) {
                const double expected =
                    static_cast<double>(r.text.size() + 1 + r.reply.size()) * 10.0 / baud + 0.010;
                const double error =
                    (Seconds(r.replyEnd - r.firstByte).count() - expected) / expected;
                own.expectedMs = expected * 1000.0;
                own.meanMs += Seconds(r.replyEnd - r.firstByte).count() * 1000.0 /
                              static_cast<double>(records.size());
                own.meanError += error / static_cast<double>(records.size());
                own.worstError = std::max(own.worstError, std::fabs(error));
            }
            Report(baud == 9600 ? "pacing, simulator side, 9600" : "pacing, simulator side, 19200",
                   own, 0.01);
        }

        sim.Unplug("COM1");
        const std::string gone = host.Transact(Frame(":1;37;002007;"), 300);
        Check(gone == "<eof>" || gone == "<write failed>", "unplugged: the line is dead: " + gone);
        Check(::access(path.c_str(), F_OK) != 0, "unplugged: the path is gone");
    }
    sim.Replug("COM1");
    {
        Host host(path);
        host.SetBaud(19200);
        Check(host.Open() && host.Transact(Frame(":1;37;002007;"), 500) == Frame("!1;C3;"),
              "replugged under the same path, now " + sim.PtyPath("COM1"));
    }

    // The same through the protocol library, as the application will do it.
    sim.RegisterPortMap();
    {
        zorvat::TExCOM port;
        port.SetBaudRate(19200);
        Check(port.OpenPort("COM1") == 0, "TExCOM opens COM1 through the port map");
        std::string value;
        const int runs = 40;
        const std::string request = Frame(":1;37;01DA66;");
        const std::string reply = Frame("!1;0000C842;");
        const double expected =
            static_cast<double>(request.size() + reply.size()) * 10.0 / 19200 + 0.010;
        double total = 0.0;
        int ok = 0;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            ok += zorvat::ReadParam(port, "1", "01DA66", value) == 0 && value == "0000C842";
            total += Seconds(Clock::now() - start).count();
        }
        Check(ok == runs, "ReadParam 01DA66 gives 0000C842 every time");
        const double error = (total / runs - expected) / expected;
        char line[160];
        std::snprintf(line, sizeof line,
                      "pacing, TExCOM ReadParam, 19200: expected %.3f ms, mean %.3f ms (%+.2f %%)",
                      expected * 1000.0, total / runs * 1000.0, error * 100.0);
        Check(std::fabs(error) <= 0.05, line);
        port.ClosePort();
    }
    sim.UnregisterPortMap();
    sim.Stop();
    std::printf("%s\n", gFailures == 0 ? "all checks passed" : "SOME CHECKS FAILED");
    return gFailures == 0 ? 0 : 1;
}
