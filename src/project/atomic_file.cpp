#include "atomic_file.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>

#include <cerrno>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zorvat {

namespace fs = std::filesystem;

namespace {

// A name that no other save, in this process or another, picks at the same
// time; the exclusive create below catches the rest.
fs::path TemporaryBeside(const fs::path& target) {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t mix =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    mix ^= (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
#ifndef _WIN32
    mix ^= static_cast<std::uint64_t>(::getpid()) << 40;
#endif
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(mix));
    fs::path name = target.filename();
    name += suffix;
    return target.parent_path() / name;
}

// 0: written; otherwise an errno value, EEXIST when the name is taken. A
// file it created and could not complete is removed again.
#ifdef _WIN32

int WriteNewFile(const fs::path& tmp, std::string_view bytes) {
    std::error_code ec;
    if (fs::exists(tmp, ec)) return EEXIST;
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return EIO;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    out.close();
    if (!out.fail()) return 0;
    fs::remove(tmp, ec);
    return EIO;
}

void SyncFolder(const fs::path&) {}

#else

int WriteNewFile(const fs::path& tmp, std::string_view bytes) {
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int error = 0;
    std::size_t done = 0;
    while (error == 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            error = errno;
        } else if (n == 0) {
            error = EIO;
        }
    }
    // The data must be on the disk before the rename makes it the file.
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) ::unlink(tmp.c_str());
    return error;
}

// The rename itself becomes durable with the folder's entry.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

#endif

// A file that exists and must not be written: no write permission at all,
// or none for this process. The superuser passes every permission check of
// open() and rename(), so the mode itself is looked at.
bool WriteProtected(const fs::path& file, const fs::file_status& status) {
    constexpr fs::perms anyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & anyWrite) == fs::perms::none) return true;
#ifndef _WIN32
    if (::access(file.c_str(), W_OK) != 0 && errno == EACCES) return true;
#else
    (void)file;  // the read-only attribute is the permission bits above
#endif
    return false;
}

}  // namespace

std::string FileErrorText(int error, bool writing) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return writing ? "Папка не найдена." : "Файл не найден.";
        case EACCES:
        case EPERM:
            return writing ? "Нет прав на запись в папку." : "Нет прав на чтение файла.";
        case EISDIR:
            return "Это папка, а не файл.";
        case EROFS:
            return "Диск доступен только для чтения.";
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return "На диске нет места.";
        case EFBIG:
            return "Файл больше, чем разрешено записать.";
        case ENAMETOOLONG:
            return "Слишком длинное имя файла.";
        default:
            return std::string(writing ? "Ошибка записи: " : "Ошибка чтения: ") +
                   std::generic_category().message(error) + ".";
    }
}

bool ReplaceFileContents(const fs::path& path, std::string_view bytes, std::string* reason) {
    const auto fail = [reason](std::string why) {
        if (reason != nullptr) *reason = std::move(why);
        return false;
    };
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(path, ec)) {
        const fs::path resolved = fs::canonical(path, ec);
        if (!ec) target = resolved;
    }

    // What is there now: a file the new one may replace, or nothing.
    const auto old = fs::status(target, ec);
    const bool replacing = fs::exists(old);
    if (replacing && !fs::is_regular_file(old)) {
        return fail(fs::is_directory(old) ? FileErrorText(EISDIR, true) : "Это не файл.");
    }
    if (replacing && WriteProtected(target, old)) return fail("Файл защищён от записи.");

    fs::path tmp;
    int error = EEXIST;
    for (int attempt = 0; attempt < 8 && error == EEXIST; ++attempt) {
        tmp = TemporaryBeside(target);
        error = WriteNewFile(tmp, bytes);
    }
    if (error != 0) return fail(FileErrorText(error, true));

    // The new file keeps the old one's permissions.
    if (replacing) fs::permissions(tmp, old.permissions(), fs::perm_options::replace, ec);
    fs::rename(tmp, target, ec);
    if (ec) {
        const int renameError = ec.value();
        fs::remove(tmp, ec);
        return fail(FileErrorText(renameError, true));
    }
    SyncFolder(target.parent_path());
    return true;
}

}  // namespace zorvat
