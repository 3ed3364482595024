#include "regulator_control.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>

#include "com_u.h"
#include "ex_com.h"
#include "hex_text.h"
#include "regulator_exchange.h"
#include "th_search.h"

namespace zorvat {

namespace {

using namespace std::chrono_literals;
constexpr auto kProgramStep = 300ms;

std::string RegCode(std::uint8_t r, const char* code) {
    return "0" + std::to_string(r) + code;
}

// ";38;0" + r + "DA65" + ";1;": a write sent directly, without read-back.
std::string SwitchCommand(std::uint8_t r, const char* code, bool on) {
    return ";38;" + RegCode(r, code) + (on ? ";1;" : ";0;");
}

// A port object of its own, set to the instrument's rate and 1000 ms.
TResult OpenInstrumentPort(const TDevice& device, std::unique_ptr<TExCOM>& port, bool& configured) {
    port = CreatePort();
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

// What an error line adds when the on-state was read back after a failure.
std::string StateText(const std::optional<bool>& on) {
    if (!on) return "";
    return *on ? " Регулятор включён." : " Регулятор выключен.";
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
    TResult result = OpenInstrumentPort(*device, port, configured);
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

void SwitchWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on) {
    TSurfaces& ui = model.Surfaces();
    const RegulatorRef ref{d, r};
    std::optional<bool> readBack;
    const TResult code = SwitchRegulator(model, d, r, on, &readBack);
    TDevice* device = model.Device(d);
    TParams* reg = model.Regulator(d, r);
    if (code == rc::Ok && reg != nullptr) {
        ui.SetRegulatorChecked(ref, on);
        SetRegOn(model, *reg, on);
    } else {
        // The model, the button and the tick show what the instrument does:
        // what it said after the failure, else the state before.
        if (readBack && reg != nullptr) SetRegOn(model, *reg, *readBack);
        ui.SetRegulatorChecked(ref,
                               readBack ? *readBack : (reg != nullptr ? reg->RegOn.load() : !on));
        ui.AddErrorLine(TimeText() + " Ошибка включения/выключения регулятора!(" +
                        std::to_string(code) + ")   Порт: " + (device ? device->ParentPort : "") +
                        "   Адрес прибора: " + (device ? device->Address : "") +
                        "   Номер регулятора: " + std::to_string(r) + StateText(readBack));
    }
    ui.RegulatorSwitched(ref, on, code == rc::Ok);
}

TResult AutotuneWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on) {
    TSurfaces& ui = model.Surfaces();
    TDevice* device = model.Device(d);
    TParams* reg = model.Regulator(d, r);
    if (device == nullptr || reg == nullptr) return rc::BadArgument;
    RequestPort(model, *reg, device->ParentPort, HandOver::Pause);

    std::unique_ptr<TExCOM> port;
    bool configured = false;
    TResult code = OpenInstrumentPort(*device, port, configured);
    if (configured) {
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
        if (code != rc::Ok) {
            ui.AddErrorLine(TimeText() + " Ошибка включения/выключения автонастройки!(" +
                            std::to_string(code) + ")   Порт: " + device->ParentPort +
                            "   Адрес прибора: " + device->Address +
                            "   Номер регулятора: " + std::to_string(r));
        }
    }
    FreePort(port);
    ui.AutotuneSwitched({d, r}, on, code == rc::Ok);
    ReleasePort(*reg, HandOver::Pause);
    return code;
}

void RunProgram(TModel& model, TParams& R) {
    TSurfaces& ui = model.Surfaces();
    const RegulatorRef ref{R.DeviceIndex, R.RegNo};
    TDevice* device = model.Device(R.DeviceIndex);
    const std::string port = device ? device->ParentPort : "";
    const std::string address = device ? device->Address : "";
    auto selected = [&] { return ui.IsSelected(ref); };

    ui.SetStatus("Программа выполняется...");
    bool switchedOn = false;
    std::optional<bool> readBack;
    R.ProgFailed = false;
    if (SwitchRegulator(model, R.DeviceIndex, R.RegNo, true, &readBack) != rc::Ok) {
        // The program does not run; whether the regulator is on all the
        // same is said, and the model and the tree follow the instrument.
        R.ProgFailed = true;
        if (readBack) SetRegOn(model, R, *readBack);
        ui.AddErrorLine("Ошибка включения регулятора " + std::to_string(R.RegNo) +
                        "; Прибор на порте: " + port + " с адресом: " + address +
                        StateText(readBack));
    } else {
        switchedOn = true;
        SetRegOn(model, R, true);
        if (R.StartPending) {
            R.StartTime = MonotonicSeconds();
            R.StartPending = false;
        }
        const int count = R.Prog_PointCount;
        for (int i = 1; i <= count; ++i) {
            const auto point = static_cast<std::size_t>(i);
            R.CurPoint = static_cast<std::uint8_t>(i);
            if (!R.OnOff[point]) continue;
            R.Setpoint = R.Tempr[point].load();
            if (selected()) ui.SetProgramStopEnabled(true);

            bool stopped = false;
            while (WriteRegulatorParams(model, R.DeviceIndex, R.RegNo, true) != 0) {
                std::this_thread::sleep_for(kProgramStep);
                if (R.ProgStop) {
                    stopped = true;
                    break;
                }
            }
            if (stopped) break;

            ui.SetStatus("");
            const double end = MonotonicSeconds() + R.Time[point].load();
            if (selected()) {
                ui.FillRegulatorPage(ref);
                ui.FillProgramGrid(ref);
            }
            for (;;) {
                std::this_thread::sleep_for(kProgramStep);
                const double now = MonotonicSeconds();
                if (selected() && now <= end) ui.ShowProgramTime(ref, i, DurationText(end - now));
                if (R.ProgStop || !R.OnOff[point] || now > end) break;
            }
            if (selected()) {
                ui.SetProgramStopEnabled(false);
                ui.ShowProgramTime(ref, i, DurationText(R.Time[point].load()));
            }
            if (R.ProgStop) break;
        }
    }

    if (selected()) ui.SetProgramStopEnabled(true);
    if (switchedOn) {
        // A finished program tries until the regulator is off; a stopped one once.
        for (;;) {
            if (SwitchRegulator(model, R.DeviceIndex, R.RegNo, false) == rc::Ok) {
                SetRegOn(model, R, false);
                break;
            }
            ui.AddErrorLine("Ошибка выключения регулятора " + std::to_string(R.RegNo) +
                            "; Прибор на порте: " + port + " с адресом: " + address);
            std::this_thread::sleep_for(kProgramStep);
            if (R.ProgStop) break;
        }
    }
    if (selected()) ui.SetProgramStopEnabled(false);
    SetProgRunning(R, false);
    if (selected()) {
        ui.FillRegulatorPage(ref);
        ui.FillProgramGrid(ref);
    }
    if (!R.RegOn) {
        ui.SetRegulatorChecked(ref, false);
        ui.SetRegulatorValue(ref, "");
    }
    ui.SetStatus("");
    R.ProgStop = true;
    R.SetProgThread(nullptr);
    ui.OperationFinished(Operation::Program, false);
}

}  // namespace zorvat
