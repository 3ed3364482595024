// POSIX serial backend: termios, raw 8N1, no flow control.
//
// The descriptor is non-blocking and every wait is a poll(): a read call
// returns as soon as a byte is there (VMIN/VTIME would add up to 100 ms).
// Received bytes are buffered here and handed out one at a time.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "serial_transport.h"

namespace zorvat {

namespace {

// errno to the transport's error kinds, with a text the operator can act on.
// This is the one place where system errors are translated.
SysStatus FromErrno(int e, const char* action, const std::string& device) {
    SysStatus s;
    s.native = e;
    switch (e) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            s.err = SysErr::NotFound;
            s.detail = "устройство " + device + " не найдено";
            return s;
        case EBUSY:
        case EWOULDBLOCK:
            s.err = SysErr::Busy;
            s.detail = "устройство " + device + " уже открыто другой программой";
            return s;
        case EACCES:
        case EPERM:
            s.err = SysErr::AccessDenied;
            s.detail = "нет прав доступа к " + device +
                       ": добавьте учётную запись в группу dialout (sudo usermod -aG dialout "
                       "$USER) и войдите в систему заново";
            return s;
        default:
            s.err = SysErr::Failed;
            s.detail = std::string(action) + " " + device + ": " + std::strerror(e);
            return s;
    }
}

speed_t SpeedConstant(std::uint32_t baud) {
    switch (baud) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        default:
            return B0;
    }
}

// Modem-line and break ioctls do not exist on every device (pseudo-terminals
// have none); their absence is not a fault of the port.
bool Unsupported(int e) {
    return e == ENOTTY || e == EINVAL || e == ENOSYS || e == EOPNOTSUPP;
}

class PosixTransport final : public SerialTransport {
  public:
    ~PosixTransport() override {
        if (fd_ >= 0) Close();
    }

    SysStatus Open(const std::string& device) override {
        device_ = device;
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return FromErrno(errno, "открытие", device);
        // TIOCEXCL does not stop root; the advisory lock does, for every
        // program that locks the port as we do.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            ::close(fd);
            return FromErrno(e == EWOULDBLOCK ? EBUSY : e, "блокировка", device);
        }
        if (::ioctl(fd, TIOCEXCL) != 0 && !Unsupported(errno)) {
            const int e = errno;
            ::close(fd);
            return FromErrno(e, "монопольный доступ к", device);
        }
        fd_ = fd;
        pending_ = 0;
        next_ = 0;
        return {};
    }

    SysStatus Close() override {
        if (fd_ < 0) return FromErrno(EBADF, "закрытие", device_);
        // Leave the device shareable again: a program that keeps it open (the
        // simulator does) would otherwise lock out every other account.
        ::ioctl(fd_, TIOCNXCL);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) return FromErrno(errno, "закрытие", device_);
        return {};
    }

    bool IsOpen() const override { return fd_ >= 0; }

    ConfigStatus ApplyLine(std::uint32_t baud) override {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) {
            return {ConfigStatus::Query, FromErrno(errno, "чтение настроек", device_)};
        }
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK |
                                              BRKINT | PARMRK);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        const speed_t speed = SpeedConstant(baud);
        if (speed == B0 || ::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) {
            return {ConfigStatus::Apply, FromErrno(EINVAL, "скорость", device_)};
        }
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
            return {ConfigStatus::Apply, FromErrno(errno, "запись настроек", device_)};
        }
        // DTR off, RTS on: RS-485 converters that switch direction by RTS
        // expect it raised while the port is open.
        int dtr = TIOCM_DTR;
        int rts = TIOCM_RTS;
        if (::ioctl(fd_, TIOCMBIC, &dtr) != 0 && !Unsupported(errno)) {
            return {ConfigStatus::Apply, FromErrno(errno, "линия DTR", device_)};
        }
        if (::ioctl(fd_, TIOCMBIS, &rts) != 0 && !Unsupported(errno)) {
            return {ConfigStatus::Apply, FromErrno(errno, "линия RTS", device_)};
        }
        return {};
    }

    ConfigStatus ApplyReadTimeout(std::uint32_t ms) override {
        if (::fcntl(fd_, F_GETFL) < 0) {
            return {ConfigStatus::Query, FromErrno(errno, "чтение настроек", device_)};
        }
        timeoutMs_ = ms;
        return {};
    }

    SysStatus ClearBreakAndPurge() override {
        if (::ioctl(fd_, TIOCCBRK) != 0 && !Unsupported(errno)) {
            return FromErrno(errno, "сброс BREAK", device_);
        }
        if (::tcflush(fd_, TCIOFLUSH) != 0) return FromErrno(errno, "очистка буферов", device_);
        pending_ = next_ = 0;
        return {};
    }

    SysStatus DiscardInput() override {
        pending_ = next_ = 0;
        if (::tcflush(fd_, TCIFLUSH) != 0) return FromErrno(errno, "очистка приёма", device_);
        return {};
    }

    SysStatus Write(const std::uint8_t* data, std::size_t size, std::size_t& written) override {
        written = 0;
        // A frame of 255 bytes takes 8.5 s at 300 baud; no line needs longer.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (written < size) {
            const ssize_t n = ::write(fd_, data + written, size - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return FromErrno(errno, "передача в", device_);
            if (std::chrono::steady_clock::now() >= deadline) {
                return FromErrno(ETIMEDOUT, "передача в", device_);
            }
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 100) < 0 && errno != EINTR) {
                return FromErrno(errno, "передача в", device_);
            }
        }
        // The reply deadline starts once the request has left the wire.
        if (::tcdrain(fd_) != 0 && errno != EINTR && !Unsupported(errno)) {
            return FromErrno(errno, "передача в", device_);
        }
        return {};
    }

    ReadOutcome ReadByte(std::uint8_t& byte, SysStatus& error) override {
        if (next_ < pending_) {
            byte = buffer_[next_++];
            return ReadOutcome::Byte;
        }
        using Clock = std::chrono::steady_clock;
        const auto deadline =
            Clock::now() + std::chrono::milliseconds(timeoutMs_ == 0 ? 1 : timeoutMs_);
        for (;;) {
            // Rounded up: a read call never returns before its time-out.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
            if (ready < 0) {
                if (errno == EINTR) continue;
                error = FromErrno(errno, "приём из", device_);
                return ReadOutcome::Error;
            }
            if (ready == 0) return ReadOutcome::Timeout;
            const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
            if (n > 0) {
                pending_ = static_cast<std::size_t>(n);
                next_ = 1;
                byte = buffer_[0];
                return ReadOutcome::Byte;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                if (Clock::now() >= deadline) return ReadOutcome::Timeout;
                continue;
            }
            // End of file on a serial device: the adapter is gone.
            error = FromErrno(n == 0 ? EIO : errno, "приём из", device_);
            return ReadOutcome::Error;
        }
    }

  private:
    int fd_ = -1;
    std::string device_;
    std::uint32_t timeoutMs_ = 1000;
    std::uint8_t buffer_[256] = {};
    std::size_t pending_ = 0;
    std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<SerialTransport> MakeSystemTransport() {
    return std::make_unique<PosixTransport>();
}

}  // namespace zorvat
