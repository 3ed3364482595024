#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "com_u.h"
#include "ex_com.h"
#include "port_map.h"

namespace zorvat {
namespace {

TEST(PortObject, Defaults) {
    auto port = CreatePort();
    ASSERT_TRUE(port);
    EXPECT_EQ(port->PortName(), "COM1");
    EXPECT_EQ(port->BaudRate(), 9600);
    EXPECT_EQ(port->ReplyTimeout(), 1000);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(FreePort(port), rc::Ok);
    EXPECT_FALSE(port);
    EXPECT_EQ(FreePort(port), rc::NullPort);
}

TEST(PortObject, BaudRates) {
    const std::pair<int, TResult> cases[] = {
        {300, rc::Ok},
        {600, rc::Ok},
        {1200, rc::Ok},
        {2400, rc::Ok},
        {4800, rc::Ok},
        {9600, rc::Ok},
        {9650, rc::Ok},
        {19200, rc::Ok},
        {19299, rc::Ok},
        {38400, rc::BadArgument},
        {57600, rc::BadArgument},
        {0, rc::BadArgument},
        {299, rc::BadArgument},
        {9700, rc::BadArgument},
    };
    for (const auto& [rate, result] : cases) {
        TExCOM port;
        port.SetBaudRate(1200);
        EXPECT_EQ(port.SetBaudRate(static_cast<std::uint16_t>(rate)), result) << rate;
        EXPECT_EQ(port.BaudRate(), result == rc::Ok ? rate : 1200) << rate;
    }
    EXPECT_EQ(TExCOM::LineSpeed(9650), 9600u);
}

TEST(PortObject, NameCheck) {
    for (const char* bad :
         {"COM0", "COM257", "com1", "LPT1", "COM", "", "COM-1", "COM1x", "COM 1"}) {
        TExCOM port;
        EXPECT_EQ(port.OpenPort(bad), rc::BadArgument) << bad;
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.PortName(), "COM1") << bad;
    }
    for (const char* good : {"COM1", "COM10", "COM256", "COM0012"}) {
        EXPECT_TRUE(TExCOM::IsValidPortName(good)) << good;
    }
    EXPECT_EQ(PortNumber("COM10"), 10);
    EXPECT_EQ(PortNumber("COM0012abc"), 12);  // characters after the 7th are not looked at
}

TEST(PortObject, ClosedPortFailures) {
    TExCOM port;
    EXPECT_EQ(port.ClosePort(), rc::CloseFailed);
    EXPECT_EQ(port.WriteFrame(":1;37;002007;6295\r"), rc::WriteFailed);
    std::string reply;
    EXPECT_EQ(port.ReadReply(reply), rc::ReadFailed);
    EXPECT_EQ(WriteFrame(nullptr, "x"), rc::NullPort);
    char buffer[16];
    EXPECT_EQ(ReadReply(nullptr, buffer, sizeof buffer), rc::NullPort);
    std::string command = ";198;";
    EXPECT_EQ(SendCommand(nullptr, 1, command, 255), rc::NullPort);
}

TEST(PortObject, MissingDevice) {
    SetPortOverride("COM9", "/dev/zorvat-no-such-device");
    TExCOM port;
    EXPECT_EQ(port.OpenPort("COM9"), rc::NoSuchPort);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.PortName(), "COM9");  // a refused open keeps the checked name
    EXPECT_NE(port.LastSystemError().find("/dev/zorvat-no-such-device"), std::string::npos);
    ClearPortOverrides();
}

TEST(PortObject, DeviceThatIsNotATerminal) {
    // A regular file opens but has no line settings to read.
    const auto file = std::filesystem::temp_directory_path() / "zorvat-not-a-tty";
    std::ofstream(file) << "x";
    SetPortOverride("COM8", file.string());
    TExCOM port;
    EXPECT_EQ(port.OpenPort("COM8"), rc::GetSettingsFailed);
    EXPECT_FALSE(port.IsOpen());
    ClearPortOverrides();
    std::filesystem::remove(file);
}

class PortMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("zorvat-portmap-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        SetPortMapFolder(dir_.string());
    }
    void TearDown() override {
        ::unsetenv("ZORVAT_COM4");
        ClearPortOverrides();
        SetPortMapFolder("");
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
};

TEST_F(PortMapTest, Precedence) {
    std::ofstream(dir_ / "ports.ini") << "; bench\n[Other]\nCOM4=/dev/wrong\n[ports]\n com4 = "
                                         "/dev/ttyUSB0 \nCOM12=/dev/ttyUSB1\n";
    EXPECT_EQ(ResolvePort("COM5").device, "/dev/ttyS4");
    EXPECT_EQ(ResolvePort("COM4").device, "/dev/ttyUSB0");
    EXPECT_EQ(ResolvePort("COM4").source, "ports.ini");
    ::setenv("ZORVAT_COM4", "/dev/pts/7", 1);
    EXPECT_EQ(ResolvePort("COM4").device, "/dev/pts/7");
    SetPortOverride("COM4", "/tmp/sim/COM4");
    EXPECT_EQ(ResolvePort("COM4").device, "/tmp/sim/COM4");
    SetPortOverride("COM4", "");
    EXPECT_EQ(ResolvePort("COM4").source, "environment");

    const auto ports = ListPorts();
    ASSERT_EQ(ports.size(), 11u);  // COM1..COM10 and COM12 from the file
    EXPECT_EQ(ports.back().portName, "COM12");
    EXPECT_EQ(ports.back().device, "/dev/ttyUSB1");
}

}  // namespace
}  // namespace zorvat
