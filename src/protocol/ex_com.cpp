#include "ex_com.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "ascii_u.h"
#include "line_stats.h"
#include "net_transport.h"
#include "port_map.h"

namespace zorvat {

namespace {
using Clock = std::chrono::steady_clock;
// Both the wait for "!" and the wait for the closing CR are one second long;
// a read call may overrun them by one time-out period.
constexpr auto kReplyDeadline = std::chrono::seconds(1);
}  // namespace

TExCOM::TExCOM() : transport_(MakeSystemTransport()), fixedTransport_(false) {}

TExCOM::TExCOM(std::unique_ptr<SerialTransport> transport)
    : transport_(std::move(transport)), fixedTransport_(true) {}

TExCOM::~TExCOM() {
    EndOpenExchange();
    if (open_) transport_->Close();
}

void TExCOM::EndExchange(TResult code) {
    if (!exchangeOpen_) return;
    exchangeOpen_ = false;
    std::optional<double> roundTrip;
    if (replied_) roundTrip = std::chrono::duration<double>(replyEnd_ - exchangeStart_).count();
    CountExchange(portName_, code, roundTrip);
}

void TExCOM::EndOpenExchange() {
    EndExchange(readResult_);
}

std::uint32_t TExCOM::LineSpeed(std::uint16_t rate) {
    switch (rate / 100) {
        case 3:
            return 300;
        case 6:
            return 600;
        case 12:
            return 1200;
        case 24:
            return 2400;
        case 48:
            return 4800;
        case 96:
            return 9600;
        case 192:
            return 19200;
        default:
            return 0;
    }
}

bool TExCOM::IsValidPortName(std::string_view name) {
    return PortNumber(name).has_value();
}

void TExCOM::Remember(const SysStatus& status) {
    lastSystemError_ = status.detail;
    lastErrorKind_ = status.err;
}

TResult TExCOM::SetBaudRate(std::uint16_t rate) {
    if (LineSpeed(rate) == 0) return rc::BadArgument;
    baudRate_ = rate;
    if (!open_) return rc::Ok;
    return ApplyBaudRate();
}

TResult TExCOM::ApplyBaudRate() {
    const ConfigStatus status = transport_->ApplyLine(LineSpeed(baudRate_));
    if (status.ok()) return rc::Ok;
    Remember(status.status);
    return status.stage == ConfigStatus::Query ? rc::GetSettingsFailed : rc::SetSettingsFailed;
}

TResult TExCOM::SetTimeout(std::uint16_t ms) {
    replyTimeout_ = ms;
    if (!open_) return rc::Ok;
    return ApplyTimeout();
}

void TExCOM::SetReplyDeadline(std::chrono::milliseconds deadline) {
    deadline_ = deadline.count() > 0 ? deadline : std::chrono::milliseconds(0);
    if (open_) ApplyTimeout();
}

TResult TExCOM::ApplyTimeout() {
    std::uint32_t ms = replyTimeout_;
    if (deadline_.count() > 0)
        ms = std::min<std::uint32_t>(ms, static_cast<std::uint32_t>(deadline_.count()));
    const ConfigStatus status = transport_->ApplyReadTimeout(ms);
    if (status.ok()) return rc::Ok;
    Remember(status.status);
    return status.stage == ConfigStatus::Query ? rc::GetSettingsFailed : rc::SetSettingsFailed;
}

TResult TExCOM::OpenPort(std::string_view name) {
    if (open_) return rc::AlreadyOpen;
    if (!IsValidPortName(name)) return rc::BadArgument;
    portName_.assign(name);
    device_ = ResolvePort(name).device;
    lastSystemError_.clear();
    lastErrorKind_ = SysErr::Ok;
    // The map may name a tty or a device server on the network.
    if (!fixedTransport_ && IsNetworkDevice(device_) != networkTransport_) {
        networkTransport_ = !networkTransport_;
        transport_ = MakeTransportFor(device_);
    }

    const SysStatus opened = transport_->Open(device_);
    if (!opened.ok()) {
        Remember(opened);
        if (onOpenFailed_) onOpenFailed_(*this);
        switch (opened.err) {
            case SysErr::NotFound:
                return rc::NoSuchPort;
            case SysErr::Busy:
                return rc::PortBusy;
            default:
                return rc::PortUnavailable;
        }
    }
    open_ = true;
    TResult result = ApplyBaudRate();
    if (result == rc::Ok) result = ApplyTimeout();
    if (result == rc::Ok) {
        const SysStatus purged = transport_->ClearBreakAndPurge();
        if (!purged.ok()) {
            Remember(purged);
            result = rc::SetSettingsFailed;
        }
    }
    if (result != rc::Ok) {
        transport_->Close();
        open_ = false;
    }
    return result;
}

TResult TExCOM::ClosePort() {
    EndOpenExchange();
    if (!open_) return rc::CloseFailed;
    const SysStatus status = transport_->Close();
    if (!status.ok()) {
        Remember(status);
        return rc::CloseFailed;
    }
    open_ = false;
    return rc::Ok;
}

TResult TExCOM::WriteFrame(std::string_view frame) {
    if (frame.empty() || frame.size() > 0xFFFF) return rc::BadArgument;
    EndOpenExchange();
    if (!open_) return rc::WriteFailed;
    // The frames carry no request number: a late reply still waiting in the
    // port would pass for the answer to this request.
    SysStatus status = transport_->DiscardInput();
    if (!status.ok()) {
        Remember(status);
        return rc::WriteFailed;
    }
    std::size_t written = 0;
    const auto start = Clock::now();
    status = transport_->Write(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size(),
                               written);
    if (!status.ok() && written == 0) {
        Remember(status);
        return rc::WriteFailed;
    }
    if (written < frame.size()) {
        Remember(status);
        return rc::WriteIncomplete;
    }
    exchangeOpen_ = true;
    replied_ = false;
    readResult_ = rc::NoReply;
    exchangeStart_ = start;
    return rc::Ok;
}

TResult TExCOM::ReadReply(std::string& reply) {
    const TResult result = ReadReplyFrame(reply);
    readResult_ = result;
    if (result == rc::Ok) {
        replied_ = true;
        replyEnd_ = Clock::now();
    } else {
        // Nothing to judge: the exchange ends here.
        EndExchange(result);
    }
    return result;
}

TResult TExCOM::ReadReplyFrame(std::string& reply) {
    reply.clear();
    if (!open_) return rc::ReadFailed;
    std::uint8_t byte = 0;
    SysStatus error;

    // Hunt for "!": bytes before it are line noise.
    bool found = false;
    const Clock::duration wait =
        deadline_.count() > 0 ? Clock::duration(deadline_) : Clock::duration(kReplyDeadline);
    auto deadline = Clock::now() + wait;
    while (Clock::now() < deadline) {
        const ReadOutcome outcome = transport_->ReadByte(byte, error);
        if (outcome == ReadOutcome::Error) {
            Remember(error);
            return rc::ReadFailed;
        }
        if (outcome == ReadOutcome::Byte && byte == '!') {
            found = true;
            break;
        }
    }
    if (!found) return rc::NoReply;

    reply = "!";
    deadline = Clock::now() + wait;
    while (Clock::now() < deadline) {
        const ReadOutcome outcome = transport_->ReadByte(byte, error);
        if (outcome == ReadOutcome::Error) {
            Remember(error);
            return rc::ReadFailed;
        }
        if (outcome == ReadOutcome::Timeout) continue;
        reply += static_cast<char>(byte);
        if (reply.size() > kMaxReplyLength) return rc::NoReply;
        if (byte == static_cast<std::uint8_t>(kCR)) break;
    }
    // Without its CR the frame codec rejects the reply (-16).
    return rc::Ok;
}

TResult WriteFrame(TExCOM* port, const char* frame) {
    if (port == nullptr) return rc::NullPort;
    if (frame == nullptr) return rc::BadArgument;
    return port->WriteFrame(std::string_view(frame));
}

TResult ReadReply(TExCOM* port, char* buffer, std::size_t size) {
    if (port == nullptr) return rc::NullPort;
    std::string reply;
    const TResult result = port->ReadReply(reply);
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min(reply.size(), size - 1);
        std::memcpy(buffer, reply.data(), n);
        buffer[n] = '\0';
    }
    return result;
}

}  // namespace zorvat
