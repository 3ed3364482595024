// Fuzz target for the settings file: any bytes as PID_prop.inf in a
// program folder of its own (on tmpfs where there is one), read as a start
// does, then the window's section and the project's name written as the
// window does at its close.
//
// Neither write may change what any other section reads: every key of the
// old file reads the same value afterwards, and the project the file names
// stays the one it named.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "Files.h"
#include "ini_file.h"

namespace {

using namespace zorvat;
namespace fs = std::filesystem;

class ProgramDir {
  public:
    ProgramDir() {
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "zorvat-settings-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~ProgramDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

IniReader Reread(const std::string& file) {
    const auto read = IniReader::Load(file);
    if (!read) __builtin_trap();
    return *read;
}

// Every key of `before` outside the sections `replaced` (and `alsoReplaced`)
// reads the same in `after`.
void CheckKept(const IniReader& before, const IniReader& after, std::string_view replaced,
               std::string_view alsoReplaced = {}) {
    for (const std::string_view section : before.SectionNames()) {
        if (EqualNoCase(section, replaced) || EqualNoCase(section, alsoReplaced)) continue;
        for (const auto& [key, value] : before.Entries(section)) {
            static_cast<void>(value);
            if (after.Find(section, key) != before.Find(section, key)) __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ProgramDir dir;
    const std::string file = ProgramFile(dir.Path(), kSettingsFileName);
    const std::string text(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) std::abort();
    }
    const IniReader before(text);

    const SettingsFile settings = ReadSettingsFile(dir.Path());
    if (!settings.found || settings.projectPath.empty()) __builtin_trap();
    const SettingsSection window = ReadSettingsSection(dir.Path(), "Window");
    if (window.size() != before.Entries("Window").size()) __builtin_trap();

    const SettingsSection written{{"Geometry", "AAAA"}, {"Splitter", "1 2"}};
    if (!WriteSettingsSection(dir.Path(), "Window", written)) __builtin_trap();
    const IniReader afterWindow = Reread(file);
    CheckKept(before, afterWindow, "Window");
    if (ReadSettingsSection(dir.Path(), "window") != written) __builtin_trap();
    if (ReadSettingsFile(dir.Path()).projectPath != settings.projectPath) __builtin_trap();

    const std::string project = ProgramFile(dir.Path(), "Plant.prj");
    if (!WriteSettingsFile(dir.Path(), project)) __builtin_trap();
    const IniReader afterProject = Reread(file);
    CheckKept(afterWindow, afterProject, "DefFile", "Date_Time");
    if (afterProject.Find("DefFile", "Name") != std::optional<std::string_view>(project))
        __builtin_trap();
    return 0;
}
