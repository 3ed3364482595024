// The project file and the settings file.
//
// A project keeps the instruments found (port, address, baud rate, model
// name, software version) and, for both regulators of each, whether it
// exists, its setpoint program and its chart settings. The settings file
// "PID_prop.inf" in the program's folder names the project to open at the
// next start. Both are INI files in Windows-1251; in memory every text is
// UTF-8. Paths are UTF-8 too.
//
// The functions run on the window's thread. The window builds its tree from
// the device list after a load; nothing here touches a widget.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ini_file.h"
#include "model.h"

namespace zorvat {

inline constexpr std::string_view kSettingsFileName = "PID_prop.inf";
inline constexpr std::string_view kDefaultProjectName = "Default.prj";
inline constexpr std::string_view kNewProjectName = "New.prj";
// The name of an instrument whose section has none.
inline constexpr std::string_view kDefaultDeviceName = "ЗОРВАТ-7x";
// A load looks at the sections Device0 to Device255 only.
inline constexpr std::size_t kProjectSections = 256;
inline constexpr int kMinProgramPoints = 2;
inline constexpr int kMaxProgramPoints = 255;

// What a project keeps of one instrument, as plain data: the form in which
// a file is read before the model is touched, and in which the model is
// written.
struct ProjectPoint {
    bool on = false;
    double setpoint = 0;
    double seconds = 0;  // the point's duration
};

struct ProjectRegulator {
    bool present = false;
    std::int32_t color = 0;  // 0x00BBGGRR; -1 while the window has given none
    double xMultiplier = 1;  // 1 for minutes, 1/60 for hours
    // kMinProgramPoints..kMaxProgramPoints of them.
    std::vector<ProjectPoint> points = std::vector<ProjectPoint>(kMinProgramPoints);
};

struct ProjectDevice {
    std::string name{kDefaultDeviceName};
    bool present = true;
    std::string port = "COM1";
    std::string address = "1";
    std::int32_t baudrate = 9600;
    std::uint8_t poVersion = 0;
    std::array<ProjectRegulator, 2> regulators;  // regulator 1, regulator 2
};

// The file's text, Windows-1251: "Date_Time" with `dateTime`, then one
// section "Device"n per instrument, n its position in `devices`.
std::string ProjectText(const std::vector<ProjectDevice>& devices, std::string_view dateTime);

struct ProjectDevices {
    // What a load appends, in section order: the instruments of the sections
    // Device0..Device255 whose "Present" reads true, the first kMaxDevices of
    // them.
    std::vector<ProjectDevice> devices;
    // The instruments marked present that are left out: those beyond the
    // first kMaxDevices and those of sections numbered above 255.
    std::size_t notLoaded = 0;
    // When notLoaded is not 0, that they were not loaded, in the operator's
    // words; otherwise empty.
    std::string reason;
};
// A missing key, or a value that does not convert, gives the key's default;
// point counts are brought into 2..255.
ProjectDevices ReadProjectDevices(const IniReader& file);
// The model's instruments, present or not, in device-list order.
std::vector<ProjectDevice> ProjectDevicesOf(const TModel& model);

// `fileName` in the program's folder.
std::string ProgramFile(std::string_view programDir, std::string_view fileName);
// What follows the base title of the main window: " - [Default.prj]".
std::string ProjectTitlePart(std::string_view projectFile);

// Records `projectFile` as the project of the next start. False when the
// settings file cannot be written; the old one then stays as it was. The
// file's other sections (the window's, below) are kept.
bool WriteSettingsFile(const std::string& programDir, const std::string& projectFile);

// A section of the settings file beside the project's: what the window
// keeps between runs (its place and size, the splitters, the columns).
// Keys and values are the caller's texts; reading a section that is not
// there gives nothing.
using SettingsSection = std::vector<std::pair<std::string, std::string>>;
SettingsSection ReadSettingsSection(const std::string& programDir, std::string_view section);
// Replaces the section and keeps the rest of the file.
bool WriteSettingsSection(const std::string& programDir, std::string_view section,
                          const SettingsSection& values);

struct SettingsFile {
    // The project the settings file names when that file exists, otherwise
    // Default.prj in the program's folder.
    std::string projectPath;
    bool found = false;  // the settings file exists
};
SettingsFile ReadSettingsFile(const std::string& programDir);

// Writes the device list to `path`. The old file is replaced only by a
// complete new one: false, and the old file whole, when the write fails or
// the file is write-protected; `reason`, when given, then says why in the
// operator's words ("Файл защищён от записи.").
bool SaveProject(const TModel& model, const std::string& path, std::string* reason = nullptr);

struct LoadedProject {
    // False when `path` is not a file that can be read whole (one larger than
    // kMaxIniBytes is refused): the model, its jobs and the project state are
    // as they were.
    bool loaded = false;
    std::size_t devices = 0;
    // Instruments of the file that were left out (more than kMaxDevices).
    std::size_t notLoaded = 0;
    // In the operator's words: why the file was not loaded, or, when it was
    // and notLoaded is not 0, that the rest were not. Empty otherwise.
    std::string reason;
    // The distinct ports of the instruments, in order of first appearance;
    // one polling job runs for each of them that is COM1..COM10.
    std::vector<std::string> ports;
};
// Empties the model (ClearDevices), appends the project's instruments, each
// with both regulator records, channel 1, and channels 2 and 3 when
// regulator 2 exists, starts one polling job per distinct port and reports
// the project as unchanged. The window then rebuilds its tree.
LoadedProject LoadProject(TModel& model, const std::string& path);
// The same with the file's text already read: `loaded` is always true.
LoadedProject LoadProject(TModel& model, const IniReader& file);

struct StartProject {
    // The project of this run: always in the program's folder, under the
    // file name the settings file gives.
    std::string projectFile;
    std::string titlePart;       // " - [name]"
    bool settingsFound = false;  // PID_prop.inf exists
    bool loaded = false;         // the project file existed and was loaded
    std::string reason;          // LoadedProject::reason of its load
};
// Opens the project of the last run at program start. The model is emptied
// even when no project file exists.
StartProject OpenStartProject(TModel& model, const std::string& programDir);

}  // namespace zorvat
