#include "Files.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "atomic_file.h"
#include "cp1251.h"
#include "hex_text.h"
#include "value_forms.h"

namespace zorvat {

namespace fs = std::filesystem;

namespace {

constexpr double kHoursMultiplier = 1.0 / 60.0;
constexpr long long kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr long long kInt32Max = std::numeric_limits<std::int32_t>::max();

fs::path PathOf(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string DeviceSection(std::size_t n) {
    return "Device" + std::to_string(n);
}

std::string RegulatorKey(int r, std::string_view name) {
    return "PID" + std::to_string(r) + "_" + std::string(name);
}

std::string PointKey(int r, std::string_view name, std::size_t j) {
    return RegulatorKey(r, name) + std::to_string(j);
}

// The reads of one section: every value through its form, the key's default
// when the key is missing or its value does not convert.
class SectionReader {
  public:
    SectionReader(const IniReader& file, std::string section)
        : file_(file), section_(std::move(section)) {}

    std::optional<std::string_view> Raw(std::string_view key) const {
        return file_.Find(section_, key);
    }
    std::string Text(std::string_view key, std::string_view fallback) const {
        const auto raw = Raw(key);
        return raw ? Cp1251ToUtf8(*raw) : std::string(fallback);
    }
    bool Bool(std::string_view key, bool fallback) const {
        const auto raw = Raw(key);
        return raw ? ParseBool(*raw).value_or(fallback) : fallback;
    }
    long long Integer(std::string_view key, long long min, long long max,
                      long long fallback) const {
        const auto raw = Raw(key);
        const auto value = raw ? ParseInteger(*raw) : std::nullopt;
        return value && *value >= min && *value <= max ? *value : fallback;
    }
    double Real(std::string_view key, double fallback) const {
        const auto raw = Raw(key);
        return raw ? ParseReal(*raw).value_or(fallback) : fallback;
    }
    double Duration(std::string_view key) const {
        const auto raw = Raw(key);
        return raw ? ParseDuration(*raw).value_or(0.0) : 0.0;
    }

  private:
    const IniReader& file_;
    std::string section_;
};

ProjectRegulator ReadRegulator(const SectionReader& s, int r) {
    ProjectRegulator reg;
    reg.present = s.Bool(RegulatorKey(r, "Present"), false);

    // A count far out of range is still a count: it is clamped, not replaced.
    long long count = kMinProgramPoints;
    if (const auto raw = s.Raw(RegulatorKey(r, "Prog_PointCount"))) {
        count = ParseInteger(*raw).value_or(kMinProgramPoints);
    }
    count = std::clamp<long long>(count, kMinProgramPoints, kMaxProgramPoints);

    reg.color = static_cast<std::int32_t>(
        s.Integer(RegulatorKey(r, "SerieColor"), kInt32Min, kInt32Max, 0));
    const double multiplier = s.Real(RegulatorKey(r, "SerieXType"), 1.0);
    // A multiplier that is not positive would fold the whole curve onto one
    // spot. The 15 digits of 1/60 stand for 1/60 itself.
    reg.xMultiplier = multiplier > 0 ? multiplier : 1.0;
    if (FormatReal(reg.xMultiplier) == FormatReal(kHoursMultiplier)) {
        reg.xMultiplier = kHoursMultiplier;
    }

    reg.points.resize(static_cast<std::size_t>(count));
    for (std::size_t j = 0; j < reg.points.size(); ++j) {
        ProjectPoint& p = reg.points[j];
        p.on = s.Bool(PointKey(r, "OnOff", j), false);
        p.setpoint = s.Real(PointKey(r, "Tempr", j), 0.0);
        p.seconds = s.Duration(PointKey(r, "Time", j));
    }
    return reg;
}

// "Device"n with n above 255 in the decimal form a save writes ("device300"
// too: names are matched without regard to letter case).
bool IsSectionBeyond(std::string_view name) {
    constexpr std::string_view prefix = "device";
    if (name.size() <= prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = name[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[i]) {
            return false;
        }
    }
    const std::string_view digits = name.substr(prefix.size());
    if (digits[0] == '0') return false;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
    }
    return digits.size() > 3 || (digits.size() == 3 && digits > "255");
}

// The instruments marked present in the sections a load never reads, those
// numbered above 255; a section given twice counts once.
std::size_t PresentBeyondSections(const IniReader& file) {
    std::set<std::string> seen;
    std::size_t present = 0;
    for (const std::string_view name : file.SectionNames()) {
        if (!IsSectionBeyond(name)) continue;
        std::string digits(name.substr(6));
        if (!seen.insert(std::move(digits)).second) continue;
        if (SectionReader(file, std::string(name)).Bool("Present", false)) ++present;
    }
    return present;
}

void Store(TParams& r, const ProjectRegulator& reg) {
    r.Present = reg.present;
    r.Serie.SetColor(reg.color);
    r.Serie.SetXMultiplier(reg.xMultiplier);
    const std::size_t count =
        std::clamp<std::size_t>(reg.points.size(), kMinProgramPoints, kMaxProgramPoints);
    r.Prog_PointCount = static_cast<std::uint8_t>(count);
    for (std::size_t j = 0; j < std::min(count, reg.points.size()); ++j) {
        r.OnOff[j + 1] = reg.points[j].on;
        r.Tempr[j + 1] = reg.points[j].setpoint;
        r.Time[j + 1] = reg.points[j].seconds;
    }
}

ProjectRegulator Snapshot(const TParams& r) {
    ProjectRegulator reg;
    reg.present = r.Present;
    reg.color = r.Serie.DrawnColor();
    reg.xMultiplier = r.Serie.XMultiplier();
    const int count = std::clamp<int>(r.Prog_PointCount, kMinProgramPoints, kMaxProgramPoints);
    reg.points.resize(static_cast<std::size_t>(count));
    for (std::size_t j = 0; j < reg.points.size(); ++j)
        reg.points[j] = {r.OnOff[j + 1], r.Tempr[j + 1], r.Time[j + 1]};
    return reg;
}

}  // namespace

std::string ProjectText(const std::vector<ProjectDevice>& devices, std::string_view dateTime) {
    IniWriter file;
    file.Set("Date_Time", "DateTime", dateTime);
    for (std::size_t n = 0; n < devices.size(); ++n) {
        const ProjectDevice& d = devices[n];
        const std::string section = DeviceSection(n);
        file.Set(section, "Name", Utf8ToCp1251(d.name));
        file.Set(section, "Present", FormatBool(d.present));
        file.Set(section, "ParentPort", Utf8ToCp1251(d.port));
        file.Set(section, "Address", Utf8ToCp1251(d.address));
        file.Set(section, "Baudrate", std::to_string(d.baudrate));
        file.Set(section, "POversion", std::to_string(d.poVersion));
        for (int r = 1; r <= 2; ++r) {
            const ProjectRegulator& reg = d.regulators[static_cast<std::size_t>(r - 1)];
            const std::size_t count =
                std::clamp<std::size_t>(reg.points.size(), kMinProgramPoints, kMaxProgramPoints);
            file.Set(section, RegulatorKey(r, "Present"), FormatBool(reg.present));
            file.Set(section, RegulatorKey(r, "Prog_PointCount"), std::to_string(count));
            file.Set(section, RegulatorKey(r, "SerieColor"), std::to_string(reg.color));
            file.Set(section, RegulatorKey(r, "SerieXType"), FormatReal(reg.xMultiplier));
            for (std::size_t j = 0; j < count; ++j) {
                const ProjectPoint p = j < reg.points.size() ? reg.points[j] : ProjectPoint{};
                file.Set(section, PointKey(r, "OnOff", j), FormatBool(p.on));
                file.Set(section, PointKey(r, "Tempr", j), FormatReal(p.setpoint));
                file.Set(section, PointKey(r, "Time", j), FormatDuration(p.seconds));
            }
        }
    }
    return file.Text();
}

ProjectDevices ReadProjectDevices(const IniReader& file) {
    ProjectDevices result;
    std::vector<ProjectDevice>& devices = result.devices;
    for (std::size_t n = 0; n < kProjectSections; ++n) {
        const SectionReader s(file, DeviceSection(n));
        if (!s.Bool("Present", false)) continue;
        if (devices.size() == kMaxDevices) {  // a device index is one byte
            ++result.notLoaded;
            continue;
        }
        ProjectDevice d;
        d.port = s.Text("ParentPort", "COM1");
        // The address is at most three characters (bytes of the code page).
        const auto address = s.Raw("Address");
        if (address) {
            // Blanks cut in by the three characters ("12 [x" gives "12 ") are
            // not part of it: an address goes into every request frame.
            std::string_view text = address->substr(0, 3);
            while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
                text.remove_suffix(1);
            d.address = Cp1251ToUtf8(text);
        } else {
            d.address = "1";
        }
        d.baudrate = static_cast<std::int32_t>(s.Integer("Baudrate", kInt32Min, kInt32Max, 9600));
        d.poVersion = static_cast<std::uint8_t>(s.Integer("POversion", 0, 255, 0));
        d.present = true;
        d.name = s.Text("Name", kDefaultDeviceName);
        for (int r = 1; r <= 2; ++r)
            d.regulators[static_cast<std::size_t>(r - 1)] = ReadRegulator(s, r);
        devices.push_back(std::move(d));
    }
    result.notLoaded += PresentBeyondSections(file);
    if (result.notLoaded > 0) {
        result.reason = "Приборов в файле: " + std::to_string(devices.size() + result.notLoaded) +
                        ", а в проекте их может быть не больше " + std::to_string(kMaxDevices) +
                        ". Загружены первые " + std::to_string(devices.size()) +
                        ", не загружено: " + std::to_string(result.notLoaded) +
                        "; сохранение проекта запишет только загруженные.";
    }
    return result;
}

std::vector<ProjectDevice> ProjectDevicesOf(const TModel& model) {
    std::vector<ProjectDevice> devices;
    for (std::size_t i = 0; i < model.DeviceList.Count(); ++i) {
        const TDevice* device = model.Device(i);
        if (device == nullptr) break;
        ProjectDevice d;
        d.name = device->Name;
        d.present = device->Present;
        d.port = device->ParentPort;
        d.address = device->Address;
        d.baudrate = device->Baudrate;
        d.poVersion = device->POversion;
        for (int r = 1; r <= 2; ++r) {
            const TParams* reg = model.Regulator(i, r);
            auto& out = d.regulators[static_cast<std::size_t>(r - 1)];
            out = reg != nullptr ? Snapshot(*reg) : ProjectRegulator{};
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

std::string ProgramFile(std::string_view programDir, std::string_view fileName) {
    return Utf8Of(PathOf(programDir) / PathOf(fileName));
}

std::string ProjectTitlePart(std::string_view projectFile) {
    return " - [" + Utf8Of(PathOf(projectFile).filename()) + "]";
}

namespace {

constexpr std::string_view kDateSection = "Date_Time";
constexpr std::string_view kProjectSection = "DefFile";

// The settings file with `replaced` set anew by `fill` and every other
// section as it stands. The project's sections lead the file, as they
// always have; another section goes after the rest.
bool RewriteSettings(const std::string& programDir, std::string_view replaced,
                     const std::function<void(IniWriter&)>& fill) {
    const auto path = PathOf(ProgramFile(programDir, kSettingsFileName));
    const bool project = replaced == kProjectSection;
    IniWriter file;
    if (project) fill(file);
    if (const auto old = IniReader::Load(path)) {
        for (std::string_view section : old->SectionNames()) {
            if (EqualIgnoringAsciiCase(section, replaced) ||
                (project && EqualIgnoringAsciiCase(section, kDateSection)))
                continue;
            // A key given twice keeps the value it is read with, its first
            // line's (the writer keeps one line per key).
            for (const auto& entry : old->Entries(section))
                file.Set(section, entry.first, *old->Find(section, entry.first));
        }
    }
    if (!project) fill(file);
    return file.Save(path);
}

}  // namespace

bool WriteSettingsFile(const std::string& programDir, const std::string& projectFile) {
    return RewriteSettings(programDir, kProjectSection, [&](IniWriter& file) {
        file.Set(kDateSection, "DateTime", DateTimeText(std::time(nullptr)));
        file.Set(kProjectSection, "Name", Utf8ToCp1251(projectFile));
    });
}

SettingsSection ReadSettingsSection(const std::string& programDir, std::string_view section) {
    SettingsSection values;
    const auto file = IniReader::Load(PathOf(ProgramFile(programDir, kSettingsFileName)));
    if (!file) return values;
    for (const auto& [key, value] : file->Entries(section))
        values.emplace_back(std::string(key), std::string(value));
    return values;
}

bool WriteSettingsSection(const std::string& programDir, std::string_view section,
                          const SettingsSection& values) {
    return RewriteSettings(programDir, section, [&](IniWriter& file) {
        for (const auto& [key, value] : values)
            file.Set(section, key, value);
    });
}

SettingsFile ReadSettingsFile(const std::string& programDir) {
    const std::string fallback = ProgramFile(programDir, kDefaultProjectName);
    const auto file = IniReader::Load(PathOf(ProgramFile(programDir, kSettingsFileName)));
    if (!file) return {fallback, false};
    const auto named = file->Find("DefFile", "Name");
    std::string path = named ? Cp1251ToUtf8(*named) : fallback;
    std::error_code ec;
    if (!fs::is_regular_file(PathOf(path), ec)) path = fallback;
    return {path, true};
}

bool SaveProject(const TModel& model, const std::string& path, std::string* reason) {
    const std::string text = ProjectText(ProjectDevicesOf(model), DateTimeText(std::time(nullptr)));
    return ReplaceFileContents(PathOf(path), text, reason);
}

LoadedProject LoadProject(TModel& model, const std::string& path) {
    std::string reason;
    const auto file = IniReader::Load(PathOf(path), &reason);
    if (!file) {
        LoadedProject result;
        result.reason = std::move(reason);
        return result;
    }
    return LoadProject(model, *file);
}

LoadedProject LoadProject(TModel& model, const IniReader& file) {
    LoadedProject result;
    const ProjectDevices read = ReadProjectDevices(file);

    result.loaded = true;
    result.notLoaded = read.notLoaded;
    result.reason = read.reason;
    model.ClearDevices();
    for (const ProjectDevice& saved : read.devices) {
        const auto d = static_cast<std::uint8_t>(model.DeviceList.Count());
        // Other threads see an instrument once it is in the list, so it is
        // complete before it is appended.
        auto device = std::make_unique<TDevice>();
        device->Name = saved.name;
        device->Present = saved.present;
        device->ParentPort = saved.port;
        device->Address = saved.address;
        device->Baudrate = saved.baudrate;
        device->POversion = saved.poVersion;
        for (int r = 1; r <= 2; ++r) {
            auto& reg = device->Regs[static_cast<std::size_t>(r)];
            reg = std::make_unique<TParams>(d, static_cast<std::uint8_t>(r));
            Store(*reg, saved.regulators[static_cast<std::size_t>(r - 1)]);
        }
        // Instruments with two regulators have three channels.
        const int channels = device->Regs[2]->Present ? 3 : 1;
        for (int c = 1; c <= channels; ++c) {
            device->Chnls[static_cast<std::size_t>(c)] =
                std::make_unique<TChnl>(d, static_cast<std::uint8_t>(c));
        }
        if (!model.DeviceList.Append(std::move(device))) break;
        ++result.devices;
        model.PortJobs().Ensure(saved.port);
        if (std::find(result.ports.begin(), result.ports.end(), saved.port) == result.ports.end()) {
            result.ports.push_back(saved.port);
        }
    }
    model.Surfaces().SetProjectChanged(false);
    return result;
}

StartProject OpenStartProject(TModel& model, const std::string& programDir) {
    const SettingsFile settings = ReadSettingsFile(programDir);
    // The start project is always taken from the program's folder, whatever
    // folder the settings file names.
    const std::string name = Utf8Of(PathOf(settings.projectPath).filename());
    StartProject start;
    start.projectFile = ProgramFile(programDir, name);
    start.titlePart = ProjectTitlePart(start.projectFile);
    start.settingsFound = settings.found;
    model.ClearDevices();
    const LoadedProject loaded = LoadProject(model, start.projectFile);
    start.loaded = loaded.loaded;
    start.reason = loaded.reason;
    return start;
}

}  // namespace zorvat
