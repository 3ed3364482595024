// Command workers: one thread per operation started from the window (search,
// reads, regulator write, link check, switching, autotune, a setpoint
// program). A worker frees itself when its operation returns.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "worker_group.h"

namespace zorvat {

class TThreadCycle : public std::enable_shared_from_this<TThreadCycle> {
  public:
    // Runs `proc` once on a new thread, started at once. The thread keeps the
    // object alive until `proc` has returned.
    static std::shared_ptr<TThreadCycle> Start(std::function<void()> proc,
                                               TWorkerGroup* group = nullptr);

    // Blocks until `proc` has returned. Never from the worker itself.
    void Wait();
    bool Finished() const { return finished_.load(); }

  private:
    TThreadCycle() = default;
    void Run(std::function<void()> proc, TWorkerGroup* group);

    std::mutex mu_;
    std::condition_variable done_;
    std::atomic<bool> finished_{false};
};

}  // namespace zorvat
