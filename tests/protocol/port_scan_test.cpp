#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "port_scan.h"

namespace zorvat {
namespace {

namespace fs = std::filesystem;

// A /dev and a /sys/class/tty of our own making.
class FakeMachine {
  public:
    FakeMachine() {
        std::string pattern = (fs::temp_directory_path() / "zorvat-scan-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        fs::create_directories(Dev() + "/serial/by-id");
        fs::create_directories(Sys());
    }
    ~FakeMachine() { fs::remove_all(root_); }
    std::string Dev() const { return root_ + "/dev"; }
    std::string Sys() const { return root_ + "/sys"; }
    void Device(const std::string& name) { std::ofstream(Dev() + "/" + name) << ""; }
    void ById(const std::string& name, const std::string& target) {
        fs::create_symlink("../../" + target, Dev() + "/serial/by-id/" + name);
    }
    void Uart(const std::string& name, int type) {
        Device(name);
        fs::create_directories(Sys() + "/" + name);
        std::ofstream(Sys() + "/" + name + "/type") << type << "\n";
    }

  private:
    std::string root_;
};

TEST(PortScan, AdaptersByNameFirstThenTheRestOnce) {
    FakeMachine m;
    m.Device("ttyUSB0");
    m.Device("ttyUSB1");
    m.Device("ttyUSB10");
    m.Device("ttyUSB2");
    m.Device("ttyACM0");
    m.Device("tty0");
    m.Uart("ttyS0", 4);  // a 16550A
    m.Uart("ttyS1", 0);  // nothing behind it
    m.ById("usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "ttyUSB1");

    const auto found = ScanSerialDevices(m.Dev(), m.Dev() + "/no-udev", m.Sys());
    std::vector<std::string> names;
    for (const auto& d : found)
        names.push_back(fs::path(d.path).filename().string());
    EXPECT_EQ(names,
              (std::vector<std::string>{"usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "ttyUSB0",
                                        "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0"}));
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].kind, "by-id");
    EXPECT_EQ(found[0].target, m.Dev() + "/ttyUSB1");
    // Without udev the name tells what the adapter is.
    EXPECT_EQ(found[0].Description(), "FTDI FT232R USB UART A12345 (" + m.Dev() + "/ttyUSB1)");
    EXPECT_EQ(found.back().Description(), "встроенный порт");
}

TEST(PortScan, NothingThereIsAnEmptyList) {
    EXPECT_TRUE(ScanSerialDevices("/nonexistent-dev", "/nonexistent", "/nonexistent").empty());
}

TEST(PortScan, ProbeSaysWhyADeviceCannotBeUsed) {
    const SysStatus missing = ProbeDevice("/nonexistent/ttyUSB7");
    EXPECT_EQ(missing.err, SysErr::NotFound);
    EXPECT_NE(missing.detail.find("не найдено"), std::string::npos) << missing.detail;
    const SysStatus badAddress = ProbeDevice("tcp://host-without-port");
    EXPECT_EQ(badAddress.err, SysErr::NotFound);
    EXPECT_NE(badAddress.detail.find("tcp://УЗЕЛ:ПОРТ"), std::string::npos) << badAddress.detail;
}

}  // namespace
}  // namespace zorvat
