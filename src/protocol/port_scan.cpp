#include "port_scan.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "net_transport.h"

namespace zorvat {

namespace fs = std::filesystem;

namespace {

// udev's record of a character device: "E:KEY=value" lines.
std::map<std::string, std::string> UdevProperties(const std::string& udevRoot,
                                                  const fs::path& device) {
    std::map<std::string, std::string> props;
#ifndef _WIN32
    std::error_code ec;
    const auto status = fs::status(device, ec);
    if (ec || !fs::is_character_file(status)) return props;
    // The device numbers come from the kernel's description of the tty.
    const std::string name = device.filename().string();
    std::ifstream dev("/sys/class/tty/" + name + "/dev");
    std::string numbers;
    if (!(dev >> numbers)) return props;
    std::ifstream in(udevRoot + "/c" + numbers);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("E:", 0) != 0) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        props[line.substr(2, eq - 2)] = line.substr(eq + 1);
    }
#else
    (void)udevRoot;
    (void)device;
#endif
    return props;
}

std::string Prop(const std::map<std::string, std::string>& props,
                 std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const auto it = props.find(key);
        if (it != props.end() && !it->second.empty()) {
            std::string value = it->second;
            std::replace(value.begin(), value.end(), '_', ' ');
            return value;
        }
    }
    return {};
}

void Describe(SerialDeviceInfo& info, const std::string& udevRoot) {
    const auto props = UdevProperties(udevRoot, info.target);
    info.maker = Prop(props, {"ID_VENDOR_FROM_DATABASE", "ID_VENDOR"});
    info.product = Prop(props, {"ID_MODEL_FROM_DATABASE", "ID_MODEL"});
    info.serial = Prop(props, {"ID_SERIAL_SHORT"});
}

// A built-in port is listed when the kernel found a UART behind it: its
// "type" is not 0 (PORT_UNKNOWN).
bool HasHardware(const std::string& sysRoot, const std::string& name) {
    std::ifstream in(sysRoot + "/" + name + "/type");
    int type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

}  // namespace

std::string SerialDeviceInfo::Description() const {
    std::string text = maker;
    if (!product.empty()) text += (text.empty() ? "" : " ") + product;
    if (!serial.empty()) text += (text.empty() ? "№ " : ", № ") + serial;
    if (text.empty()) text = kind == "built-in" ? "встроенный порт" : "последовательный порт";
    if (!target.empty() && target != path) text += " (" + target + ")";
    return text;
}

std::vector<SerialDeviceInfo> ScanSerialDevices(const std::string& devRoot,
                                                const std::string& udevRoot,
                                                const std::string& sysRoot) {
    std::vector<SerialDeviceInfo> found;
    std::error_code ec;
    std::vector<std::string> named;  // targets a by-id name already lists

    const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
    std::vector<fs::path> links;
    for (const auto& entry : fs::directory_iterator(byId, ec))
        links.push_back(entry.path());
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        SerialDeviceInfo info;
        info.path = link.string();
        info.kind = "by-id";
        std::error_code e;
        info.target = fs::weakly_canonical(link, e).string();
        if (e) info.target.clear();
        Describe(info, udevRoot);
        if (info.maker.empty() && info.product.empty()) {
            // "usb-FTDI_FT232R_USB_UART_A12345-if00-port0": the name says it.
            std::string name = link.filename().string();
            if (name.rfind("usb-", 0) == 0) name = name.substr(4);
            const std::size_t cut = name.rfind("-if");
            if (cut != std::string::npos) name = name.substr(0, cut);
            std::replace(name.begin(), name.end(), '_', ' ');
            info.product = name;
        }
        named.push_back(info.target);
        found.push_back(std::move(info));
    }

    std::vector<std::pair<std::string, std::string>> ttys;  // name, kind
    for (const auto& entry : fs::directory_iterator(devRoot, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0)
            ttys.emplace_back(name, "USB");
        else if (name.rfind("ttyACM", 0) == 0)
            ttys.emplace_back(name, "ACM");
        else if (name.rfind("ttyS", 0) == 0 && name.size() > 4 && HasHardware(sysRoot, name))
            ttys.emplace_back(name, "built-in");
    }
    auto rank = [](const std::string& kind) { return kind == "USB" ? 0 : kind == "ACM" ? 1 : 2; };
    std::sort(ttys.begin(), ttys.end(), [&](const auto& a, const auto& b) {
        if (rank(a.second) != rank(b.second)) return rank(a.second) < rank(b.second);
        // ttyUSB2 before ttyUSB10
        if (a.first.size() != b.first.size()) return a.first.size() < b.first.size();
        return a.first < b.first;
    });
    for (const auto& [name, kind] : ttys) {
        SerialDeviceInfo info;
        info.path = (fs::path(devRoot) / name).string();
        info.target = info.path;
        info.kind = kind;
        if (std::find(named.begin(), named.end(), info.path) != named.end()) continue;
        Describe(info, udevRoot);
        found.push_back(std::move(info));
    }
    return found;
}

SysStatus ProbeDevice(const std::string& device) {
    auto transport = MakeTransportFor(device);
    SysStatus status = transport->Open(device);
    if (status.ok()) transport->Close();
    return status;
}

}  // namespace zorvat
