// The command workers' bodies around the regulator exchanges: what each
// reports on the window, and the setpoint program that the PC runs point by
// point.
#pragma once

#include <cstdint>

#include "model.h"
#include "result_codes.h"
#include "surfaces.h"

namespace zorvat {

// The read workers: `op` is ReadOne, ReadRegulator or ReadAll (with
// kAllDevices); ends with OperationFinished(op, how the read ended).
void ReadWorker(TModel& model, Operation op, std::uint8_t which);

// The write worker of the regulator page; ends with RegulatorWriteEnded and
// OperationFinished(Operation::Write, how the write ended).
void WriteWorker(TModel& model, std::uint8_t d, std::uint8_t r);

// The on/off worker: SwitchRegulator, then the model and the tree follow,
// or an error line says why not (and, when it could be read back, whether
// the regulator is on).
TResult SwitchWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on);

// The autotune worker: starts (on) or stops autotuning of the regulator.
TResult AutotuneWorker(TModel& model, std::uint8_t d, std::uint8_t r, bool on);

// The program worker: runs the regulator's setpoint program once through
// its points and switches the regulator off at the end. A program whose
// regulator could not be switched on at its start sets the record's
// ProgFailed.
void RunProgram(TModel& model, TParams& r);

}  // namespace zorvat
