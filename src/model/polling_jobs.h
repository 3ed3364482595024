// What the model needs of the polling jobs: one per port with instruments,
// started by a search, a project load or a regulator switched on, all
// stopped when the model is cleared. The jobs themselves belong to the
// workers; the model reaches them only through this.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace zorvat {

class TModel;

class TPollingJobs {
  public:
    virtual ~TPollingJobs() = default;

    // Whether the port has a job in its slot.
    virtual bool Has(const std::string& portName) const = 0;
    // Whether a job of the port still runs, in its slot or while it is
    // being stopped or ends by itself: until it has ended it may hold the
    // port, and it answers every request for it.
    virtual bool Serving(const std::string& portName) const = 0;
    // Creates a job for the port, not yet started, unless one exists.
    virtual void CreateSuspended(const std::string& portName) = 0;
    // Starts every job created suspended.
    virtual void StartAll() = 0;
    // Creates and starts a job for the port unless one exists.
    virtual void Ensure(const std::string& portName) = 0;
    // Stops every job and waits until each has ended.
    virtual void StopAll() = 0;
    virtual std::size_t Count() const = 0;
};

// Makes the polling jobs of a model (the workers' TPortJobs, in the program).
using PollingJobsFactory = std::function<std::unique_ptr<TPollingJobs>(TModel&)>;

}  // namespace zorvat
