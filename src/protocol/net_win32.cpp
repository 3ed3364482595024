// Network ports are not built into the Windows program yet: a port mapped to
// a network address reports so when it is opened.
#include "net_transport.h"

namespace zorvat {

namespace {

class NoNetTransport final : public SerialTransport {
  public:
    SysStatus Open(const std::string& device) override {
        SysStatus s;
        s.err = SysErr::NotFound;
        s.detail = device + ": сетевые порты в этой сборке недоступны";
        return s;
    }
    SysStatus Close() override { return {}; }
    bool IsOpen() const override { return false; }
    ConfigStatus ApplyLine(std::uint32_t) override { return {}; }
    ConfigStatus ApplyReadTimeout(std::uint32_t) override { return {}; }
    SysStatus ClearBreakAndPurge() override { return {}; }
    SysStatus DiscardInput() override { return {}; }
    SysStatus Write(const std::uint8_t*, std::size_t, std::size_t& written) override {
        written = 0;
        SysStatus s;
        s.err = SysErr::Failed;
        return s;
    }
    ReadOutcome ReadByte(std::uint8_t&, SysStatus& error) override {
        error.err = SysErr::Failed;
        return ReadOutcome::Error;
    }
};

}  // namespace

std::unique_ptr<SerialTransport> MakeNetworkTransport() {
    return std::make_unique<NoNetTransport>();
}

}  // namespace zorvat
