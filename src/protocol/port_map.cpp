#include "port_map.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

#include "hex_text.h"

namespace zorvat {

namespace {

std::mutex& MapMutex() {
    static std::mutex m;
    return m;
}
std::string& Folder() {
    static std::string folder;
    return folder;
}
std::map<int, std::string>& Overrides() {
    static std::map<int, std::string> overrides;
    return overrides;
}

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(first, last - first + 1));
}

// The [Ports] section of ports.ini: "COM3=/dev/ttyUSB0" lines, names in any
// case, ";" and "#" start comments.
std::map<int, std::string> ReadPortsIni(const std::string& folder) {
    std::map<int, std::string> ports;
    if (folder.empty()) return ports;
    std::ifstream in(folder + "/ports.ini");
    std::string line;
    bool inPorts = false;
    while (std::getline(in, line)) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text.front() == '[') {
            inPorts = UpperAscii(text) == "[PORTS]";
            continue;
        }
        if (!inPorts) continue;
        const auto eq = text.find('=');
        if (eq == std::string::npos) continue;
        const auto number = PortNumber(UpperAscii(Trim(text.substr(0, eq))));
        const std::string device = Trim(text.substr(eq + 1));
        if (number && !device.empty()) ports[*number] = device;
    }
    return ports;
}

std::string DefaultDevice(int number) {
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(number);
#else
    return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

std::string PortNameOf(int number) {
    return "COM" + std::to_string(number);
}

}  // namespace

std::optional<int> PortNumber(std::string_view portName) {
    // "COM" and then at most four characters that must be a number 1..256;
    // characters after the seventh are not looked at.
    if (portName.size() < 4 || portName.substr(0, 3) != "COM") return std::nullopt;
    const auto number = ParseDecimal(portName.substr(3, 4));
    if (!number || *number < 1 || *number > 256) return std::nullopt;
    return static_cast<int>(*number);
}

PortMapping ResolvePort(std::string_view portName) {
    PortMapping m;
    m.portName.assign(portName);
    const auto number = PortNumber(portName);
    if (!number) return m;
    std::string folder;
    {
        std::lock_guard lock(MapMutex());
        const auto it = Overrides().find(*number);
        if (it != Overrides().end()) {
            m.device = it->second;
            m.source = "override";
            return m;
        }
        folder = Folder();
    }
    const std::string variable = "ZORVAT_" + PortNameOf(*number);
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0') {
        m.device = value;
        m.source = "environment";
        return m;
    }
    const auto ini = ReadPortsIni(folder);
    if (const auto it = ini.find(*number); it != ini.end()) {
        m.device = it->second;
        m.source = "ports.ini";
        return m;
    }
    m.device = DefaultDevice(*number);
    m.source = "default";
    return m;
}

std::vector<PortMapping> ListPorts() {
    std::vector<int> numbers{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    std::string folder;
    {
        std::lock_guard lock(MapMutex());
        for (const auto& [n, device] : Overrides())
            numbers.push_back(n);
        folder = Folder();
    }
    for (const auto& [n, device] : ReadPortsIni(folder))
        numbers.push_back(n);
    for (int n = 11; n <= 256; ++n) {
        const std::string variable = "ZORVAT_" + PortNameOf(n);
        if (std::getenv(variable.c_str()) != nullptr) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<PortMapping> result;
    for (int n : numbers)
        result.push_back(ResolvePort(PortNameOf(n)));
    return result;
}

void SetPortMapFolder(const std::string& folder) {
    std::lock_guard lock(MapMutex());
    Folder() = folder;
}

void SetPortOverride(std::string_view portName, const std::string& device) {
    const auto number = PortNumber(portName);
    if (!number) return;
    std::lock_guard lock(MapMutex());
    if (device.empty()) {
        Overrides().erase(*number);
    } else {
        Overrides()[*number] = device;
    }
}

void ClearPortOverrides() {
    std::lock_guard lock(MapMutex());
    Overrides().clear();
}

}  // namespace zorvat
