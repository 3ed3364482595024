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

// What a request to start an operation came to.
struct StartReply {
    bool started = false;
    // Shown to the operator; empty when there is nothing to say (the
    // operation started, one of its kind already runs, or the regulator is
    // gone).
    std::string refusal;
};

class TOperations {
  public:
    explicit TOperations(TModel& model) : model_(model) {}

    // Empties the model and starts the search; false while one runs.
    bool StartSearch(const SearchRange& range);
    // Read of one instrument (ReadOne, ReadRegulator) or of all (ReadAll);
    // false while a read runs.
    bool StartRead(Operation which, std::uint8_t device);
    // The write of a regulator's parameters.
    StartReply StartWrite(std::uint8_t device, std::uint8_t regulator);
    // The stop form of the search, read and write buttons.
    void Stop() { model_.StopFlag = true; }

    void StartCheckLink(std::uint8_t device);
    void StartSwitch(std::uint8_t device, std::uint8_t regulator, bool on);
    void StartAutotune(std::uint8_t device, std::uint8_t regulator, bool on);

    // Starts the regulator's setpoint program; refused without a point
    // ("Нет выбранных точек.").
    StartReply StartProgram(std::uint8_t device, std::uint8_t regulator);
    void StopProgram(std::uint8_t device, std::uint8_t regulator);

    // Blocks until every worker has ended.
    void WaitIdle() { model_.Workers.WaitIdle(); }

  private:
    TModel& model_;
    std::mutex programStartMu_;
};

}  // namespace zorvat
