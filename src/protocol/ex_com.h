// TExCOM: one serial port as the instruments' protocol needs it.
//
// It keeps the port's name, baud rate and read time-out, opens the port
// exclusively, writes one request frame and reads one reply frame from "!"
// to the carriage return. Building and checking frames is the frame codec's
// business (ascii_u.h), transactions are com_u.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "result_codes.h"
#include "serial_transport.h"

namespace zorvat {

class TExCOM {
  public:
    TExCOM();
    // The port map's device chooses the transport at each OpenPort: a tty,
    // or a device server on the network (tcp://, rfc2217://). Tests bring
    // their own, which is then used whatever the map says.
    explicit TExCOM(std::unique_ptr<SerialTransport> transport);
    // Closes the port if the caller left it open: a descriptor must not leak.
    ~TExCOM();
    TExCOM(const TExCOM&) = delete;
    TExCOM& operator=(const TExCOM&) = delete;

    // 300..19200: the rate / 100 must be 3, 6, 12, 24, 48, 96 or 192, so 9650
    // passes and runs the line at 9600. Applied at once when open.
    TResult SetBaudRate(std::uint16_t rate);
    // Time-out of one read call; applied at once when open.
    TResult SetTimeout(std::uint16_t ms);
    // "COM1".."COM256", resolved through the port map. 0, -2..-8.
    TResult OpenPort(std::string_view name);
    TResult ClosePort();
    // Discards what the port has received and not yet read, then writes the
    // frame: a reply that came after its time-out is never taken for the next one.
    TResult WriteFrame(std::string_view frame);
    // One reply from "!" to CR within the one-second deadlines. 0, -13, -14.
    TResult ReadReply(std::string& reply);
    // The end of the exchange the last WriteFrame began, as the transaction
    // judged the reply (checksum, address, the instrument's answer): counted
    // in the line statistics (line_stats.h). An exchange that no caller
    // ends is counted as its ReadReply ended, by the next WriteFrame, by
    // ClosePort or by the destructor; a second end is ignored.
    void EndExchange(TResult code);
    // Shorter deadlines for both waits of ReadReply (the fast search: the
    // time the line needs for a request and its reply, plus a margin); a
    // read call then waits no longer than the deadline either. Zero puts
    // the one-second deadlines back.
    void SetReplyDeadline(std::chrono::milliseconds deadline);

    bool IsOpen() const { return open_; }
    const std::string& PortName() const { return portName_; }
    std::uint16_t BaudRate() const { return baudRate_; }
    std::uint16_t ReplyTimeout() const { return replyTimeout_; }
    // The device the port map gave for PortName at the last OpenPort.
    const std::string& DevicePath() const { return device_; }
    // What the operating system said at the last failure, for the operator
    // (for example that the account lacks access to the device).
    const std::string& LastSystemError() const { return lastSystemError_; }
    // The kind of that failure (SysErr::Ok when the system said nothing).
    SysErr LastSystemErrorKind() const { return lastErrorKind_; }
    // Called when OpenPort fails for a reason the system gave (the device is
    // missing, busy or not accessible): the model tells the operator once.
    void OnOpenFailed(std::function<void(const TExCOM&)> hook) { onOpenFailed_ = std::move(hook); }

    // The line speed a rate is applied as: 9650 -> 9600; 0 when refused.
    static std::uint32_t LineSpeed(std::uint16_t rate);
    // The name check of OpenPort: "COM" + 1..256.
    static bool IsValidPortName(std::string_view name);

  private:
    TResult ApplyBaudRate();
    TResult ApplyTimeout();
    void Remember(const SysStatus& status);
    void EndOpenExchange();
    TResult ReadReplyFrame(std::string& reply);

    std::unique_ptr<SerialTransport> transport_;
    bool fixedTransport_ = false;    // brought by the caller: kept for every device
    bool networkTransport_ = false;  // transport_ is the network one
    bool open_ = false;
    std::string portName_ = "COM1";
    std::uint16_t baudRate_ = 9600;
    std::uint16_t replyTimeout_ = 1000;
    std::chrono::milliseconds deadline_{0};  // 0: the one-second deadlines
    std::string device_;
    std::string lastSystemError_;
    // The exchange under way, for the line statistics.
    bool exchangeOpen_ = false;
    bool replied_ = false;
    TResult readResult_ = rc::Ok;
    std::chrono::steady_clock::time_point exchangeStart_;
    std::chrono::steady_clock::time_point replyEnd_;
    SysErr lastErrorKind_ = SysErr::Ok;
    std::function<void(const TExCOM&)> onOpenFailed_;
};

// Zero-terminated forms (-99 when `port` is null). ReadReply copies the reply
// into `buffer` only when one is given; it is cut to fit `size` bytes.
TResult WriteFrame(TExCOM* port, const char* frame);
TResult ReadReply(TExCOM* port, char* buffer, std::size_t size);

}  // namespace zorvat
