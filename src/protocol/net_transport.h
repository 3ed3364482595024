// A serial line that ends in a device server on the network.
//
//   tcp://HOST:PORT      raw TCP: bytes pass unchanged, the line's rate is
//                        the server's own
//   rfc2217://HOST:PORT  Telnet with the COM port control option: the rate,
//                        8N1 and purges are set on the server as on a local port
//
// Such a device stands in the port map where a tty would.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "serial_transport.h"

namespace zorvat {

struct NetworkDevice {
    enum class Kind { RawTcp, Rfc2217 } kind = Kind::RawTcp;
    std::string host;
    std::uint16_t port = 0;
};

// nullopt when `device` is not a network address; `error` then says why when
// it looked like one ("tcp://" without a port, for example).
std::optional<NetworkDevice> ParseNetworkDevice(std::string_view device,
                                                std::string* error = nullptr);
bool IsNetworkDevice(std::string_view device);

// The transport for `device`: the network one for a network address, the
// platform's serial one otherwise.
std::unique_ptr<SerialTransport> MakeTransportFor(std::string_view device);

// How long a connection may take before the port counts as missing.
inline constexpr int kConnectTimeoutMs = 2000;

}  // namespace zorvat
