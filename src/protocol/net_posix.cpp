// The network transport on POSIX sockets: a non-blocking TCP connection,
// every wait a poll(), as the serial backend does it.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "net_transport.h"
#include "telnet_codec.h"

namespace zorvat {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The reason a connection failed, for the operator.
std::string ConnectError(int e) {
    switch (e) {
        case ECONNREFUSED:
            return "сервер отказал в соединении (порт закрыт)";
        case EHOSTUNREACH:
        case ENETUNREACH:
            return "узел недоступен";
        case ETIMEDOUT:
            return "сервер не отвечает";
        default:
            return std::strerror(e);
    }
}

SysStatus Fail(SysErr err, int native, std::string detail) {
    SysStatus s;
    s.err = err;
    s.native = native;
    s.detail = std::move(detail);
    return s;
}

class NetTransport final : public SerialTransport {
  public:
    ~NetTransport() override { Close(); }

    SysStatus Open(const std::string& device) override {
        if (fd_ >= 0) Close();
        std::string error;
        const auto parsed = ParseNetworkDevice(device, &error);
        if (!parsed) return Fail(SysErr::NotFound, 0, error);
        device_ = device;
        rfc2217_ = parsed->kind == NetworkDevice::Kind::Rfc2217;

        const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(parsed->port);
        const int gai = ::getaddrinfo(parsed->host.c_str(), service.c_str(), &hints, &found);
        if (gai != 0) {
            return Fail(SysErr::NotFound, gai,
                        "узел " + parsed->host + " не найден: " + ::gai_strerror(gai));
        }
        SysStatus last = Fail(SysErr::NotFound, 0, "нет адресов для " + parsed->host);
        for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
            last = Connect(*a, deadline);
        }
        ::freeaddrinfo(found);
        if (fd_ < 0) return last;

        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Drop();
        decoder_ = telnet::Decoder();
        if (rfc2217_) {
            const SysStatus sent = Send(telnet::Greeting());
            if (!sent.ok()) {
                Close();
                return sent;
            }
        }
        return {};
    }

    SysStatus Close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        lost_ = false;
        return {};
    }

    bool IsOpen() const override { return fd_ >= 0; }

    ConfigStatus ApplyLine(std::uint32_t baud) override {
        ConfigStatus status;
        if (!rfc2217_) return status;  // a raw server runs its line at its own rate
        using telnet::ComPort;
        std::string commands =
            telnet::ComPortCommand(ComPort::SetBaudRate, telnet::BaudValue(baud)) +
            telnet::ComPortCommand(ComPort::SetDataSize, std::string(1, '\x08')) +
            telnet::ComPortCommand(ComPort::SetParity, std::string(1, char{telnet::kParityNone})) +
            telnet::ComPortCommand(ComPort::SetStopSize,
                                   std::string(1, char{telnet::kStopBitsOne})) +
            telnet::ComPortCommand(ComPort::SetControl,
                                   std::string(1, char{telnet::kNoFlowControl})) +
            telnet::ComPortCommand(ComPort::SetControl, std::string(1, char{telnet::kDtrOff})) +
            telnet::ComPortCommand(ComPort::SetControl, std::string(1, char{telnet::kRtsOn}));
        status.status = Send(commands);
        return status;
    }

    ConfigStatus ApplyReadTimeout(std::uint32_t ms) override {
        readTimeoutMs_ = ms;
        return {};
    }

    SysStatus ClearBreakAndPurge() override {
        Drop();
        if (!rfc2217_) return DiscardInput();
        using telnet::ComPort;
        SysStatus status = Send(
            telnet::ComPortCommand(ComPort::SetControl, std::string(1, char{telnet::kBreakOff})) +
            telnet::ComPortCommand(ComPort::PurgeData, std::string(1, char{telnet::kPurgeBoth})));
        if (!status.ok()) return status;
        return DiscardInput();
    }

    SysStatus DiscardInput() override {
        Drop();
        if (fd_ < 0) return NotOpen();
        // Takes what has arrived without waiting; Telnet commands in it are
        // still answered.
        for (;;) {
            const SysStatus got = Receive(0);
            if (!got.ok()) return lost_ ? SysStatus{} : got;
            if (inbox_.empty()) return {};
            Drop();
        }
    }

    SysStatus Write(const std::uint8_t* data, std::size_t size, std::size_t& written) override {
        written = 0;
        if (fd_ < 0 || lost_) return Lost("запись");
        const std::string_view bytes(reinterpret_cast<const char*>(data), size);
        const SysStatus sent = Send(rfc2217_ ? telnet::Escape(bytes) : std::string(bytes));
        if (sent.ok()) written = size;
        return sent;
    }

    ReadOutcome ReadByte(std::uint8_t& byte, SysStatus& error) override {
        if (inbox_.empty()) {
            if (fd_ < 0) {
                error = NotOpen();
                return ReadOutcome::Error;
            }
            if (lost_) {
                // A connection that is gone is a line that stays silent: the
                // exchange ends at its reply deadline, and the next write fails.
                ::poll(nullptr, 0, static_cast<int>(readTimeoutMs_));
                return ReadOutcome::Timeout;
            }
            const SysStatus got = Receive(static_cast<int>(readTimeoutMs_));
            if (!got.ok()) {
                error = got;
                return ReadOutcome::Error;
            }
            if (inbox_.empty()) return ReadOutcome::Timeout;
        }
        byte = static_cast<std::uint8_t>(inbox_[next_]);
        if (++next_ == inbox_.size()) {
            inbox_.clear();
            next_ = 0;
        }
        return ReadOutcome::Byte;
    }

  private:
    void Drop() {
        inbox_.clear();
        next_ = 0;
    }

    SysStatus Connect(const addrinfo& a, Clock::time_point deadline) {
        const int fd =
            ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
        if (fd < 0)
            return Fail(SysErr::Failed, errno, std::string("socket: ") + std::strerror(errno));
        int rc = ::connect(fd, a.ai_addr, a.ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            do {
                rc = ::poll(&p, 1, MsLeft(deadline));
            } while (rc < 0 && errno == EINTR);
            if (rc == 0) {
                ::close(fd);
                return Fail(SysErr::NotFound, ETIMEDOUT,
                            device_ + ": сервер не ответил за " +
                                std::to_string(kConnectTimeoutMs / 1000) + " с");
            }
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            rc = err == 0 ? 0 : -1;
            errno = err;
        }
        if (rc != 0) {
            const int e = errno;
            ::close(fd);
            return Fail(SysErr::NotFound, e, device_ + ": " + ConnectError(e));
        }
        fd_ = fd;
        return {};
    }

    SysStatus NotOpen() const {
        return Fail(SysErr::Failed, EBADF, device_ + ": соединение не открыто");
    }

    SysStatus Lost(const char* action) const {
        return Fail(SysErr::Failed, ECONNRESET,
                    std::string(action) + " " + device_ + ": соединение с сервером потеряно");
    }

    // Sends all of `bytes`, waiting at most a second for room.
    SysStatus Send(const std::string& bytes) {
        std::size_t done = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, MsLeft(deadline)) > 0) continue;
                return Fail(SysErr::Failed, ETIMEDOUT,
                            "запись " + device_ + ": сервер не принимает данные");
            }
            lost_ = true;
            return Lost("запись");
        }
        return {};
    }

    // Waits at most `ms` for bytes and decodes what came into inbox_.
    SysStatus Receive(int ms) {
        pollfd p{fd_, POLLIN, 0};
        int rc;
        do {
            rc = ::poll(&p, 1, ms);
        } while (rc < 0 && errno == EINTR);
        if (rc < 0)
            return Fail(SysErr::Failed, errno, "чтение " + device_ + ": " + std::strerror(errno));
        if (rc == 0) return {};
        char buffer[512];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return {};
        if (n <= 0) {
            lost_ = true;
            return {};
        }
        const std::string_view got(buffer, static_cast<std::size_t>(n));
        if (!rfc2217_) {
            inbox_.append(got);
            return {};
        }
        std::string answer;
        decoder_.Feed(got, inbox_, answer);
        if (!answer.empty()) return Send(answer);
        return {};
    }

    int fd_ = -1;
    bool rfc2217_ = false;
    bool lost_ = false;
    std::string device_;
    std::uint32_t readTimeoutMs_ = 100;
    std::string inbox_;
    std::size_t next_ = 0;
    telnet::Decoder decoder_;
};

}  // namespace

std::unique_ptr<SerialTransport> MakeNetworkTransport() {
    return std::make_unique<NetTransport>();
}

}  // namespace zorvat
