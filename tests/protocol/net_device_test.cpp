#include <gtest/gtest.h>

#include <string>

#include "net_transport.h"
#include "telnet_codec.h"

namespace zorvat {
namespace {

TEST(NetworkDevice, AddressesInThePortMap) {
    struct Case {
        const char* device;
        bool network;  // handed to the network transport
        bool valid;
        NetworkDevice::Kind kind;
        const char* host;
        int port;
    };
    using K = NetworkDevice::Kind;
    const Case cases[] = {
        {"tcp://192.168.1.50:4001", true, true, K::RawTcp, "192.168.1.50", 4001},
        {"rfc2217://moxa-3.plant:950", true, true, K::Rfc2217, "moxa-3.plant", 950},
        {"tcp://[::1]:4001/", true, true, K::RawTcp, "::1", 4001},
        {"tcp://host", true, false, K::RawTcp, "", 0},
        {"tcp://host:", true, false, K::RawTcp, "", 0},
        {"tcp://:4001", true, false, K::RawTcp, "", 0},
        {"tcp://host:0", true, false, K::RawTcp, "", 0},
        {"tcp://host:65536", true, false, K::RawTcp, "", 0},
        {"tcp://host:40x1", true, false, K::RawTcp, "", 0},
        {"/dev/ttyUSB0", false, false, K::RawTcp, "", 0},
        {"/dev/serial/by-id/usb-FTDI_tcp://x:1", false, false, K::RawTcp, "", 0},
        {"TCP://host:1", false, false, K::RawTcp, "", 0},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto parsed = ParseNetworkDevice(c.device, &error);
        EXPECT_EQ(IsNetworkDevice(c.device), c.network) << c.device;
        ASSERT_EQ(parsed.has_value(), c.valid) << c.device;
        if (!c.valid) {
            EXPECT_EQ(error.empty(), !c.network) << c.device;  // a network address says why
            continue;
        }
        EXPECT_EQ(parsed->kind, c.kind) << c.device;
        EXPECT_EQ(parsed->host, c.host) << c.device;
        EXPECT_EQ(parsed->port, c.port) << c.device;
    }
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (const int b : bytes)
        s += static_cast<char>(b);
    return s;
}

TEST(Telnet, DataAndCommandsBothWays) {
    using namespace telnet;
    EXPECT_EQ(Escape(Bytes({0x3A, 0xFF, 0x0D})), Bytes({0x3A, 0xFF, 0xFF, 0x0D}));
    // SET-BAUDRATE 19200: four bytes, network order.
    EXPECT_EQ(ComPortCommand(ComPort::SetBaudRate, BaudValue(19200)),
              Bytes({kIac, kSb, kComPort, 1, 0, 0, 0x4B, 0x00, kIac, kSe}));

    // Split anywhere, the server's stream gives the same data and answers.
    const std::string stream =
        "!1;" + Bytes({kIac, kIac}) + Bytes({kIac, kDo, kComPort}) +  // agreed already: no answer
        Bytes({kIac, kDo, 1}) +                                       // echo: refused
        Bytes({kIac, kSb, kComPort, 101, 0, 0, 0x25, 0x80, kIac, kSe}) + "00" +
        Bytes({kIac, kWill, 1}) + Bytes({kIac, kWill, 1}) +  // refused once
        Bytes({kIac, 241}) + "\r";                           // NOP
    const std::string data = "!1;" + Bytes({0xFF}) + "00\r";
    const std::string answers = Bytes({kIac, kWont, 1}) + Bytes({kIac, kDont, 1});
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        Decoder decoder;
        std::string gotData;
        std::string gotAnswers;
        decoder.Feed(std::string_view(stream).substr(0, split), gotData, gotAnswers);
        decoder.Feed(std::string_view(stream).substr(split), gotData, gotAnswers);
        EXPECT_EQ(gotData, data) << split;
        EXPECT_EQ(gotAnswers, answers) << split;
    }
}

}  // namespace
}  // namespace zorvat
