// The operating system's side of a serial port, behind one small interface.
//
// TExCOM keeps the protocol's rules (name check, deadlines, result codes); a
// transport only opens, configures, writes, reads one byte with a time-out and
// closes. The backend for the platform is chosen at build time
// (serial_posix.cpp or serial_win32.cpp); other transports, such as a serial
// device server over TCP, can be added behind the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zorvat {

enum class SysErr {
    Ok,
    NotFound,      // no such device
    Busy,          // held by another program (or another port object)
    AccessDenied,  // the account may not open the device
    Failed,        // any other failure
};

struct SysStatus {
    SysErr err = SysErr::Ok;
    int native = 0;      // errno or GetLastError()
    std::string detail;  // for the operator: what failed, on which device, and why
    bool ok() const { return err == SysErr::Ok; }
};

// Settings are queried and then applied, as the port's two failure codes
// (-7 "cannot read the settings", -8 "cannot set them") tell apart.
struct ConfigStatus {
    enum Stage { Query, Apply } stage = Apply;
    SysStatus status;
    bool ok() const { return status.ok(); }
};

enum class ReadOutcome { Byte, Timeout, Error };

class SerialTransport {
  public:
    virtual ~SerialTransport() = default;

    // Opens the device for exclusive reading and writing.
    virtual SysStatus Open(const std::string& device) = 0;
    virtual SysStatus Close() = 0;
    virtual bool IsOpen() const = 0;

    // 8 data bits, no parity, one stop bit, raw, no flow control, DTR off, RTS on.
    virtual ConfigStatus ApplyLine(std::uint32_t baud) = 0;
    // Time-out of one read call, in milliseconds.
    virtual ConfigStatus ApplyReadTimeout(std::uint32_t ms) = 0;
    // Clears a break condition and purges both directions.
    virtual SysStatus ClearBreakAndPurge() = 0;
    // Drops every byte received and not yet read.
    virtual SysStatus DiscardInput() = 0;

    // Writes all bytes; `written` tells how many went out.
    virtual SysStatus Write(const std::uint8_t* data, std::size_t size, std::size_t& written) = 0;
    // Waits at most the read time-out for one byte.
    virtual ReadOutcome ReadByte(std::uint8_t& byte, SysStatus& error) = 0;
};

// The transport of the platform this program was built for.
std::unique_ptr<SerialTransport> MakeSystemTransport();

}  // namespace zorvat
