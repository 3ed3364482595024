// The window's handlers around the command workers, without the window:
// which operation may start, what refuses it, how it is asked to stop. At
// most one search, one read and one regulator write run at a time; link
// checks, switches, autotunes and programs may overlap.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "model.h"
#include "search.h"

namespace zorvat {

class TOperations {
  public:
    explicit TOperations(TModel& model) : model_(model) {}

    // Empties the model and starts the search; false while one runs.
    bool StartSearch(const SearchRange& range);
    // Read of one instrument (ReadOne, ReadRegulator) or of all (ReadAll);
    // false while a read runs.
    bool StartRead(Operation which, std::uint8_t device);
    // The write of a regulator's parameters; returns the refusal shown to the
    // operator, empty when the write started (or one already runs).
    std::string StartWrite(std::uint8_t device, std::uint8_t regulator);
    // The stop form of the search, read and write buttons.
    void Stop() { model_.StopFlag = true; }

    void StartCheckLink(std::uint8_t device);
    void StartSwitch(std::uint8_t device, std::uint8_t regulator, bool on);
    void StartAutotune(std::uint8_t device, std::uint8_t regulator, bool on);

    // Starts the regulator's setpoint program; returns the refusal
    // ("Нет выбранных точек."), empty when it started or already runs.
    std::string StartProgram(std::uint8_t device, std::uint8_t regulator);
    void StopProgram(std::uint8_t device, std::uint8_t regulator);

    // Blocks until every worker has ended.
    void WaitIdle() { model_.Workers.WaitIdle(); }

  private:
    TModel& model_;
    std::mutex programStartMu_;
};

}  // namespace zorvat
