#include "sim/port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace zorvat::sim {

namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// A request can be no longer than what the host's checksum accepts (249
// characters) plus checksum and CR; anything longer is line noise.
constexpr std::size_t kMaxFrame = 300;

// Waits longer than this sleep in poll() and keep serving the wake-up pipe
// and the line; the last stretch is an exact clock_nanosleep.
constexpr nanoseconds kCoarseWait = milliseconds(2);
constexpr nanoseconds kFineMargin = milliseconds(1);

timespec ToTimespec(Clock::time_point t) {
    const auto ns = duration_cast<nanoseconds>(t.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ts;
}

int PollTimeoutMs(nanoseconds left) {
    if (left <= nanoseconds::zero()) return 0;
    const auto ms = duration_cast<milliseconds>(left + milliseconds(1) - nanoseconds(1));
    return static_cast<int>(std::min<std::int64_t>(ms.count(), 60'000));
}

}  // namespace

Port::Port(std::string name, std::string linkDir, const ProcessSettings& settings)
    : name_(std::move(name)),
      linkDir_(std::move(linkDir)),
      linkPath_(linkDir_.empty() ? std::string() : linkDir_ + "/" + name_),
      settings_(settings) {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    try {
        std::lock_guard lock(mu_);
        DoReplug();
    } catch (...) {
        ClosePty(pty_);
        ::close(wakeRead_);
        ::close(wakeWrite_);
        throw;
    }
}

Port::~Port() {
    Stop();
    ClosePty(pty_);
    if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

std::string Port::DevicePath() const {
    std::lock_guard lock(mu_);
    return linkPath_.empty() ? ptsPath_ : linkPath_;
}

std::string Port::PtyPath() const {
    std::lock_guard lock(mu_);
    return ptsPath_;
}

bool Port::Plugged() const {
    std::lock_guard lock(mu_);
    return plugged_;
}

bool Port::Running() const {
    std::lock_guard lock(mu_);
    return running_;
}

void Port::Start() {
    std::lock_guard lifecycle(lifecycle_);
    std::lock_guard lock(mu_);
    if (running_) return;
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&Port::Run, this);
}

void Port::Stop() {
    std::lock_guard lifecycle(lifecycle_);
    {
        std::lock_guard lock(mu_);
        if (!running_) return;
    }
    stop_ = true;
    Wake();
    thread_.join();
    std::lock_guard lock(mu_);
    running_ = false;
    // A plug request the thread had no time for is carried out here.
    try {
        if (wantPlugged_ && !plugged_) {
            DoReplug();
        } else if (!wantPlugged_ && plugged_) {
            DoUnplug();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zorvat-sim: %s: %s\n", name_.c_str(), e.what());
    }
    doneSeq_ = commandSeq_;
    commandPending_ = false;
    changed_.notify_all();
}

void Port::Unplug() {
    std::unique_lock lock(mu_);
    wantPlugged_ = false;
    if (!running_) {
        if (plugged_) DoUnplug();
        returnAt_.reset();
        return;
    }
    const auto seq = ++commandSeq_;
    commandPending_ = true;
    Wake();
    changed_.wait(lock, [&] { return doneSeq_ >= seq || !running_; });
}

void Port::Replug() {
    std::unique_lock lock(mu_);
    // Already there: a reply under way is not to be cut short for nothing.
    if (plugged_ && wantPlugged_) return;
    wantPlugged_ = true;
    if (!running_) {
        if (!plugged_) DoReplug();
        returnAt_.reset();
        return;
    }
    const auto seq = ++commandSeq_;
    commandPending_ = true;
    Wake();
    changed_.wait(lock, [&] { return doneSeq_ >= seq || !running_; });
}

void Port::DoUnplug() {
    ClosePty(pty_);
    plugged_ = false;
    pending_.clear();
    inFrame_ = false;
    if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
}

void Port::DoReplug() {
    PtyPair fresh = OpenPty();
    ClosePty(pty_);
    pty_ = fresh;
    ptsPath_ = pty_.path;
    plugged_ = true;
    pending_.clear();
    inFrame_ = false;
    PointLink();
}

void Port::PointLink() {
    if (linkPath_.empty()) return;
    // A new link under a temporary name, renamed over the old one: a host
    // never finds the path missing while the port is plugged in.
    const std::string temp = linkDir_ + "/." + name_ + ".new";
    ::unlink(temp.c_str());
    if (::symlink(ptsPath_.c_str(), temp.c_str()) != 0 ||
        ::rename(temp.c_str(), linkPath_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        throw std::system_error(e, std::generic_category(), "link " + linkPath_);
    }
}

void Port::Wake() const {
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const auto n = ::write(wakeWrite_, &byte, 1);
}

void Port::DrainWake() const {
    char buffer[64];
    while (::read(wakeRead_, buffer, sizeof buffer) > 0) {
    }
}

void Port::AddInstrument(int address, const ModelInfo& model, unsigned baud) {
    std::lock_guard lock(mu_);
    if (instruments_.count(address) != 0) {
        throw std::invalid_argument(name_ + " already has an instrument at address " +
                                    std::to_string(address));
    }
    auto instrument = std::make_unique<Instrument>(address, model, Clock::now(), settings_);
    instrument->SetBaud(baud);
    instruments_.emplace(address, std::move(instrument));
}

std::vector<int> Port::Addresses() const {
    std::lock_guard lock(mu_);
    std::vector<int> out;
    for (const auto& [address, instrument] : instruments_)
        out.push_back(address);
    return out;
}

Instrument& Port::Find(int address) {
    const auto it = instruments_.find(address);
    if (it == instruments_.end()) {
        throw std::invalid_argument(name_ + " has no instrument at address " +
                                    std::to_string(address));
    }
    return *it->second;
}

void Port::SetTurnaround(microseconds turnaround) {
    std::lock_guard lock(mu_);
    turnaround_ = std::max(turnaround, microseconds::zero());
}

microseconds Port::Turnaround() const {
    std::lock_guard lock(mu_);
    return turnaround_;
}

void Port::SetProcessSettings(const ProcessSettings& settings) {
    std::lock_guard lock(mu_);
    const auto now = Clock::now();
    settings_ = settings;
    for (auto& [address, instrument] : instruments_)
        instrument->SetProcessSettings(settings, now);
}

void Port::SetTrace(TraceFn trace) {
    std::lock_guard lock(mu_);
    trace_ = trace ? std::make_shared<const TraceFn>(std::move(trace)) : nullptr;
}

void Port::SetLogLimit(std::size_t limit) {
    std::lock_guard lock(mu_);
    logLimit_ = std::max<std::size_t>(limit, 1);
    while (log_.size() > logLimit_)
        log_.pop_front();
}

std::vector<RequestRecord> Port::Requests() const {
    std::lock_guard lock(mu_);
    return {log_.begin(), log_.end()};
}

void Port::ClearRequests() {
    std::lock_guard lock(mu_);
    log_.clear();
    logFloor_ = lastLogged_ + 1;
}

bool Port::WaitForRequests(std::size_t count, milliseconds timeout) const {
    std::unique_lock lock(mu_);
    return changed_.wait_for(lock, timeout, [&] {
        if (log_.size() < count) return false;
        return std::all_of(log_.begin(), log_.end(),
                           [](const RequestRecord& r) { return r.finished; });
    });
}

void Port::Record(const RequestRecord& record) {
    std::lock_guard lock(mu_);
    if (record.sequence < logFloor_) return;
    lastLogged_ = std::max(lastLogged_, record.sequence);
    // The record may already be in the log (its reply has been sent since):
    // it is then brought up to date, looked for from the newest end.
    for (auto it = log_.rbegin(); it != log_.rend(); ++it) {
        if (it->sequence == record.sequence) {
            *it = record;
            changed_.notify_all();
            return;
        }
        if (it->sequence < record.sequence) break;
    }
    log_.push_back(record);
    while (log_.size() > logLimit_)
        log_.pop_front();
    changed_.notify_all();
}

void Port::Trace(const RequestRecord& record) {
    std::shared_ptr<const TraceFn> trace;
    {
        std::lock_guard lock(mu_);
        trace = trace_;
    }
    if (trace) (*trace)(name_, record);
}

void Port::Run() {
    // The default timer slack (50 us) would show in every paced byte.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!stop_) {
        ServeCommands();
        if (!pending_.empty()) {
            const Frame frame = std::move(pending_.front());
            pending_.pop_front();
            Serve(frame);
            continue;
        }
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {pty_.master, POLLIN, 0}};
        const nfds_t count = pty_.master >= 0 ? 2 : 1;
        int timeout = -1;
        if (pty_.master < 0 && returnAt_) timeout = PollTimeoutMs(*returnAt_ - Clock::now());
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR) {
            std::perror("zorvat-sim: poll");
            ::usleep(10000);
            continue;
        }
        if (fds[0].revents != 0) DrainWake();
        if (count == 2 && (fds[1].revents & POLLIN) != 0) {
            ReadInput();
        } else if (count == 2 && fds[1].revents != 0) {
            // With our own slave descriptor open this does not happen; if it
            // does, do not spin on it.
            ::usleep(1000);
        }
    }
}

void Port::ServeCommands() {
    if (commandPending_) {
        std::lock_guard lock(mu_);
        try {
            if (wantPlugged_ && !plugged_) {
                DoReplug();
            } else if (!wantPlugged_ && plugged_) {
                DoUnplug();
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zorvat-sim: %s: %s\n", name_.c_str(), e.what());
        }
        returnAt_.reset();
        doneSeq_ = commandSeq_;
        commandPending_ = false;
        changed_.notify_all();
    }
    if (returnAt_ && Clock::now() >= *returnAt_) {
        std::lock_guard lock(mu_);
        returnAt_.reset();
        if (!plugged_) {
            wantPlugged_ = true;
            try {
                DoReplug();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "zorvat-sim: %s: %s\n", name_.c_str(), e.what());
            }
        }
    }
}

void Port::ReadInput() {
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(pty_.master, buffer, sizeof buffer);
        if (n > 0) {
            Feed(buffer, static_cast<std::size_t>(n), Clock::now());
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

void Port::Feed(const char* data, std::size_t size, Clock::time_point now) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        const bool marker = c == ':';
        const bool typedPrefix = static_cast<unsigned char>(c) == 0xFF;
        if (typedPrefix) {
            // Always the start of a typed frame, whatever came before.
            partial_ = Frame{{}, true, 1, now, now};
            inFrame_ = true;
            continue;
        }
        if (marker) {
            // A ":" right after 0xFF continues the typed frame; anywhere else
            // it starts a new one and what came before was broken.
            const bool continuesTyped = inFrame_ && partial_.typed && partial_.text.empty();
            if (continuesTyped) {
                partial_.text = ":";
                ++partial_.wireBytes;
            } else {
                partial_ = Frame{":", false, 1, now, now};
                inFrame_ = true;
            }
            continue;
        }
        if (!inFrame_) continue;
        if (partial_.text.empty()) {
            inFrame_ = false;  // 0xFF followed by anything but ":"
            continue;
        }
        ++partial_.wireBytes;
        if (c == '\r') {
            partial_.last = now;
            pending_.push_back(std::move(partial_));
            partial_ = Frame{};
            inFrame_ = false;
            continue;
        }
        partial_.text.push_back(c);
        if (partial_.text.size() > kMaxFrame) inFrame_ = false;
    }
}

void Port::Serve(const Frame& frame) {
    const unsigned line = LineSpeed(pty_.master);
    RequestRecord record;
    record.sequence = ++sequence_;
    record.text = frame.text;
    record.typed = frame.typed;
    record.lineBaud = line;
    record.firstByte = frame.first;
    record.lastByte = frame.last;

    ReplyPlan plan;
    microseconds turnaround{};
    {
        std::lock_guard lock(mu_);
        turnaround = turnaround_;
        if (const auto request = ParseRequest(frame.text, frame.typed)) {
            const auto it = instruments_.find(request->address);
            // At another line speed the instrument hears only garbage.
            if (it != instruments_.end() && line != 0 && it->second->Baud() == line) {
                it->second->Advance(frame.last);
                plan = it->second->Answer(*request);
            }
        }
    }
    record.answered = plan.answer;
    record.reply = plan.bytes;
    record.faults = plan.faults;
    record.vanished = plan.vanish;
    Record(record);

    if (plan.vanish) {
        std::lock_guard lock(mu_);
        wantPlugged_ = false;
        DoUnplug();
        if (plan.vanishFor > milliseconds::zero()) returnAt_ = Clock::now() + plan.vanishFor;
    } else if (plan.answer) {
        // The request took its own wire time to arrive, counted from its first
        // byte; the instrument then turns the line around and answers.
        const nanoseconds byteTime(10'000'000'000LL / line);
        const auto start = frame.first + byteTime * static_cast<std::int64_t>(frame.wireBytes) +
                           turnaround + plan.delay;
        record.replyComplete = Send(plan, start, byteTime, record);
    }
    record.finished = true;
    Record(record);
    Trace(record);
}

bool Port::Send(const ReplyPlan& plan, Clock::time_point start, nanoseconds byteTime,
                RequestRecord& record) {
    const auto& bytes = plan.bytes;
    nanoseconds paused{0};
    std::size_t nextPause = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (nextPause < plan.pauseBefore.size() && plan.pauseBefore[nextPause] == i) {
            paused += plan.pause;
            ++nextPause;
        }
        const auto deadline = start + paused + byteTime * static_cast<std::int64_t>(i + 1);
        if (!WaitUntil(deadline)) return false;
        // Non-blocking: with nobody reading, a full buffer drops the byte
        // as an unconnected line would.
        for (;;) {
            const ssize_t n = ::write(pty_.master, &bytes[i], 1);
            if (n < 0 && errno == EINTR) continue;
            break;
        }
        const auto now = Clock::now();
        if (i == 0) record.replyStart = now;
        if (i + 1 == bytes.size()) record.replyEnd = now;
    }
    return true;
}

bool Port::WaitUntil(Clock::time_point deadline) {
    for (;;) {
        if (stop_ || commandPending_) return false;
        const auto left = deadline - Clock::now();
        if (left <= nanoseconds::zero()) return true;
        if (left > kCoarseWait) {
            // Long waits (slow lines, delays, pauses) keep listening, so a
            // stop is prompt and a request that arrives meanwhile keeps the
            // time of its first byte.
            pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {pty_.master, POLLIN, 0}};
            const int timeout =
                static_cast<int>(duration_cast<milliseconds>(left - kFineMargin).count());
            if (::poll(fds, 2, timeout) > 0) {
                if (fds[0].revents != 0) DrainWake();
                if ((fds[1].revents & POLLIN) != 0) ReadInput();
            }
            continue;
        }
        const timespec ts = ToTimespec(deadline);
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
        return true;
    }
}

}  // namespace zorvat::sim
