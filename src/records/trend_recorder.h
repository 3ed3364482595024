// The trend recorder: a thread of its own that appends the polling job's
// rows to the day's file of each regulator.
//
// The polling job only puts a row in a bounded queue and never waits for
// the disk; when the queue is full the row is dropped and counted. The
// writer hands each batch of whole lines to the system with one write per
// file, so that a crash or a kill leaves every line it wrote complete, and
// syncs what it wrote to the disk every two seconds. A folder that cannot be
// written (or a full disk) is reported once; the rows of that time are lost,
// the polling goes on, and the recording resumes by itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trend_file.h"

namespace zorvat {

class TTrendRecorder {
  public:
    // A line for the error window (without the time: the caller adds it).
    using Reporter = std::function<void(const std::string& message)>;

    static constexpr std::size_t kDefaultCapacity = 65536;

    explicit TTrendRecorder(std::size_t capacity = kDefaultCapacity);
    // Writes what is queued, syncs and closes the files.
    ~TTrendRecorder();
    TTrendRecorder(const TTrendRecorder&) = delete;
    TTrendRecorder& operator=(const TTrendRecorder&) = delete;

    // The folder of the files; created when it does not exist. Rows are
    // taken only while a folder is set and recording is on.
    void SetFolder(const std::string& folder);
    std::string Folder() const;
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    // Called on the writer's thread.
    void SetReporter(Reporter reporter);

    // Queues a row; never waits for the disk. False when the row was not
    // taken (recording off, no folder, queue full).
    bool Add(const TrendSource& source, TrendRow row);
    // Waits until every row queued before the call is written and synced.
    void Flush();

    // Rows written, and rows lost (queue full, folder or disk failing).
    std::uint64_t Written() const { return written_; }
    std::uint64_t Dropped() const { return dropped_; }
    // The file the last row of a regulator went to; empty before its first.
    std::string CurrentFile(const TrendSource& source) const;

  private:
    struct Item {
        TrendSource source;
        TrendRow row;
    };
    struct OpenFile;
    class Files;

    void Run();
    void Report(const std::string& message);

    const std::size_t capacity_;
    mutable std::mutex mu_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<Item> queue_;
    std::string folder_;
    std::atomic<bool> enabled_{true};
    bool stop_ = false;
    bool overflowed_ = false;
    std::uint64_t flushAsked_ = 0;
    std::uint64_t flushDone_ = 0;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> dropped_{0};
    Reporter reporter_;
    mutable std::mutex filesMu_;
    std::vector<std::pair<std::string, std::string>> current_;  // key, path
    std::thread thread_;
};

}  // namespace zorvat
