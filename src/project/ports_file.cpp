#include "ports_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "atomic_file.h"
#include "port_map.h"

namespace zorvat {

namespace {

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(first, last - first + 1));
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

std::string PortsIniText(std::string_view old, const std::map<int, std::string>& devices) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(old)};
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    // The governed ports' lines go; the new ones follow the section's last
    // line that stays.
    std::vector<std::string> out;
    bool inPorts = false;
    std::ptrdiff_t portsEnd = -1;
    for (const std::string& line : lines) {
        const std::string text = Trim(line);
        if (!text.empty() && text.front() == '[') {
            inPorts = Upper(text) == "[PORTS]";
            out.push_back(line);
            if (inPorts) portsEnd = static_cast<std::ptrdiff_t>(out.size());
            continue;
        }
        if (inPorts && !text.empty() && text[0] != ';' && text[0] != '#') {
            const auto eq = text.find('=');
            const auto number = eq == std::string::npos
                                    ? std::nullopt
                                    : PortNumber(Upper(Trim(text.substr(0, eq))));
            if (number && devices.count(*number) != 0) continue;
        }
        out.push_back(line);
        if (inPorts && !text.empty()) portsEnd = static_cast<std::ptrdiff_t>(out.size());
    }
    std::vector<std::string> entries;
    for (const auto& [number, device] : devices) {
        if (!device.empty()) entries.push_back("COM" + std::to_string(number) + "=" + device);
    }
    if (portsEnd < 0) {
        if (entries.empty())
            portsEnd = static_cast<std::ptrdiff_t>(out.size());
        else {
            if (!out.empty() && !Trim(out.back()).empty()) out.emplace_back();
            out.emplace_back("[Ports]");
            portsEnd = static_cast<std::ptrdiff_t>(out.size());
        }
    }
    out.insert(out.begin() + portsEnd, entries.begin(), entries.end());
    std::string text;
    for (const std::string& line : out)
        text += line + "\n";
    return text;
}

bool SavePortsIni(const std::string& folder, const std::map<int, std::string>& devices,
                  std::string* reason) {
    const std::filesystem::path path = std::filesystem::path(folder) / "ports.ini";
    std::string old;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            if (reason != nullptr) *reason = FileErrorText(errno, false);
            return false;
        }
        std::ostringstream buffer;
        buffer << in.rdbuf();
        old = buffer.str();
    }
    return ReplaceFileContents(path, PortsIniText(old, devices), reason);
}

}  // namespace zorvat
