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

// PortJobs: at most one job per port COM1..COM10, by port number.
class TPortJobs {
  public:
    explicit TPortJobs(TModel& model);
    ~TPortJobs();

    // The slot of a port name ("COM1" -> 1, "COM10" -> 10); 0 when the port
    // has none (not COM1..COM10).
    static int SlotOf(const std::string& portName);

    bool Has(const std::string& portName) const;
    // Whether a job of the port still runs, in its slot or while it is
    // being stopped or ends by itself: until it has ended it may hold the
    // port, and it answers every request for it.
    bool Serving(const std::string& portName) const;
    // Creates a job for the port, not yet started, unless one exists.
    void CreateSuspended(const std::string& portName);
    // Starts every job created suspended.
    void StartAll();
    // EnsurePortJob: creates and starts a job for the port unless one exists.
    void Ensure(const std::string& portName);
    // Stops every job and waits until each has ended.
    void StopAll();
    std::size_t Count() const;

  private:
    friend class TJob;
    // A job that ended by itself empties its own slot.
    void Release(int slot, const TJob* job);
    // Joins the threads of jobs that ended by themselves and are done.
    void Reap();

    TModel& model_;
    mutable std::mutex mu_;
    std::array<std::shared_ptr<TJob>, 11> slots_;
    // Jobs that left their slot by themselves; their threads are joined by
    // the next Reap or StopAll, so none outlives the model.
    std::vector<std::shared_ptr<TJob>> ended_;
    // Jobs a StopAll has taken out and waits for.
    std::vector<std::shared_ptr<TJob>> stopping_;
};

// Switches a regulator's on-state in the model: starts its port's polling
// job and takes the chart's time origin when it goes on.
void SetRegOn(TModel& model, TParams& r, bool on);
void EnsurePortJob(TModel& model, TParams& r);

}  // namespace zorvat
