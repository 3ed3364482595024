// Fuzz target for everything a reply from the line passes through: the
// port's frame reading, SplitReply, ParseReply, CheckReply, DeviceErrorCode
// and the status handling of ReadParam, WriteParam and SendCommand.
//
// Input: byte 0 holds flags, the rest is what the line delivers. A fuzzer
// cannot guess checksums, so with flag bit 0 the harness closes the body
// with its correct checksum and CR and reaches the code behind the check.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "IEEE754.h"
#include "ascii_u.h"
#include "com_u.h"
#include "ex_com.h"
#include "serial_transport.h"

namespace {

using namespace zorvat;

// A line that delivers the given bytes and then fails, so that nothing waits
// for the one-second deadlines.
class ScriptedLine final : public SerialTransport {
  public:
    explicit ScriptedLine(std::string bytes) : bytes_(std::move(bytes)) {}
    SysStatus Open(const std::string&) override { return {}; }
    SysStatus Close() override { return {}; }
    bool IsOpen() const override { return true; }
    ConfigStatus ApplyLine(std::uint32_t) override { return {}; }
    ConfigStatus ApplyReadTimeout(std::uint32_t) override { return {}; }
    SysStatus ClearBreakAndPurge() override { return {}; }
    SysStatus DiscardInput() override { return {}; }
    SysStatus Write(const std::uint8_t*, std::size_t size, std::size_t& written) override {
        written = size;
        return {};
    }
    ReadOutcome ReadByte(std::uint8_t& byte, SysStatus& error) override {
        if (next_ >= bytes_.size()) {
            error.err = SysErr::Failed;
            return ReadOutcome::Error;
        }
        byte = static_cast<std::uint8_t>(bytes_[next_++]);
        return ReadOutcome::Byte;
    }

  private:
    std::string bytes_;
    std::size_t next_ = 0;
};

std::unique_ptr<TExCOM> PortOn(const std::string& line) {
    auto port = std::make_unique<TExCOM>(std::make_unique<ScriptedLine>(line));
    port->OpenPort("COM1");
    return port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    if (flags & 1) {
        std::string sum;
        if (FrameChecksum("!" + line, sum) == rc::Ok) line = "!" + line + sum + "\r";
    }

    SplitFrame frame;
    SplitReply(line, frame);
    std::uint8_t address = 0;
    std::string payload;
    if (ParseReply(line, address, payload) == rc::Ok) {
        for (std::uint8_t mode = 0; mode < 4; ++mode)
            CheckReply(mode, 1, address, payload);
        DeviceErrorCode(payload);
        double value = 0;
        WireTextToFloat(payload, value);
        if (payload.size() >= 8) WireTextToFloat(payload.substr(0, 8), value);
    }
    char buffer[64];
    ParseReply(line.c_str(), address, buffer, sizeof buffer);

    std::string value;
    ReadParam(*PortOn(line), "1", "0000FF", value);
    value = "0000803F";
    // WriteParam reads first; give it the line twice so the write's reply is parsed too.
    WriteParam(*PortOn(line + line), "1", "01DA66", value);
    std::string command = ";198;";
    auto port = PortOn(line);
    SendCommand(port.get(), 1, command, static_cast<std::size_t>(flags >> 1));
    return 0;
}
