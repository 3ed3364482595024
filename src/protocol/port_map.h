// From the port name the operator sees ("COM3") to the device that is opened.
//
// On Linux the map is, in this order: an in-process override (the demo bench
// and the tests set these), the environment variable ZORVAT_COMn, the [Ports]
// section of ports.ini in the program's folder, and /dev/ttyS<n-1>.
// On Windows the device is \\.\COMn, so that COM10 and above open too.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvat {

// The number of a port name: "COM3" gives 3; nullopt when the name is not
// "COM" followed by a decimal number.
std::optional<int> PortNumber(std::string_view portName);

struct PortMapping {
    std::string portName;  // "COM3"
    std::string device;    // "/dev/ttyUSB0"
    std::string source;    // "override", "environment", "ports.ini", "default"
};

// The device for a port name (the name as the operator typed it).
PortMapping ResolvePort(std::string_view portName);

// Every port the map names explicitly, and COM1..COM10 by default, in order.
std::vector<PortMapping> ListPorts();

// The folder that holds ports.ini (the program's folder). Set once at start.
void SetPortMapFolder(const std::string& folder);

// In-process overrides; an empty device removes the override.
void SetPortOverride(std::string_view portName, const std::string& device);
void ClearPortOverrides();

}  // namespace zorvat
