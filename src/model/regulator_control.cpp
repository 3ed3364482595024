#include "regulator_control.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>

#include "com_u.h"
#include "ex_com.h"
#include "hex_text.h"

namespace zorvat {

namespace {

using namespace std::chrono_literals;

std::string RegCode(std::uint8_t r, const char* code) {
    return "0" + std::to_string(r) + code;
}

// ";38;0" + r + "DA65" + ";1;": a write sent directly, without read-back.
std::string SwitchCommand(std::uint8_t r, const char* code, bool on) {
    return ";38;" + RegCode(r, code) + (on ? ";1;" : ";0;");
}

// A port object of its own, set to the instrument's rate and 1000 ms.
TResult OpenInstrumentPort(TModel& model, const TDevice& device, std::unique_ptr<TExCOM>& port,
                           bool& configured) {
    port = model.NewPort();
    configured = false;
    const TResult result = ConfigurePort(*port, device.Baudrate, 1000);
    if (result != rc::Ok) return result;
    configured = true;
    return port->OpenPort(device.ParentPort);
}

// The bus address as SendCommand takes it; nullopt for a text that is none.
std::optional<std::uint8_t> AddressByte(const TDevice& device) {
    const auto n = ParseDecimal(device.Address);
    if (!n || *n > 255) return std::nullopt;
    return static_cast<std::uint8_t>(*n);
}

}  // namespace

std::string DurationText(double seconds) {
    const long total = seconds <= 0 ? 0 : std::lround(std::floor(seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, (total / 60) % 60,
                  total % 60);
    return text;
}

TResult SwitchRegulator(TModel& model, std::uint8_t d, std::uint8_t r, bool on,
                        std::optional<bool>* readBack) {
    if (readBack != nullptr) readBack->reset();
    TDevice* device = model.Device(d);
    TParams* reg = model.Regulator(d, r);
    if (device == nullptr || reg == nullptr) return rc::BadArgument;

    // A parameter read holds the port hand-over of the instrument; wait for it.
    while (model.ReadThread)
        std::this_thread::sleep_for(20ms);
    RequestPort(model, *reg, device->ParentPort, HandOver::Switch);

    std::unique_ptr<TExCOM> port;
    bool configured = false;
    TResult result = OpenInstrumentPort(model, *device, port, configured);
    if (result == rc::Ok) {
        std::string value;
        result = ReadParam(*port, device->Address, RegCode(r, "DA70"), value);
        if (result == rc::Ok) {
            const auto channel = ParseHex(value);
            if (!channel) {
                result = rc::BadPayload;
            } else {
                SetInputChannel(*reg, static_cast<std::uint8_t>(*channel & 0xFF));
                std::string command = SwitchCommand(r, "DA65", on);
                const auto address = AddressByte(*device);
                result =
                    address ? SendCommand(port.get(), *address, command, 255) : rc::BadArgument;
                if (result != rc::Ok && readBack != nullptr && port->IsOpen()) {
                    // The command may have reached the instrument although
                    // its answer did not come back whole.
                    std::string state;
                    if (ReadParam(*port, device->Address, RegCode(r, "DA65"), state) == rc::Ok)
                        *readBack = state != "0";
                }
            }
        }
    }
    if (port->IsOpen()) port->ClosePort();
    FreePort(port);
    ReleasePort(*reg, HandOver::Switch);
    return result;
}

TResult SwitchAutotune(TModel& model, std::uint8_t d, std::uint8_t r, bool on) {
    TDevice* device = model.Device(d);
    TParams* reg = model.Regulator(d, r);
    if (device == nullptr || reg == nullptr) return rc::BadArgument;
    RequestPort(model, *reg, device->ParentPort, HandOver::Pause);

    std::unique_ptr<TExCOM> port;
    bool configured = false;
    TResult code = OpenInstrumentPort(model, *device, port, configured);
    if (code == rc::Ok) {
        std::string command = SwitchCommand(r, "DAC7", on);
        const auto address = AddressByte(*device);
        code = address ? SendCommand(port.get(), *address, command, 255) : rc::BadArgument;
        if (code == rc::Ok) {
            if (on && reg->StartPending) {
                reg->StartTime = MonotonicSeconds();
                reg->StartPending = false;
            }
            reg->AutoTune = on;
        }
    }
    if (port->IsOpen()) port->ClosePort();
    FreePort(port);
    ReleasePort(*reg, HandOver::Pause);
    return code;
}

}  // namespace zorvat
