#include "worker_group.h"

namespace zorvat {

void TWorkerGroup::Enter() {
    std::lock_guard lock(mu_);
    ++running_;
}

void TWorkerGroup::Leave() {
    std::lock_guard lock(mu_);
    if (--running_ == 0) idle_.notify_all();
}

void TWorkerGroup::WaitIdle() {
    std::unique_lock lock(mu_);
    idle_.wait(lock, [this] { return running_ == 0; });
}

int TWorkerGroup::Running() const {
    std::lock_guard lock(mu_);
    return running_;
}

}  // namespace zorvat
