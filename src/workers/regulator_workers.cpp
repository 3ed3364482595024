#include "regulator_workers.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "error_line.h"
#include "regulator_control.h"
#include "regulator_exchange.h"

namespace zorvat {

namespace {

using namespace std::chrono_literals;
constexpr auto kProgramStep = 300ms;

// What an error line adds when the on-state was read back after a failure.
std::string StateText(const std::optional<bool>& on) {
    if (!on) return "";
    return *on ? " Регулятор включён." : " Регулятор выключен.";
}

}  // namespace

void ReadWorker(TModel& model, Operation op, std::uint8_t which) {
    TSurfaces& surfaces = model.Surfaces();
    const Outcome outcome = ReadInstrumentParams(model, which);
    if (outcome == Outcome::Stopped)
        surfaces.AddErrorLine("Внимание! Чтение параметров прервано!!!");
    TickRegulatorNodes(model);
    if (const auto selected = surfaces.SelectedRegulator()) surfaces.FillRegulatorPage(*selected);
    surfaces.SetStatus("");
    surfaces.SetProgress(0);
    surfaces.OperationFinished(op, outcome);
}

void WriteWorker(TModel& model, std::uint8_t d, std::uint8_t r) {
    TSurfaces& surfaces = model.Surfaces();
    surfaces.ClearErrorLog();
    Outcome outcome = Outcome::Failed;
    bool tried = false;
    RegulatorWrite report;
    if (const TParams* R = model.Regulator(d, r)) {
        if (R->KpOn || R->Ti != 0.0 || R->Td != 0.0) {
            tried = true;
            outcome = WriteRegulatorParams(model, d, r, false, &report);
        } else {
            // A regulator with no P, I or D part would do nothing at all.
            surfaces.AddErrorLine("Нет включенных коэффициентов в таблице!!!");
        }
    }
    if (!tried || outcome == Outcome::Stopped)
        surfaces.AddErrorLine("Внимание! Запись параметров прервана!!!");
    surfaces.SetStatus("");
    surfaces.SetProgress(0);
    surfaces.RegulatorWriteEnded({d, r}, report);
    surfaces.OperationFinished(Operation::Write, outcome);
}

TResult SwitchWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on) {
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
        ui.AddErrorLine(
            Format({.layout = ErrorLayout::Switch,
                    .code = code,
                    .port = device ? device->ParentPort : "",
                    .address = device ? device->Address : "",
                    .tail = "Номер регулятора: " + std::to_string(r) + StateText(readBack),
                    .head = "Ошибка включения/выключения регулятора!"}));
    }
    ui.RegulatorSwitched(ref, on, code == rc::Ok);
    return code;
}

TResult AutotuneWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on) {
    TSurfaces& ui = model.Surfaces();
    const TDevice* device = model.Device(d);
    if (device == nullptr || model.Regulator(d, r) == nullptr) return rc::BadArgument;
    const TResult code = SwitchAutotune(model, d, r, on);
    if (code != rc::Ok) {
        ui.AddErrorLine(Format({.layout = ErrorLayout::Switch,
                                .code = code,
                                .port = device->ParentPort,
                                .address = device->Address,
                                .tail = "Номер регулятора: " + std::to_string(r),
                                .head = "Ошибка включения/выключения автонастройки!"}));
    }
    ui.AutotuneSwitched({d, r}, on, code == rc::Ok);
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
            while (WriteRegulatorParams(model, R.DeviceIndex, R.RegNo, true) == Outcome::Failed) {
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
    const bool stoppedByOperator = R.ProgStop;
    R.ProgStop = true;
    R.SetProgThread(nullptr);
    ui.OperationFinished(Operation::Program, R.ProgFailed        ? Outcome::Failed
                                             : stoppedByOperator ? Outcome::Stopped
                                                                 : Outcome::Done);
}

}  // namespace zorvat
