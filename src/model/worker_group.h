// The workers the model started: it waits for all of them before it frees
// what they reach (the records, the surfaces).
#pragma once

#include <condition_variable>
#include <mutex>

namespace zorvat {

// Counts the workers that run.
class TWorkerGroup {
  public:
    void Enter();
    void Leave();
    // Blocks until no worker of the group runs.
    void WaitIdle();
    int Running() const;

  private:
    mutable std::mutex mu_;
    std::condition_variable idle_;
    int running_ = 0;
};

}  // namespace zorvat
