#include "trend_recorder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zorvat {

namespace {

using Clock = std::chrono::steady_clock;
// Everything written is on the disk at most this long after it was written.
constexpr auto kSyncSpacing = std::chrono::seconds(2);
// The tail searched for the end of the last whole line of a file that a
// crash cut off in a line.
constexpr std::int64_t kTailSearch = 65536;

#ifdef _WIN32
int OpenAppend(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long long WriteSome(int fd, const char* data, std::size_t n) {
    return _write(fd, data, static_cast<unsigned>(n));
}
int SyncFile(int fd) {
    return _commit(fd);
}
int CloseFile(int fd) {
    return _close(fd);
}
int Truncate(int fd, std::int64_t size) {
    return _chsize_s(fd, size);
}
std::int64_t FileSize(int fd) {
    return _lseeki64(fd, 0, SEEK_END);
}
#else
int OpenAppend(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}
long long WriteSome(int fd, const char* data, std::size_t n) {
    return ::write(fd, data, n);
}
int SyncFile(int fd) {
    return ::fdatasync(fd);
}
int CloseFile(int fd) {
    return ::close(fd);
}
int Truncate(int fd, std::int64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size));
}
std::int64_t FileSize(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}
#endif

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

std::string Key(const TrendSource& s) {
    return s.port + '_' + std::to_string(s.address) + "_R" + std::to_string(s.regulator);
}

// The tail of a file that a crash cut off in the middle of a line: the
// offset just after its last "\n", or `size` when it ends with one.
std::int64_t WholeLinesEnd(const std::string& path, std::int64_t size) {
    if (size <= 0) return 0;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return size;
    const std::int64_t from = size > kTailSearch ? size - kTailSearch : 0;
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    bool ok = std::fseek(in, static_cast<long>(from), SEEK_SET) == 0 &&
              std::fread(tail.data(), 1, tail.size(), in) == tail.size();
    std::fclose(in);
    if (!ok || tail.back() == '\n') return size;
    const std::size_t last = tail.rfind('\n');
    // A "line" longer than the search is no row of ours: leave it alone.
    if (last == std::string::npos) return from == 0 ? 0 : size;
    return from + static_cast<std::int64_t>(last) + 1;
}

}  // namespace

// The writer's open files, one per regulator; only the writer's thread
// touches them.
struct TTrendRecorder::OpenFile {
    int fd = -1;
    std::string path;
    std::int64_t size = 0;
    bool dirty = false;
};

class TTrendRecorder::Files {
  public:
    explicit Files(TTrendRecorder& owner) : owner_(owner) {}
    ~Files() { CloseAll(); }

    void WriteBatch(std::vector<Item>& batch, const std::string& folder) {
        // Lines of one file are gathered and written with one call.
        struct Pending {
            std::string path;
            std::string lines;
            std::size_t rows = 0;
            int day = 0;  // the local date of `path`, yyyymmdd
        };
        std::map<std::string, Pending> pending;
        std::string key;
        for (Item& item : batch) {
            key = Key(item.source);
            const LocalTime& local = Local(item.row.wallMs);
            const int day = (local.year * 100 + local.month) * 100 + local.day;
            Pending& p = pending[key];
            if (p.day != day) {
                if (p.rows > 0) {
                    // Midnight: the day's file is done.
                    Write(key, p.path, p.lines, p.rows);
                    p.lines.clear();
                    p.rows = 0;
                }
                p.day = day;
                p.path =
                    (std::filesystem::path(folder) / TrendFileName(item.source, item.row.wallMs))
                        .string();
            }
            AppendTrendLine(item.row, local, p.lines);
            ++p.rows;
        }
        for (auto& [k, p] : pending) {
            if (p.rows > 0) Write(k, p.path, p.lines, p.rows);
        }
    }

    void SyncAll() {
        for (auto& [key, f] : files_) {
            if (f.fd >= 0 && f.dirty) {
                SyncFile(f.fd);
                f.dirty = false;
            }
        }
    }

    void CloseAll() {
        for (auto& [key, f] : files_)
            Close(f);
        files_.clear();
    }

  private:
    // The local time of a moment; the time zone is asked once a minute.
    const LocalTime& Local(std::int64_t wallMs) {
        const std::int64_t minute = wallMs >= 0 ? wallMs / 60000 : (wallMs - 59999) / 60000;
        if (minute != cachedMinute_) {
            cachedMinute_ = minute;
            cached_ = ToLocal(minute * 60000);
        }
        const std::int64_t inMinute = wallMs - minute * 60000;
        local_ = cached_;
        local_.second = static_cast<int>(inMinute / 1000);
        local_.ms = static_cast<int>(inMinute % 1000);
        return local_;
    }

    static void Close(OpenFile& f) {
        if (f.fd < 0) return;
        if (f.dirty) SyncFile(f.fd);
        CloseFile(f.fd);
        f.fd = -1;
        f.dirty = false;
    }

    // Opens (or keeps) the file of `key` at `path`; errno when it fails.
    int Open(OpenFile& f, const std::string& path) {
        if (f.fd >= 0 && f.path == path) return 0;
        Close(f);
        f.path = path;
        int fd = OpenAppend(path);
        if (fd < 0 && errno == ENOENT) {
            std::error_code ignored;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
            fd = OpenAppend(path);
        }
        if (fd < 0) return errno;
        std::int64_t size = FileSize(fd);
        if (size < 0) {
            const int error = errno;
            CloseFile(fd);
            return error;
        }
        // The day's file of an earlier run goes on; a line that run left
        // cut off (power lost in the middle of a write) is taken away.
        const std::int64_t whole = WholeLinesEnd(path, size);
        if (whole != size && Truncate(fd, whole) == 0) size = whole;
        f.fd = fd;
        f.size = size;
        if (size == 0) {
            std::string header(kTrendHeader);
            header += '\n';
            const int error = WriteAll(f, header);
            if (error != 0) {
                Close(f);
                return error;
            }
        }
        return 0;
    }

    // Writes whole lines; on failure the file is cut back to its last whole
    // line, and the error number is returned.
    static int WriteAll(OpenFile& f, const std::string& lines) {
        std::size_t done = 0;
        while (done < lines.size()) {
            const long long n = WriteSome(f.fd, lines.data() + done, lines.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : ENOSPC;
                if (done > 0) {
                    const std::size_t lastLine = lines.rfind('\n', done - 1);
                    const std::size_t keep = lastLine == std::string::npos ? 0 : lastLine + 1;
                    if (Truncate(f.fd, f.size + static_cast<std::int64_t>(keep)) == 0) {
                        f.size += static_cast<std::int64_t>(keep);
                    }
                    f.dirty = true;
                }
                return error;
            }
            done += static_cast<std::size_t>(n);
        }
        f.size += static_cast<std::int64_t>(lines.size());
        f.dirty = true;
        return 0;
    }

    void Write(const std::string& key, const std::string& path, const std::string& lines,
               std::size_t rows) {
        OpenFile& f = files_[key];
        int error = Open(f, path);
        if (error == 0) error = WriteAll(f, lines);
        if (error != 0) {
            Close(f);
            owner_.dropped_ += rows;
            if (!failing_) {
                failing_ = true;
                owner_.Report("Запись опроса в файл " + path + " невозможна: " + SystemText(error) +
                              ". Опрос продолжается; запись возобновится, как только файл "
                              "снова можно будет записать.");
            }
            return;
        }
        owner_.written_ += rows;
        {
            std::lock_guard lock(owner_.filesMu_);
            bool found = false;
            for (auto& [k, p] : owner_.current_) {
                if (k == key) {
                    p = path;
                    found = true;
                }
            }
            if (!found) owner_.current_.emplace_back(key, path);
        }
        if (failing_) {
            failing_ = false;
            owner_.Report("Запись опроса возобновлена: " + path + ".");
        }
    }

    TTrendRecorder& owner_;
    std::map<std::string, OpenFile> files_;
    bool failing_ = false;
    std::int64_t cachedMinute_ = -1;
    LocalTime cached_;
    LocalTime local_;
};

TTrendRecorder::TTrendRecorder(std::size_t capacity)
    : capacity_(capacity), thread_([this] { Run(); }) {}

TTrendRecorder::~TTrendRecorder() {
    {
        std::lock_guard lock(mu_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TTrendRecorder::SetFolder(const std::string& folder) {
    std::lock_guard lock(mu_);
    folder_ = folder;
}

std::string TTrendRecorder::Folder() const {
    std::lock_guard lock(mu_);
    return folder_;
}

void TTrendRecorder::SetEnabled(bool enabled) {
    // Switched off, the writer closes its files at its next sync.
    enabled_ = enabled;
}

void TTrendRecorder::SetReporter(Reporter reporter) {
    std::lock_guard lock(mu_);
    reporter_ = std::move(reporter);
}

bool TTrendRecorder::Add(const TrendSource& source, TrendRow row) {
    if (!enabled_) return false;
    {
        std::lock_guard lock(mu_);
        if (folder_.empty() || stop_) return false;
        if (queue_.size() >= capacity_) {
            ++dropped_;
            overflowed_ = true;
            return false;
        }
        queue_.push_back({source, std::move(row)});
    }
    wake_.notify_one();
    return true;
}

void TTrendRecorder::Flush() {
    std::unique_lock lock(mu_);
    const std::uint64_t ticket = ++flushAsked_;
    wake_.notify_all();
    done_.wait(lock, [&] { return flushDone_ >= ticket; });
}

std::string TTrendRecorder::CurrentFile(const TrendSource& source) const {
    const std::string key = Key(source);
    std::lock_guard lock(filesMu_);
    for (const auto& [k, path] : current_) {
        if (k == key) return path;
    }
    return {};
}

void TTrendRecorder::Report(const std::string& message) {
    Reporter reporter;
    {
        std::lock_guard lock(mu_);
        reporter = reporter_;
    }
    if (!reporter) return;
    try {
        reporter(message);
    } catch (...) {
        // The error window may be gone; the recording goes on.
    }
}

void TTrendRecorder::Run() {
    Files files(*this);
    std::vector<Item> batch;
    auto nextSync = Clock::now() + kSyncSpacing;
    std::uint64_t flushDone = 0;
    std::unique_lock lock(mu_);
    for (;;) {
        wake_.wait_until(lock, nextSync,
                         [&] { return stop_ || !queue_.empty() || flushAsked_ != flushDone_; });
        batch.swap(queue_);
        const std::string folder = folder_;
        const std::uint64_t asked = flushAsked_;
        const bool stopping = stop_;
        const bool overflowed = std::exchange(overflowed_, false);
        lock.unlock();

        if (overflowed) {
            Report("Запись опроса не успевает за опросом: часть точек не записана.");
        }
        if (!batch.empty()) files.WriteBatch(batch, folder);
        batch.clear();
        const auto now = Clock::now();
        if (now >= nextSync || asked != flushDone || stopping) {
            files.SyncAll();
            nextSync = now + kSyncSpacing;
        }
        if (!enabled_ || stopping) files.CloseAll();

        lock.lock();
        flushDone_ = asked;
        flushDone = asked;
        done_.notify_all();
        if (stopping && queue_.empty()) break;
    }
}

}  // namespace zorvat
