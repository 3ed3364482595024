#include "Thread.h"

#include <thread>

namespace zorvat {

std::shared_ptr<TThreadCycle> TThreadCycle::Start(std::function<void()> proc, TWorkerGroup* group) {
    std::shared_ptr<TThreadCycle> worker(new TThreadCycle());
    if (group != nullptr) group->Enter();
    // The thread owns a reference: the worker frees itself when it is done,
    // whoever else still holds one.
    std::thread([self = worker, p = std::move(proc), group]() mutable {
        self->Run(std::move(p), group);
    }).detach();
    return worker;
}

void TThreadCycle::Run(std::function<void()> proc, TWorkerGroup* group) {
    proc();
    proc = nullptr;  // whatever it holds goes before anyone is told it ended
    {
        std::lock_guard lock(mu_);
        finished_ = true;
    }
    done_.notify_all();
    if (group != nullptr) group->Leave();
}

void TThreadCycle::Wait() {
    std::unique_lock lock(mu_);
    done_.wait(lock, [this] { return finished_.load(); });
}

}  // namespace zorvat
