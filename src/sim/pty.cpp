#include "sim/pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace zorvat::sim {

namespace {

constexpr std::array<std::pair<speed_t, unsigned>, 11> kSpeeds{{
    {B300, 300},
    {B600, 600},
    {B1200, 1200},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
}};

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyPair OpenPty() {
    PtyPair pty;
    pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0) Fail("posix_openpt");
    auto cleanup = [&pty] { ClosePty(pty); };
    if (::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0) {
        const int e = errno;
        cleanup();
        errno = e;
        Fail("grantpt/unlockpt");
    }
    char name[128] = {};
    if (::ptsname_r(pty.master, name, sizeof name) != 0) {
        const int e = errno;
        cleanup();
        errno = e;
        Fail("ptsname_r");
    }
    pty.path = name;
    pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (pty.slave < 0 || ::tcgetattr(pty.slave, &tio) != 0) {
        const int e = errno;
        cleanup();
        errno = e;
        Fail("open slave");
    }
    // A fresh terminal echoes and translates CR; until the host sets its
    // own mode, a byte written by either side must pass unchanged.
    ::cfmakeraw(&tio);
    const int flags = ::fcntl(pty.master, F_GETFL);
    if (::tcsetattr(pty.slave, TCSANOW, &tio) != 0 || flags < 0 ||
        ::fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0) {
        const int e = errno;
        cleanup();
        errno = e;
        Fail("configure pty");
    }
    return pty;
}

void ClosePty(PtyPair& pty) {
    if (pty.slave >= 0) ::close(pty.slave);
    if (pty.master >= 0) ::close(pty.master);
    pty.slave = -1;
    pty.master = -1;
}

unsigned LineSpeed(int master) {
    termios tio{};
    if (::tcgetattr(master, &tio) != 0) return 0;
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& [constant, baud] : kSpeeds) {
        if (constant == speed) return baud;
    }
    return 0;
}

bool IsKnownBaud(unsigned baud) {
    for (const auto& entry : kSpeeds) {
        if (entry.second == baud) return true;
    }
    return false;
}

}  // namespace zorvat::sim
