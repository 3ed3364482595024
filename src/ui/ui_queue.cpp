#include "ui_queue.h"

#include <QThread>

namespace zorvat {

void TUiQueue::Post(std::function<void()> fn) {
    if (closed_) return;
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    bool wake = false;
    {
        std::lock_guard lock(mu_);
        wake = calls_.empty();
        calls_.push_back(std::move(fn));
    }
    // While calls wait, a wake-up is already on its way.
    if (wake) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void TUiQueue::Close() {
    closed_ = true;
    std::lock_guard lock(mu_);
    calls_.clear();
}

void TUiQueue::Drain() {
    // One at a time: a call that lets events run meanwhile does not let later
    // calls overtake earlier ones.
    while (!closed_) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mu_);
            if (calls_.empty()) return;
            fn = std::move(calls_.front());
            calls_.pop_front();
        }
        fn();
    }
}

}  // namespace zorvat
