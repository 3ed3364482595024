// Calls handed from any thread to the thread of one object, run there one by
// one in the order they were handed over.
//
// The calls travel through our own locked queue; the event posted to wake
// that thread carries nothing, so every hand-over of data between the
// threads is under a lock the thread checker can see.
#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

namespace zorvat {

class TUiQueue : public QObject {
    Q_OBJECT

  public:
    explicit TUiQueue(QObject* parent = nullptr) : QObject(parent) {}

    // Runs `fn` on this object's thread: at once when called there, queued
    // otherwise. Nothing runs any more once the queue is closed.
    void Post(std::function<void()> fn);
    // Drops what waits and refuses what comes.
    void Close();
    bool Closed() const { return closed_; }

  private:
    Q_INVOKABLE void Drain();

    std::mutex mu_;
    std::deque<std::function<void()>> calls_;  // guarded by mu_
    std::atomic<bool> closed_{false};
};

}  // namespace zorvat
