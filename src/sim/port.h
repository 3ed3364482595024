// One simulated serial line: a pseudo-terminal, the instruments on it, and
// the thread that listens, decides and answers at the line's own pace.
//
// The thread owns the descriptors while it runs; everything the outside
// touches (instruments, log, settings, paths) sits behind one mutex, which
// the thread holds only while it decides an answer, never while it waits.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sim/instrument.h"
#include "sim/pty.h"
#include "sim/request_record.h"

namespace zorvat::sim {

class Port {
  public:
    // Creates the pseudo-terminal at once, so the path is known before the
    // thread starts. With a link folder the port is also reachable as
    // linkDir/name, a link that follows the port across unplug and replug.
    Port(std::string name, std::string linkDir, const ProcessSettings& settings);
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    const std::string& Name() const { return name_; }
    // The path a host opens: the link when there is a link folder, else the
    // current /dev/pts/N (which changes at each replug).
    std::string DevicePath() const;
    std::string PtyPath() const;
    bool Plugged() const;

    void Start();
    // Stops the thread promptly (a reply under way is cut short) and joins it.
    void Stop();
    bool Running() const;

    // The host's reads return end-of-file or EIO, its writes fail, and the
    // device node disappears (and the link with it).
    void Unplug();
    // A new pseudo-terminal; the link, if any, is re-pointed to it.
    void Replug();

    void AddInstrument(int address, const ModelInfo& model, unsigned baud);
    std::vector<int> Addresses() const;
    // Runs `f` on the instrument under the port's lock, the process brought
    // up to date first. Throws std::invalid_argument for an unknown address.
    template <class F>
    decltype(auto) WithInstrument(int address, F&& f) {
        std::lock_guard lock(mu_);
        Instrument& instrument = Find(address);
        instrument.Advance(Clock::now());
        return f(instrument);
    }
    template <class F>
    void ForEachInstrument(F&& f) {
        std::lock_guard lock(mu_);
        for (auto& [address, instrument] : instruments_)
            f(*instrument);
    }

    void SetTurnaround(std::chrono::microseconds turnaround);
    std::chrono::microseconds Turnaround() const;
    void SetProcessSettings(const ProcessSettings& settings);
    void SetTrace(TraceFn trace);
    void SetLogLimit(std::size_t limit);

    std::vector<RequestRecord> Requests() const;
    // Empties the log. A request whose reply is still going out when the log
    // is cleared does not come back into it when it completes.
    void ClearRequests();
    // Waits until the log holds at least `count` records and the port has
    // finished with every one of them. False on time-out.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    struct Frame {
        std::string text;  // ":" .. checksum
        bool typed = false;
        std::size_t wireBytes = 0;  // 0xFF and CR included
        Clock::time_point first;
        Clock::time_point last;
    };

    void Run();
    void ServeCommands();
    void ReadInput();
    void Feed(const char* data, std::size_t size, Clock::time_point now);
    void Serve(const Frame& frame);
    bool Send(const ReplyPlan& plan, Clock::time_point start, std::chrono::nanoseconds byteTime,
              RequestRecord& record);
    bool WaitUntil(Clock::time_point deadline);
    void Wake() const;
    void DrainWake() const;
    void Record(const RequestRecord& record);
    void Trace(const RequestRecord& record);
    Instrument& Find(int address);
    // With mu_ held (or the thread not running):
    void DoUnplug();
    void DoReplug();
    void PointLink();

    const std::string name_;
    const std::string linkDir_;
    const std::string linkPath_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;

    std::mutex lifecycle_;  // serialises Start and Stop

    // Guarded by mu_.
    mutable std::mutex mu_;
    mutable std::condition_variable changed_;
    std::map<int, std::unique_ptr<Instrument>> instruments_;
    std::deque<RequestRecord> log_;
    // Records numbered below this were cleared: their late completion stays out.
    std::uint64_t logFloor_ = 0;
    std::uint64_t lastLogged_ = 0;
    std::size_t logLimit_ = 20000;
    std::chrono::microseconds turnaround_{10000};
    ProcessSettings settings_;
    std::shared_ptr<const TraceFn> trace_;
    std::string ptsPath_;
    bool plugged_ = false;
    bool running_ = false;
    bool wantPlugged_ = true;
    std::uint64_t commandSeq_ = 0;
    std::uint64_t doneSeq_ = 0;

    std::atomic<bool> stop_{false};
    std::atomic<bool> commandPending_{false};
    std::thread thread_;

    // The thread's own (touched by others only while it is not running).
    PtyPair pty_;
    std::deque<Frame> pending_;
    Frame partial_;
    bool inFrame_ = false;
    std::optional<Clock::time_point> returnAt_;
    std::uint64_t sequence_ = 0;
};

}  // namespace zorvat::sim
