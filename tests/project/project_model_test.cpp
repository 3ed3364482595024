// Saving and loading the model, the settings file and the start project,
// with the polling jobs on simulated ports.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Devices.h"
#include "Files.h"
#include "ini_file.h"
#include "model.h"
#include "port_map.h"
#include "recording_surfaces.h"
#include "sim/simulator.h"
#include "temp_folder.h"
#include "th_search.h"

namespace zorvat {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

struct RegulatorSetup {
    bool present = true;
    std::int32_t color = -1;
    double xMultiplier = 1;
    std::vector<ProjectPoint> points = std::vector<ProjectPoint>(2);
};

// Appends an instrument as the search would: both regulator records, the
// channel records of its model.
TDevice& AddDevice(TModel& model, const std::string& port, const std::string& address,
                   const RegulatorSetup& r1 = {}, const RegulatorSetup& r2 = {}) {
    const auto d = static_cast<std::uint8_t>(model.DeviceList.Count());
    auto device = std::make_unique<TDevice>();
    device->Name = "ZURURU-71/M2";
    device->Present = true;
    device->ParentPort = port;
    device->Address = address;
    device->Baudrate = 9600;
    const RegulatorSetup* setups[] = {&r1, &r2};
    for (int r = 1; r <= 2; ++r) {
        auto reg = std::make_unique<TParams>(d, static_cast<std::uint8_t>(r));
        const RegulatorSetup& s = *setups[r - 1];
        reg->Present = s.present;
        reg->Serie.SetColor(s.color);
        reg->Serie.SetXMultiplier(s.xMultiplier);
        reg->Prog_PointCount = static_cast<std::uint8_t>(s.points.size());
        for (std::size_t j = 0; j < s.points.size(); ++j) {
            reg->OnOff[j + 1] = s.points[j].on;
            reg->Tempr[j + 1] = s.points[j].setpoint;
            reg->Time[j + 1] = s.points[j].seconds;
        }
        device->Regs[static_cast<std::size_t>(r)] = std::move(reg);
    }
    for (int c = 1; c <= (r2.present ? 3 : 1); ++c) {
        device->Chnls[static_cast<std::size_t>(c)] =
            std::make_unique<TChnl>(d, static_cast<std::uint8_t>(c));
    }
    TDevice& ref = *device;
    model.DeviceList.Append(std::move(device));
    return ref;
}

std::vector<ProjectPoint> Program(std::size_t count, double base) {
    std::vector<ProjectPoint> points(count);
    for (std::size_t j = 0; j < count; ++j) {
        points[j] = {j % 2 == 0, base + static_cast<double>(j) * 0.25,
                     static_cast<double>(j * 3601 % 86400)};
    }
    return points;
}

class ProjectFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_.UseTemporaryLinkDir();
        for (const char* port : {"COM1", "COM2", "COM10"})
            sim_.AddPort(port);
        sim_.RegisterPortMap();
        // No other port may reach a real serial device of the test machine.
        for (int n = 3; n <= 9; ++n)
            SetPortOverride("COM" + std::to_string(n), dir_ / "no-such-port");
        sim_.Start();
        model_ = std::make_unique<TModel>(surfaces_, MakePortJobs);
    }
    void TearDown() override {
        model_.reset();  // stops the jobs while their ports are still there
        ClearPortOverrides();
        sim_.Stop();
    }

    std::string Text(const TModel& model) const {
        return ProjectText(ProjectDevicesOf(model), "01.01.2026 0:00:00");
    }

    TempFolder dir_;
    sim::Simulator sim_;
    RecordingSurfaces surfaces_;
    std::unique_ptr<TModel> model_;
};

TEST_F(ProjectFiles, EverythingStoredSurvivesSaveAndLoad) {
    TDevice& first = AddDevice(*model_, "COM1", "1", {true, 255, 1.0 / 60, Program(5, 12.5)},
                               {true, 0x00FF8000, 1, Program(255, -100)});
    first.Baudrate = 19200;
    first.POversion = 12;
    TDevice& second = AddDevice(*model_, "COM10", "255", {true, -1, 1, Program(2, 1e-7)},
                                {false, 0, 1, Program(2, 0)});
    second.Name = "ЗОРВАТ-7x Печь №2";
    second.Regs[1]->Time[2] = 86399;
    TDevice& absent = AddDevice(*model_, "COM2", "3");
    absent.Present = false;
    const std::string path = dir_ / "round.prj";
    ASSERT_TRUE(SaveProject(*model_, path));
    // The Cyrillic name is stored in the code page.
    EXPECT_NE(ReadBytes(path).find("Name=\xC7\xCE\xD0\xC2\xC0\xD2-7x \xCF\xE5\xF7\xFC \xB9"
                                   "2\r\n"),
              std::string::npos);

    std::vector<ProjectDevice> expected = ProjectDevicesOf(*model_);
    // A line never given a colour is saved in the colour it is drawn in.
    EXPECT_EQ(expected[1].regulators[0].color, 255);
    expected.pop_back();  // saved, but not loaded again
    surfaces_.SetProjectChanged(true);
    const LoadedProject loaded = LoadProject(*model_, path);

    EXPECT_TRUE(loaded.loaded);
    EXPECT_EQ(loaded.devices, 2u);
    EXPECT_FALSE(surfaces_.ProjectChanged());
    ASSERT_EQ(model_->DeviceList.Count(), 2u);
    const std::vector<ProjectDevice> back = ProjectDevicesOf(*model_);
    for (std::size_t n = 0; n < 2; ++n) {
        const ProjectDevice& a = expected[n];
        const ProjectDevice& b = back[n];
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.present, a.present);
        EXPECT_EQ(b.port, a.port);
        EXPECT_EQ(b.address, a.address);
        EXPECT_EQ(b.baudrate, a.baudrate);
        EXPECT_EQ(b.poVersion, a.poVersion);
        for (std::size_t r = 0; r < 2; ++r) {
            const ProjectRegulator& x = a.regulators[r];
            const ProjectRegulator& y = b.regulators[r];
            EXPECT_EQ(y.present, x.present) << n << "/" << r;
            EXPECT_EQ(y.color, x.color) << n << "/" << r;
            EXPECT_EQ(y.xMultiplier, x.xMultiplier) << n << "/" << r;
            ASSERT_EQ(y.points.size(), x.points.size()) << n << "/" << r;
            for (std::size_t j = 0; j < x.points.size(); ++j) {
                EXPECT_EQ(y.points[j].on, x.points[j].on) << n << "/" << r << "/" << j;
                EXPECT_EQ(y.points[j].setpoint, x.points[j].setpoint) << n << "/" << r << "/" << j;
                EXPECT_EQ(y.points[j].seconds, x.points[j].seconds) << n << "/" << r << "/" << j;
            }
        }
    }
    // Saved once more, the project is the same file.
    EXPECT_EQ(Text(*model_), ProjectText(expected, "01.01.2026 0:00:00"));
}

TEST_F(ProjectFiles, LoadedRecordsAreNumberedInListOrder) {
    const std::string path = dir_ / "gap.prj";
    WriteBytes(path,
               "[Device0]\r\nPresent=-1\r\nParentPort=COM1\r\nAddress=10\r\nPID2_Present=0\r\n"
               "[Device5]\r\nPresent=-1\r\nParentPort=COM1\r\nAddress=15\r\nPID2_Present=-1\r\n");
    ASSERT_TRUE(LoadProject(*model_, path).loaded);
    ASSERT_EQ(model_->DeviceList.Count(), 2u);
    for (std::uint8_t d = 0; d < 2; ++d) {
        const TDevice& device = *model_->Device(d);
        EXPECT_EQ(device.Address, d == 0 ? "10" : "15");
        EXPECT_TRUE(device.Present);
        for (int r = 1; r <= 2; ++r) {
            ASSERT_TRUE(model_->Regulator(d, r));
            EXPECT_EQ(model_->Regulator(d, r)->DeviceIndex, d);
            EXPECT_EQ(model_->Regulator(d, r)->RegNo, r);
        }
        // Channels 2 and 3 exist exactly when regulator 2 does.
        const bool three = d == 1;
        EXPECT_EQ(model_->Regulator(d, 2)->Present, three);
        ASSERT_TRUE(device.Chnls[1]);
        EXPECT_EQ(device.Chnls[1]->DeviceIndex, d);
        EXPECT_EQ(device.Chnls[2] != nullptr, three);
        EXPECT_EQ(device.Chnls[3] != nullptr, three);
        if (three) {
            EXPECT_EQ(device.Chnls[3]->ChnlNo, 3);
        }
    }
}

TEST_F(ProjectFiles, OnePollingJobPerDistinctPort) {
    const std::string path = dir_ / "ports.prj";
    WriteBytes(path,
               "[Device0]\r\nPresent=-1\r\nParentPort=COM2\r\nAddress=1\r\n"
               "[Device1]\r\nPresent=-1\r\nParentPort=COM1\r\nAddress=2\r\n"
               "[Device2]\r\nPresent=-1\r\nParentPort=COM2\r\nAddress=3\r\n"
               "[Device3]\r\nPresent=-1\r\nAddress=4\r\n"                     // COM1 by default
               "[Device4]\r\nPresent=0\r\nParentPort=COM10\r\nAddress=5\r\n"  // not loaded
               "[Device5]\r\nPresent=-1\r\nParentPort=COM12\r\nAddress=6\r\n");
    const LoadedProject loaded = LoadProject(*model_, path);
    EXPECT_EQ(loaded.devices, 5u);
    EXPECT_EQ(loaded.ports, (std::vector<std::string>{"COM2", "COM1", "COM12"}));
    EXPECT_EQ(model_->PortJobs().Count(), 2u);  // COM12 has no job slot
    EXPECT_TRUE(model_->PortJobs().Has("COM1"));
    EXPECT_TRUE(model_->PortJobs().Has("COM2"));
    EXPECT_FALSE(model_->PortJobs().Has("COM10"));

    // A second load replaces the instruments and their jobs.
    WriteBytes(path, "[Device0]\r\nPresent=-1\r\nParentPort=COM10\r\n");
    EXPECT_EQ(LoadProject(*model_, path).devices, 1u);
    EXPECT_EQ(model_->PortJobs().Count(), 1u);
    EXPECT_TRUE(model_->PortJobs().Has("COM10"));
}

TEST_F(ProjectFiles, UnreadableProjectChangesNothingAndSaysWhy) {
    AddDevice(*model_, "COM1", "7");
    model_->PortJobs().Ensure("COM1");
    surfaces_.SetProjectChanged(true);
    // A file too big to read whole: its first instruments alone would make a
    // later save drop the rest.
    std::string huge = "[Device0]\r\nPresent=-1\r\n";
    huge.resize(kMaxIniBytes + 1, ' ');
    WriteBytes(dir_ / "huge.prj", huge);
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir_ / "missing.prj", "Файл не найден."},
        {dir_ / "no-folder/x.prj", "Папка не найдена."},
        {dir_.Path().string(), "Это папка, а не файл."},
        {dir_ / "huge.prj",
         "Файл слишком велик (16777217 байт, а прочитать можно не больше 16 МиБ); он не "
         "прочитан."},
    };
    for (const auto& c : cases) {
        const LoadedProject loaded = LoadProject(*model_, c.path);
        EXPECT_FALSE(loaded.loaded) << c.path;
        EXPECT_EQ(loaded.reason, c.reason) << c.path;
        EXPECT_EQ(model_->DeviceList.Count(), 1u);
        EXPECT_TRUE(model_->PortJobs().Has("COM1"));
        EXPECT_TRUE(surfaces_.ProjectChanged());
    }
}

TEST_F(ProjectFiles, LoadKeepsTheFirst255InstrumentsAndSaysSo) {
    std::string text;
    for (int n = 0; n <= 256; ++n) {
        text += "[Device" + std::to_string(n) +
                "]\r\nPresent=-1\r\nAddress=" + std::to_string(n % 256) + "\r\n";
    }
    const std::string path = dir_ / "full.prj";
    WriteBytes(path, text);
    const LoadedProject loaded = LoadProject(*model_, path);
    EXPECT_TRUE(loaded.loaded);
    EXPECT_EQ(loaded.devices, 255u);
    EXPECT_EQ(loaded.notLoaded, 2u);  // Device255 and Device256
    EXPECT_NE(loaded.reason.find("не загружено: 2"), std::string::npos) << loaded.reason;
    ASSERT_EQ(model_->DeviceList.Count(), 255u);
    EXPECT_EQ(model_->Device(254)->Address, "254");

    const std::string start = dir_ / "Default.prj";
    fs::copy_file(path, start);
    EXPECT_EQ(OpenStartProject(*model_, dir_.Path().string()).reason, loaded.reason);
}

TEST_F(ProjectFiles, FailedSaveLeavesTheOldProjectWhole) {
    AddDevice(*model_, "COM1", "1");
    const std::string path = dir_ / "keep.prj";
    ASSERT_TRUE(SaveProject(*model_, path));
    const std::string old = ReadBytes(path);

    // The new project is larger than the files this process may now write.
    AddDevice(*model_, "COM1", "2", {true, 1, 1, Program(255, 1)}, {true, 2, 1, Program(255, 2)});
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = old.size() + 512;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);  // EFBIG instead of the signal
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = SaveProject(*model_, path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(ReadBytes(path), old);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"keep.prj"});  // no temporary file stays

    ASSERT_TRUE(SaveProject(*model_, path));
    ASSERT_TRUE(LoadProject(*model_, path).loaded);
    EXPECT_EQ(model_->Regulator(1, 2)->Prog_PointCount, 255);
}

TEST_F(ProjectFiles, SaveThatCannotCreateItsFileSaysWhy) {
    AddDevice(*model_, "COM1", "1");
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir_ / "no-folder/x.prj", "Папка не найдена."},
        {dir_.Path().string(), "Это папка, а не файл."},  // a folder is in the way
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_FALSE(SaveProject(*model_, c.path, &reason)) << c.path;
        EXPECT_EQ(reason, c.reason) << c.path;
    }
    EXPECT_TRUE(fs::is_directory(dir_.Path()));

    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const std::string path = dir_ / "keep.prj";
    ASSERT_TRUE(SaveProject(*model_, path));
    const std::string old = ReadBytes(path);
    AddDevice(*model_, "COM1", "2");
    fs::permissions(dir_.Path(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    std::string reason;
    EXPECT_FALSE(SaveProject(*model_, path, &reason));
    fs::permissions(dir_.Path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(reason, "Нет прав на запись в папку.");
    EXPECT_EQ(ReadBytes(path), old);
}

// The folder may be written, so a rename could replace the file; the file's
// own protection must hold all the same, for root too.
TEST_F(ProjectFiles, WriteProtectedProjectIsNotReplaced) {
    AddDevice(*model_, "COM1", "1");
    const std::string path = dir_ / "locked.prj";
    ASSERT_TRUE(SaveProject(*model_, path));
    const std::string old = ReadBytes(path);
    const fs::path link = dir_.Path() / "link.prj";
    fs::create_symlink(path, link);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    AddDevice(*model_, "COM1", "2");

    for (const std::string& target : {path, link.string()}) {
        std::string reason;
        EXPECT_FALSE(SaveProject(*model_, target, &reason)) << target;
        EXPECT_EQ(reason, "Файл защищён от записи.") << target;
        EXPECT_EQ(ReadBytes(path), old);
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_TRUE(fs::is_symlink(link));
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"link.prj", "locked.prj"}));  // no temporary file

    // Writable again, the same save goes through.
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    ASSERT_TRUE(SaveProject(*model_, path));
    EXPECT_NE(ReadBytes(path), old);
}

TEST_F(ProjectFiles, SettingsFileNamesTheProject) {
    const std::string programDir = dir_.Path().string();
    const std::string project = dir_ / "Проект.prj";
    ASSERT_TRUE(WriteSettingsFile(programDir, project));
    const std::string text = ReadBytes(dir_ / "PID_prop.inf");
    EXPECT_TRUE(std::regex_match(
        text,
        std::regex("\\[Date_Time\\]\r\nDateTime=\\d\\d\\.\\d\\d\\.\\d{4} \\d{1,2}:\\d\\d:\\d\\d"
                   "\r\n\r\n\\[DefFile\\]\r\nName=.*\r\n")))
        << text;
    EXPECT_NE(text.find("\xCF\xF0\xEE\xE5\xEA\xF2.prj\r\n"), std::string::npos);  // code page

    // The project does not exist yet: Default.prj, though the settings exist.
    SettingsFile settings = ReadSettingsFile(programDir);
    EXPECT_TRUE(settings.found);
    EXPECT_EQ(settings.projectPath, dir_ / "Default.prj");

    WriteBytes(project, "");
    settings = ReadSettingsFile(programDir);
    EXPECT_TRUE(settings.found);
    EXPECT_EQ(settings.projectPath, project);
}

// The window's section and the project's live side by side in the settings
// file: writing one keeps the other, and a section written again is
// replaced whole.
TEST_F(ProjectFiles, SettingsSectionsKeepEachOther) {
    const std::string programDir = dir_.Path().string();
    const std::string project = dir_ / "A.prj";
    WriteBytes(project, "");
    ASSERT_TRUE(WriteSettingsSection(programDir, "Window", {{"Geometry", "AAAA"}, {"Old", "1"}}));
    ASSERT_TRUE(WriteSettingsFile(programDir, project));
    EXPECT_EQ(ReadSettingsFile(programDir).projectPath, project);
    EXPECT_EQ(ReadSettingsSection(programDir, "window"),
              (SettingsSection{{"Geometry", "AAAA"}, {"Old", "1"}}));

    ASSERT_TRUE(WriteSettingsSection(programDir, "Window", {{"Geometry", "BBBB"}}));
    EXPECT_EQ(ReadSettingsSection(programDir, "Window"), (SettingsSection{{"Geometry", "BBBB"}}));
    EXPECT_EQ(ReadSettingsFile(programDir).projectPath, project);
    EXPECT_TRUE(ReadSettingsSection(programDir, "Nothing").empty());
    const std::string text = ReadBytes(dir_ / "PID_prop.inf");
    EXPECT_EQ(text.find("[Date_Time]"), 0u) << text;  // the old readers' sections come first
}

// A file edited by hand may give a key twice: the first line is the one
// read, and a write of another section keeps it the one read.
TEST_F(ProjectFiles, SettingsWriteKeepsWhatOtherSectionsRead) {
    const std::string programDir = dir_.Path().string();
    const std::string named = dir_ / "A.prj";
    const std::string other = dir_ / "B.prj";
    WriteBytes(named, "");
    WriteBytes(other, "");
    const std::string file = dir_ / "PID_prop.inf";
    const std::string text = "[DefFile]\r\nName=" + named + "\r\nNAME=" + other +
                             "\r\n[Window]\r\nGeometry=A\r\n[Ports]\r\nCOM1=x\r\ncom1=y\r\n";
    WriteBytes(file, text);
    ASSERT_EQ(ReadSettingsFile(programDir).projectPath, named);

    ASSERT_TRUE(WriteSettingsSection(programDir, "Window", {{"Geometry", "B"}}));
    EXPECT_EQ(ReadSettingsFile(programDir).projectPath, named);
    EXPECT_EQ(IniReader::Load(file)->Get("Ports", "COM1", ""), "x");
    ASSERT_TRUE(WriteSettingsFile(programDir, named));
    EXPECT_EQ(IniReader::Load(file)->Get("Ports", "com1", ""), "x");
    EXPECT_EQ(ReadSettingsSection(programDir, "Window"), (SettingsSection{{"Geometry", "B"}}));
}

TEST_F(ProjectFiles, StartWithoutSettingsFile) {
    AddDevice(*model_, "COM1", "1");
    const SettingsFile settings = ReadSettingsFile(dir_.Path().string());
    EXPECT_FALSE(settings.found);
    EXPECT_EQ(settings.projectPath, dir_ / "Default.prj");

    StartProject start = OpenStartProject(*model_, dir_.Path().string());
    EXPECT_FALSE(start.settingsFound);
    EXPECT_FALSE(start.loaded);
    EXPECT_EQ(start.projectFile, dir_ / "Default.prj");
    EXPECT_EQ(start.titlePart, " - [Default.prj]");
    EXPECT_EQ(model_->DeviceList.Count(), 0u);  // emptied all the same

    WriteBytes(dir_ / "Default.prj", "[Device0]\r\nPresent=true\r\n");
    start = OpenStartProject(*model_, dir_.Path().string());
    EXPECT_TRUE(start.loaded);
    EXPECT_EQ(model_->DeviceList.Count(), 1u);
}

TEST_F(ProjectFiles, StartProjectIsTakenFromTheProgramFolder) {
    const fs::path programDir = dir_.Path() / "program";
    const fs::path elsewhere = dir_.Path() / "elsewhere";
    fs::create_directories(programDir);
    fs::create_directories(elsewhere);
    WriteBytes(elsewhere / "Plant.prj", "[Device0]\r\nPresent=-1\r\n");
    ASSERT_TRUE(WriteSettingsFile(programDir.string(), (elsewhere / "Plant.prj").string()));

    // No file of that name in the program's folder: nothing loads, and the
    // project of this run is that name there.
    StartProject start = OpenStartProject(*model_, programDir.string());
    EXPECT_TRUE(start.settingsFound);
    EXPECT_FALSE(start.loaded);
    EXPECT_EQ(start.projectFile, (programDir / "Plant.prj").string());
    EXPECT_EQ(start.titlePart, " - [Plant.prj]");
    EXPECT_EQ(model_->DeviceList.Count(), 0u);
    ASSERT_TRUE(SaveProject(*model_, start.projectFile));  // the exit saves it empty
    EXPECT_EQ(ReadBytes(programDir / "Plant.prj").find("[Device"), std::string::npos);

    WriteBytes(programDir / "Plant.prj",
               "[Device0]\r\nPresent=-1\r\n[Device1]\r\nPresent=-1\r\nParentPort=COM2\r\n");
    start = OpenStartProject(*model_, programDir.string());
    EXPECT_TRUE(start.loaded);
    EXPECT_EQ(model_->DeviceList.Count(), 2u);
}

}  // namespace
}  // namespace zorvat
