#include "operations.h"

#include "Thread.h"
#include "regulator_workers.h"

namespace zorvat {

bool TOperations::StartSearch(const SearchRange& range) {
    bool idle = false;
    if (!model_.SearchThread.compare_exchange_strong(idle, true)) return false;
    // Whatever still runs on the old instruments ends first; StopFlag is
    // lowered again afterwards.
    model_.ClearDevices();
    model_.Surfaces().ClearTree();
    TThreadCycle::Start(
        [this, r = SearchRange(range)]() mutable {
            SearchInstruments(model_, r);
            model_.SearchThread = false;
        },
        &model_.Workers);
    return true;
}

bool TOperations::StartRead(Operation which, std::uint8_t device) {
    bool idle = false;
    if (!model_.ReadThread.compare_exchange_strong(idle, true)) return false;
    model_.StopFlag = false;
    model_.Surfaces().OperationStarted(which);
    TThreadCycle::Start(
        [this, which, device] {
            ReadWorker(model_, which, which == Operation::ReadAll ? kAllDevices : device);
            model_.ReadThread = false;
        },
        &model_.Workers);
    return true;
}

StartReply TOperations::StartWrite(std::uint8_t device, std::uint8_t regulator) {
    TParams* r = model_.Regulator(device, regulator);
    if (r == nullptr) return {};
    if (r->RegMode == 1 && (r->Relays1 & r->Relays2) != 0) {
        return {false,
                "Внимание!!! При трёхпозиционном регулировании Реле1 и Реле2 не могут "
                "перекрываться."};
    }
    if (r->SetpointSource == r->InputChannel || (regulator == 1 && r->SetpointSource == 1)) {
        return {false, "Внимание!!! Измерительный канал не может являться уставкой регулирования."};
    }
    bool idle = false;
    if (!model_.WriteThread.compare_exchange_strong(idle, true)) return {};
    model_.StopFlag = false;
    model_.Surfaces().OperationStarted(Operation::Write);
    TThreadCycle::Start(
        [this, device, regulator] {
            WriteWorker(model_, device, regulator);
            model_.WriteThread = false;
        },
        &model_.Workers);
    return {true, {}};
}

void TOperations::StartCheckLink(std::uint8_t device) {
    model_.Surfaces().OperationStarted(Operation::CheckLink);
    TThreadCycle::Start(
        [this, device] {
            model_.Surfaces().OperationFinished(Operation::CheckLink, CheckLink(model_, device));
        },
        &model_.Workers);
}

void TOperations::StartSwitch(std::uint8_t device, std::uint8_t regulator, bool on) {
    model_.Surfaces().OperationStarted(Operation::Switch);
    TThreadCycle::Start(
        [this, device, regulator, on] {
            const TResult code = SwitchWorker(model_, device, regulator, on);
            model_.Surfaces().OperationFinished(Operation::Switch,
                                                code == rc::Ok ? Outcome::Done : Outcome::Failed);
        },
        &model_.Workers);
}

void TOperations::StartAutotune(std::uint8_t device, std::uint8_t regulator, bool on) {
    model_.Surfaces().OperationStarted(Operation::Autotune);
    TThreadCycle::Start(
        [this, device, regulator, on] {
            const TResult code = AutotuneWorker(model_, device, regulator, on);
            model_.Surfaces().OperationFinished(Operation::Autotune,
                                                code == rc::Ok ? Outcome::Done : Outcome::Failed);
        },
        &model_.Workers);
}

StartReply TOperations::StartProgram(std::uint8_t device, std::uint8_t regulator) {
    TParams* r = model_.Regulator(device, regulator);
    if (r == nullptr) return {};
    bool anyPoint = false;
    for (std::size_t i = 1; i <= r->Prog_PointCount; ++i)
        anyPoint = anyPoint || r->OnOff[i];
    if (!anyPoint) return {false, "Нет выбранных точек."};
    if (r->ProgThread()) return {};
    model_.Surfaces().OperationStarted(Operation::Program);
    model_.Surfaces().SetRegulatorChecked({device, regulator}, true);
    r->ProgStop = false;
    SetProgRunning(*r, true);
    // The record is set before the worker can end and clear it again.
    std::lock_guard lock(programStartMu_);
    r->SetProgThread(TThreadCycle::Start(
        [this, r] {
            { std::lock_guard started(programStartMu_); }
            RunProgram(model_, *r);
        },
        &model_.Workers));
    return {true, {}};
}

void TOperations::StopProgram(std::uint8_t device, std::uint8_t regulator) {
    if (TParams* r = model_.Regulator(device, regulator)) r->ProgStop = true;
}

}  // namespace zorvat
