#include "program_dir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#define ZORVAT_ACCESS _access
#define ZORVAT_W_OK 2
#else
#include <unistd.h>
#define ZORVAT_ACCESS ::access
#define ZORVAT_W_OK W_OK
#endif

namespace zorvat {

namespace {

std::filesystem::path ExecutableDir() {
    std::error_code ec;
#ifdef _WIN32
    return std::filesystem::current_path(ec);
#else
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
#endif
}

std::filesystem::path UserDataDir() {
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    return std::filesystem::path(appData ? appData : ".") / "zorvat7x";
#else
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg) / "zorvat7x";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/tmp") / ".local" / "share" / "zorvat7x";
#endif
}

}  // namespace

std::string FindProgramDir(const std::string& overrideDir) {
    return FindProgramDir(overrideDir, ExecutableDir());
}

bool IsInstalledLayout(const std::filesystem::path& exeDir) {
    std::error_code ec;
    return std::filesystem::is_directory(exeDir.parent_path() / "share" / "zorvat7x", ec);
}

std::string FindProgramDir(const std::string& overrideDir, const std::filesystem::path& exeDir) {
    std::error_code ec;
    if (!overrideDir.empty()) {
        std::filesystem::create_directories(overrideDir, ec);
        return std::filesystem::absolute(overrideDir, ec).string();
    }
    // An installed program keeps nothing beside itself, even when run by an
    // account that may write there (root and /usr/bin).
    if (!exeDir.empty() && !IsInstalledLayout(exeDir) &&
        ZORVAT_ACCESS(exeDir.string().c_str(), ZORVAT_W_OK) == 0) {
        return exeDir.string();
    }
    const auto userDir = UserDataDir();
    std::filesystem::create_directories(userDir, ec);
    return userDir.string();
}

}  // namespace zorvat
