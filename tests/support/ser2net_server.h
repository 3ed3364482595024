// ser2net, the serial device server, on the loopback address in front of a
// simulated port: the network ports' tests and benchmark talk to the real
// thing. Header-only; POSIX.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace zorvat::testing {

// Whether ser2net can be started here.
inline bool HaveSer2net() {
    return std::system("command -v ser2net >/dev/null 2>&1") == 0;
}

// A TCP port on 127.0.0.1 that was free a moment ago.
inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

class Ser2net {
  public:
    enum class Mode { RawTcp, Rfc2217 };

    // Serves `device` (the simulator's pseudo-terminal) on loopback port
    // `port` (a free one when 0), its line at `baud` until a client sets
    // another rate. `folder` takes its configuration and log.
    Ser2net(Mode mode, const std::string& device, unsigned baud, const std::string& folder,
            int port = 0)
        : port_(port != 0 ? port : FreeLoopbackPort()) {
        const std::string config = folder + "/ser2net.yaml";
        std::ofstream(config) << "connection: &line\n"
                              << "  accepter: "
                              << (mode == Mode::Rfc2217 ? "telnet(rfc2217),tcp(nodelay),"
                                                        : "tcp(nodelay),")
                              << "127.0.0.1," << port_ << "\n"
                              << "  connector: serialdev," << device << "," << baud << "n81,local\n"
                              << "  options:\n"
                              << "    kickolduser: true\n"
                              // Each byte is handed on as it comes (by default the
                              // server gathers for a few character times), and
                              // the accepter sends without delay: a device
                              // server is set up so for a polled line.
                              << "    chardelay: false\n";
        const std::string log = folder + "/ser2net.log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::string program = "ser2net";
        std::string noDaemon = "-n";
        std::string noSyslog = "-d";
        std::string configFlag = "-c";
        std::string configPath = config;
        char* argv[] = {program.data(),    noDaemon.data(),   noSyslog.data(),
                        configFlag.data(), configPath.data(), nullptr};
        if (posix_spawnp(&pid_, "ser2net", &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (pid_ > 0 && !WaitUntilListening()) Stop();
    }
    ~Ser2net() { Stop(); }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    bool Running() const { return pid_ > 0; }
    int Port() const { return port_; }
    std::string Address(Mode mode) const {
        return std::string(mode == Mode::Rfc2217 ? "rfc2217://" : "tcp://") +
               "127.0.0.1:" + std::to_string(port_);
    }

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    bool WaitUntilListening() const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<std::uint16_t>(port_));
            const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
            if (up) {
                // ser2net takes a moment to let the probing client go.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    int port_;
    pid_t pid_ = -1;
};

}  // namespace zorvat::testing
