#include <charconv>

#include "net_transport.h"

namespace zorvat {

std::unique_ptr<SerialTransport> MakeNetworkTransport();

std::optional<NetworkDevice> ParseNetworkDevice(std::string_view device, std::string* error) {
    NetworkDevice parsed;
    std::string_view rest;
    if (device.substr(0, 6) == "tcp://") {
        parsed.kind = NetworkDevice::Kind::RawTcp;
        rest = device.substr(6);
    } else if (device.substr(0, 10) == "rfc2217://") {
        parsed.kind = NetworkDevice::Kind::Rfc2217;
        rest = device.substr(10);
    } else {
        return std::nullopt;
    }
    auto fail = [&](const char* why) -> std::optional<NetworkDevice> {
        if (error != nullptr) *error = std::string(why) + ": " + std::string(device);
        return std::nullopt;
    };
    while (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == rest.size())
        return fail("в сетевом адресе нужны узел и порт (tcp://УЗЕЛ:ПОРТ)");
    std::string_view host = rest.substr(0, colon);
    // [::1]:4000
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::string_view portText = rest.substr(colon + 1);
    unsigned port = 0;
    const auto [end, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc() || end != portText.data() + portText.size() || port == 0 || port > 65535)
        return fail("неверный номер порта в сетевом адресе");
    parsed.host.assign(host);
    parsed.port = static_cast<std::uint16_t>(port);
    return parsed;
}

bool IsNetworkDevice(std::string_view device) {
    return device.substr(0, 6) == "tcp://" || device.substr(0, 10) == "rfc2217://";
}

std::unique_ptr<SerialTransport> MakeTransportFor(std::string_view device) {
    // A malformed network address still gets the network transport, whose
    // Open says what is wrong with it.
    return IsNetworkDevice(device) ? MakeNetworkTransport() : MakeSystemTransport();
}

}  // namespace zorvat
