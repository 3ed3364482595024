// The serial devices of this machine an operator may point a COMn at:
// adapters by their stable /dev/serial/by-id names (with maker, product and
// serial number when udev gives them), /dev/ttyUSB*, /dev/ttyACM*, and the
// built-in /dev/ttyS* ports that have hardware behind them.
#pragma once

#include <string>
#include <vector>

#include "serial_transport.h"

namespace zorvat {

struct SerialDeviceInfo {
    std::string path;     // what goes into the port map: "/dev/serial/by-id/usb-FTDI_..."
    std::string target;   // the device it names now: "/dev/ttyUSB0"
    std::string kind;     // "by-id", "USB", "ACM", "built-in"
    std::string maker;    // from udev, when known
    std::string product;  // from udev, when known
    std::string serial;   // from udev, when known

    // "FTDI FT232R USB UART, № A12345 (/dev/ttyUSB0)": for lists.
    std::string Description() const;
};

// The devices under `devRoot` ("/dev"), by-id names first, then USB, ACM and
// built-in ports in name order. A ttyUSB or ttyACM device that a by-id name
// already lists is not listed again. `udevRoot` ("/run/udev/data") and
// `sysRoot` ("/sys/class/tty") are where udev and the kernel describe them.
std::vector<SerialDeviceInfo> ScanSerialDevices(const std::string& devRoot = "/dev",
                                                const std::string& udevRoot = "/run/udev/data",
                                                const std::string& sysRoot = "/sys/class/tty");

// Opens the device or network address and closes it again: Ok, or why it
// cannot be used (missing, busy, no access with the dialout fix, no server).
SysStatus ProbeDevice(const std::string& device);

}  // namespace zorvat
