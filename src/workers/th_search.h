// The polling job: one thread per serial port with instruments. It polls
// the status block of every running regulator at most every 600 ms, updates
// the live states, shows the measured value in the tree, feeds the chart and
// hands its port over to any operation that asks for it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model.h"

namespace zorvat {

class TJob;
class TTrendRecorder;

// PortJobs: at most one job per port COM1..COM10, by port number.
class TPortJobs : public TPollingJobs {
  public:
    // With a recorder, every poll of a running regulator is also a row of
    // its trend file.
    explicit TPortJobs(TModel& model, TTrendRecorder* recorder = nullptr);
    ~TPortJobs() override;

    // The slot of a port name ("COM1" -> 1, "COM10" -> 10); 0 when the port
    // has none (not COM1..COM10).
    static int SlotOf(const std::string& portName);

    bool Has(const std::string& portName) const override;
    bool Serving(const std::string& portName) const override;
    void CreateSuspended(const std::string& portName) override;
    void StartAll() override;
    void Ensure(const std::string& portName) override;
    void StopAll() override;
    std::size_t Count() const override;

  private:
    friend class TJob;
    // A job that ended by itself empties its own slot.
    void Release(int slot, const TJob* job);
    // Joins the threads of jobs that ended by themselves and are done.
    void Reap();

    TModel& model_;
    TTrendRecorder* const recorder_;
    mutable std::mutex mu_;
    std::array<std::shared_ptr<TJob>, 11> slots_;
    // Jobs that left their slot by themselves; their threads are joined by
    // the next Reap or StopAll, so none outlives the model.
    std::vector<std::shared_ptr<TJob>> ended_;
    // Jobs a StopAll has taken out and waits for.
    std::vector<std::shared_ptr<TJob>> stopping_;
};

// The polling jobs of a model, as TModel's constructor takes them.
std::unique_ptr<TPollingJobs> MakePortJobs(TModel& model);
// The same, recording every poll with `recorder`, which outlives the model.
PollingJobsFactory MakeRecordingPortJobs(TTrendRecorder& recorder);

}  // namespace zorvat
