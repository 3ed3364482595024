// The project file's text: its sections, keys, order and value forms, and
// what a load takes from files that are incomplete, odd or damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Files.h"
#include "cp1251.h"
#include "ini_file.h"
#include "value_forms.h"

namespace zorvat {
namespace {

std::vector<ProjectDevice> Read(const std::string& text) {
    return ReadProjectDevices(IniReader(text)).devices;
}

// A one-device file with `keys` (CR LF lines) in section Device0.
std::vector<ProjectDevice> ReadDevice0(const std::string& keys) {
    return Read("[Date_Time]\r\nDateTime=01.01.2026 0:00:00\r\n[Device0]\r\n" + keys);
}

std::size_t CountLines(const std::string& text, const std::string& prefix) {
    std::size_t n = 0;
    for (std::size_t pos = 0; (pos = text.find("\r\n" + prefix, pos)) != std::string::npos; ++pos)
        ++n;
    return n;
}

TEST(ProjectText, SectionsKeysOrderAndForms) {
    ProjectDevice d;
    d.name = "ZURURU-71/M2";
    d.port = "COM3";
    d.address = "17";
    d.baudrate = 19200;
    d.poVersion = 12;
    d.regulators[0].present = true;
    d.regulators[0].color = 255;
    d.regulators[0].xMultiplier = 1.0 / 60;
    d.regulators[0].points = {{true, 12.5, 5400}, {false, -40.25, 59}};
    d.regulators[1].present = false;
    d.regulators[1].color = -1;
    ProjectDevice absent;
    absent.name = "ЗОРВАТ-7x";
    absent.present = false;
    absent.regulators[0].points.resize(1);  // brought up to two points

    EXPECT_EQ(ProjectText({d, absent}, "09.12.2026 1:50:09"),
              "[Date_Time]\r\n"
              "DateTime=09.12.2026 1:50:09\r\n"
              "\r\n"
              "[Device0]\r\n"
              "Name=ZURURU-71/M2\r\n"
              "Present=-1\r\n"
              "ParentPort=COM3\r\n"
              "Address=17\r\n"
              "Baudrate=19200\r\n"
              "POversion=12\r\n"
              "PID1_Present=-1\r\n"
              "PID1_Prog_PointCount=2\r\n"
              "PID1_SerieColor=255\r\n"
              "PID1_SerieXType=0.0166666666666667\r\n"
              "PID1_OnOff0=-1\r\n"
              "PID1_Tempr0=12.5\r\n"
              "PID1_Time0=1:30:00\r\n"
              "PID1_OnOff1=0\r\n"
              "PID1_Tempr1=-40.25\r\n"
              "PID1_Time1=0:00:59\r\n"
              "PID2_Present=0\r\n"
              "PID2_Prog_PointCount=2\r\n"
              "PID2_SerieColor=-1\r\n"
              "PID2_SerieXType=1\r\n"
              "PID2_OnOff0=0\r\n"
              "PID2_Tempr0=0\r\n"
              "PID2_Time0=0:00:00\r\n"
              "PID2_OnOff1=0\r\n"
              "PID2_Tempr1=0\r\n"
              "PID2_Time1=0:00:00\r\n"
              "\r\n"
              "[Device1]\r\n"
              "Name=\xC7\xCE\xD0\xC2\xC0\xD2-7x\r\n"
              "Present=0\r\n"
              "ParentPort=COM1\r\n"
              "Address=1\r\n"
              "Baudrate=9600\r\n"
              "POversion=0\r\n"
              "PID1_Present=0\r\n"
              "PID1_Prog_PointCount=2\r\n"
              "PID1_SerieColor=0\r\n"
              "PID1_SerieXType=1\r\n"
              "PID1_OnOff0=0\r\n"
              "PID1_Tempr0=0\r\n"
              "PID1_Time0=0:00:00\r\n"
              "PID1_OnOff1=0\r\n"
              "PID1_Tempr1=0\r\n"
              "PID1_Time1=0:00:00\r\n"
              "PID2_Present=0\r\n"
              "PID2_Prog_PointCount=2\r\n"
              "PID2_SerieColor=0\r\n"
              "PID2_SerieXType=1\r\n"
              "PID2_OnOff0=0\r\n"
              "PID2_Tempr0=0\r\n"
              "PID2_Time0=0:00:00\r\n"
              "PID2_OnOff1=0\r\n"
              "PID2_Tempr1=0\r\n"
              "PID2_Time1=0:00:00\r\n");
}

TEST(ProjectText, FullProgramWritesAllPointKeysAndReadsBack) {
    ProjectDevice d;
    for (auto& reg : d.regulators) {
        reg.present = true;
        reg.points.resize(255);
        for (std::size_t j = 0; j < 255; ++j) {
            reg.points[j] = {j % 3 == 0, static_cast<double>(j) * 1.5 - 100,
                             static_cast<double>(j * 337)};
        }
    }
    const std::string text = ProjectText({d}, "");
    for (const char* reg : {"PID1_", "PID2_"}) {
        const std::string p(reg);
        EXPECT_EQ(CountLines(text, p + "OnOff") + CountLines(text, p + "Tempr") +
                      CountLines(text, p + "Time"),
                  765u);
        EXPECT_EQ(CountLines(text, p + "Time254="), 1u);
        EXPECT_EQ(CountLines(text, p + "Time255="), 0u);
    }
    const auto back = Read(text);
    ASSERT_EQ(back.size(), 1u);
    for (std::size_t r = 0; r < 2; ++r) {
        ASSERT_EQ(back[0].regulators[r].points.size(), 255u);
        for (std::size_t j = 0; j < 255; ++j) {
            const ProjectPoint& p = back[0].regulators[r].points[j];
            EXPECT_EQ(p.on, d.regulators[r].points[j].on);
            EXPECT_EQ(p.setpoint, d.regulators[r].points[j].setpoint);
            EXPECT_EQ(p.seconds, d.regulators[r].points[j].seconds);
        }
    }
}

TEST(ProjectRead, GapsInTheSectionNumbersCloseUp) {
    const auto devices = Read(
        "[Device0]\r\nPresent=-1\r\nAddress=10\r\n"
        "[Device5]\r\nPresent=-1\r\nAddress=15\r\n"
        "[Device256]\r\nPresent=-1\r\nAddress=99\r\n");  // never read
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].address, "10");
    EXPECT_EQ(devices[1].address, "15");
}

TEST(ProjectRead, SectionsThatAreSkipped) {
    const struct {
        const char* present;  // nullptr: no key
        bool loaded;
    } cases[] = {
        {nullptr, false}, {"0", false}, {"false", false}, {"x", false},   {"", false},
        {"-1", true},     {"1", true},  {"true", true},   {"TRUE", true},
    };
    for (const auto& c : cases) {
        std::string keys = "Address=7\r\n";
        if (c.present) keys += std::string("Present=") + c.present + "\r\n";
        EXPECT_EQ(ReadDevice0(keys).size(), c.loaded ? 1u : 0u)
            << (c.present ? c.present : "(missing)");
    }
}

TEST(ProjectRead, MissingKeysTakeTheirDefaults) {
    const auto devices = ReadDevice0("Present=-1\r\n");
    ASSERT_EQ(devices.size(), 1u);
    const ProjectDevice& d = devices[0];
    EXPECT_EQ(d.name, "ЗОРВАТ-7x");
    EXPECT_TRUE(d.present);
    EXPECT_EQ(d.port, "COM1");
    EXPECT_EQ(d.address, "1");
    EXPECT_EQ(d.baudrate, 9600);
    EXPECT_EQ(d.poVersion, 0);
    for (const ProjectRegulator& reg : d.regulators) {
        EXPECT_FALSE(reg.present);
        EXPECT_EQ(reg.color, 0);
        EXPECT_EQ(reg.xMultiplier, 1.0);
        ASSERT_EQ(reg.points.size(), 2u);
        for (const ProjectPoint& p : reg.points) {
            EXPECT_FALSE(p.on);
            EXPECT_EQ(p.setpoint, 0.0);
            EXPECT_EQ(p.seconds, 0.0);
        }
    }
}

TEST(ProjectRead, RegulatorPresenceAndPointSwitches) {
    const struct {
        const char* text;
        bool value;
    } cases[] = {
        {"true", true}, {"TRUE", true},   {"-1", true}, {"1", true},
        {"0", false},   {"false", false}, {"x", false}, {"", false},
    };
    for (const auto& c : cases) {
        const std::string v = c.text;
        const auto devices = ReadDevice0("Present=-1\r\nPID1_Present=" + v +
                                         "\r\nPID2_Present=" + v + "\r\nPID1_OnOff1=" + v + "\r\n");
        ASSERT_EQ(devices.size(), 1u);
        EXPECT_EQ(devices[0].regulators[0].present, c.value) << v;
        EXPECT_EQ(devices[0].regulators[1].present, c.value) << v;
        EXPECT_EQ(devices[0].regulators[0].points[1].on, c.value) << v;
    }
}

TEST(ProjectRead, PointCountIsBroughtIntoRange) {
    const struct {
        const char* count;  // nullptr: no key
        std::size_t points;
    } cases[] = {
        {nullptr, 2}, {"2", 2},     {"17", 17},  {"255", 255},
        {"256", 255}, {"300", 255}, {"1", 2},    {"0", 2},
        {"-5", 2},    {"x", 2},     {"12.5", 2}, {"99999999999999999999999", 255},
    };
    for (const auto& c : cases) {
        std::string keys =
            "Present=-1\r\nPID1_Tempr0=5\r\nPID1_Tempr2=7\r\nPID1_Tempr254=9\r\n"
            "PID1_Tempr255=11\r\n";
        if (c.count) keys += std::string("PID1_Prog_PointCount=") + c.count + "\r\n";
        const auto devices = ReadDevice0(keys);
        ASSERT_EQ(devices.size(), 1u);
        const auto& points = devices[0].regulators[0].points;
        ASSERT_EQ(points.size(), c.points) << (c.count ? c.count : "(missing)");
        EXPECT_EQ(points[0].setpoint, 5.0);
        // Keys past the count are not read.
        if (c.points > 2) {
            EXPECT_EQ(points[2].setpoint, 7.0);
        }
        if (c.points == 255) {
            EXPECT_EQ(points[254].setpoint, 9.0);
        }
    }
}

// The address goes into every request frame: three characters, and no
// blank that the cut leaves at the end (a saved project then reads back
// the same).
TEST(ProjectRead, AddressIsCutToThreeCharactersWithoutBlanks) {
    const std::pair<const char*, const char*> cases[] = {
        {"Address=12345\r\n", "123"},
        {"Address= 12 [Device0]\r\n", "12"},
        {"Address=7\t9\r\n", "7\t9"},
        {"Address=5  \r\n", "5"},
    };
    for (const auto& [keys, address] : cases) {
        const auto devices = ReadDevice0(std::string("Present=-1\r\n") + keys);
        ASSERT_EQ(devices.size(), 1u) << keys;
        EXPECT_EQ(devices[0].address, address) << keys;
        const auto again = Read(ProjectText(devices, "01.01.2026 0:00:00"));
        ASSERT_EQ(again.size(), 1u) << keys;
        EXPECT_EQ(again[0].address, address) << keys;
    }
}

TEST(ProjectRead, MalformedValuesTakeTheKeysDefaults) {
    const auto devices = ReadDevice0(
        "Present=-1\r\n"
        "Baudrate=fast\r\n"
        "POversion=300\r\n"
        "Address=12345\r\n"
        "PID1_Present=maybe\r\n"
        "PID1_SerieColor=red\r\n"
        "PID1_SerieXType=hours\r\n"
        "PID1_OnOff0=yes\r\n"
        "PID1_Tempr0=12,5\r\n"
        "PID1_Time0=25:00:00\r\n"
        "PID1_Tempr1=1e999\r\n"
        "PID1_Time1=1:30\r\n"
        "PID2_SerieColor=99999999999\r\n"
        "PID2_SerieXType=0\r\n"
        "PID2_Time0=1:60:00\r\n"
        "PID2_Time1=abc\r\n");
    ASSERT_EQ(devices.size(), 1u);
    const ProjectDevice& d = devices[0];
    EXPECT_EQ(d.baudrate, 9600);
    EXPECT_EQ(d.poVersion, 0);
    EXPECT_EQ(d.address, "123");  // three characters kept
    const ProjectRegulator& r1 = d.regulators[0];
    EXPECT_FALSE(r1.present);
    EXPECT_EQ(r1.color, 0);
    EXPECT_EQ(r1.xMultiplier, 1.0);
    EXPECT_FALSE(r1.points[0].on);
    EXPECT_EQ(r1.points[0].setpoint, 0.0);
    EXPECT_EQ(r1.points[0].seconds, 0.0);
    EXPECT_EQ(r1.points[1].setpoint, 0.0);
    EXPECT_EQ(r1.points[1].seconds, 5400.0);  // hours and minutes only: accepted
    const ProjectRegulator& r2 = d.regulators[1];
    EXPECT_EQ(r2.color, 0);
    EXPECT_EQ(r2.xMultiplier, 1.0);
    EXPECT_EQ(r2.points[0].seconds, 0.0);
    EXPECT_EQ(r2.points[1].seconds, 0.0);
}

TEST(ProjectRead, HoursMultiplierIsExactlyOneSixtieth) {
    const auto devices =
        ReadDevice0("Present=-1\r\nPID1_SerieXType=0.0166666666666667\r\nPID2_SerieXType=0.5\r\n");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].regulators[0].xMultiplier, 1.0 / 60);
    EXPECT_EQ(devices[0].regulators[1].xMultiplier, 0.5);
}

TEST(ProjectRead, CyrillicNamesInTheCodePage) {
    // "Name=ЗОРВАТ-7x Печь №2" and a port written in lower case, in Windows-1251.
    const auto devices = ReadDevice0(
        "Present=-1\r\n"
        "Name=\xC7\xCE\xD0\xC2\xC0\xD2-7x \xCF\xE5\xF7\xFC \xB9\x32\r\n");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, "ЗОРВАТ-7x Печь №2");
    EXPECT_NE(ProjectText(devices, "")
                  .find("Name=\xC7\xCE\xD0\xC2\xC0\xD2-7x \xCF\xE5\xF7\xFC "
                        "\xB9\x32\r\n"),
              std::string::npos);
}

// A section "Device"n for each n of `numbers`, with the address n (another
// section name and presence when given).
std::string Sections(const std::vector<std::size_t>& numbers, const char* name = "Device",
                     const char* present = "-1") {
    std::string text;
    for (const std::size_t n : numbers)
        text += "[" + std::string(name) + std::to_string(n) + "]\r\nPresent=" + present +
                "\r\nAddress=" + std::to_string(n) + "\r\n";
    return text;
}

std::vector<std::size_t> Range(std::size_t first, std::size_t last) {
    std::vector<std::size_t> numbers;
    for (std::size_t n = first; n <= last; ++n)
        numbers.push_back(n);
    return numbers;
}

TEST(ProjectRead, InstrumentsBeyondTheListAreCountedNotDropped) {
    const struct {
        const char* what;
        std::string text;
        std::size_t loaded;
        std::size_t notLoaded;
    } cases[] = {
        {"255 instruments", Sections(Range(0, 254)), 255, 0},
        {"all 256 sections", Sections(Range(0, 255)), 255, 1},
        {"sections above 255", Sections(Range(0, 9)) + Sections({256, 300, 1000}), 10, 3},
        {"letter case of a name", Sections({0}) + Sections({300}, "DEVICE"), 1, 1},
        {"a section given twice counts once", Sections({0, 300, 300}), 1, 1},
        {"not present beyond", Sections({0}) + Sections({300}, "Device", "0"), 1, 0},
        {"names no save writes", Sections({0}) + Sections({256}, "Device0") + "[Device]\r\n", 1, 0},
        {"both", Sections(Range(0, 255)) + Sections({400}), 255, 2},
    };
    for (const auto& c : cases) {
        const ProjectDevices read = ReadProjectDevices(IniReader(c.text));
        EXPECT_EQ(read.devices.size(), c.loaded) << c.what;
        EXPECT_EQ(read.notLoaded, c.notLoaded) << c.what;
        EXPECT_EQ(read.reason.empty(), c.notLoaded == 0) << c.what;
    }
    // The first 255 sections are the ones kept, and the text says what is not.
    const ProjectDevices read = ReadProjectDevices(IniReader(Sections(Range(0, 255))));
    ASSERT_EQ(read.devices.size(), 255u);
    EXPECT_EQ(read.devices.back().address, "254");
    EXPECT_EQ(read.reason,
              "Приборов в файле: 256, а в проекте их может быть не больше 255. Загружены первые "
              "255, не загружено: 1; сохранение проекта запишет только загруженные.");
}

// Whatever a damaged file holds, a load yields complete records.
void ExpectSound(const std::vector<ProjectDevice>& devices) {
    EXPECT_LE(devices.size(), kProjectSections);
    for (const ProjectDevice& d : devices) {
        EXPECT_LE(d.address.size(), 3u * 2);  // three code-page characters in UTF-8
        for (const ProjectRegulator& reg : d.regulators) {
            EXPECT_GE(reg.points.size(), 2u);
            EXPECT_LE(reg.points.size(), 255u);
            EXPECT_GT(reg.xMultiplier, 0.0);
            for (const ProjectPoint& p : reg.points) {
                EXPECT_GE(p.seconds, 0.0);
                EXPECT_LE(p.seconds, kMaxDurationSeconds);
            }
        }
    }
}

TEST(ProjectRead, TruncatedFiles) {
    std::vector<ProjectDevice> saved(3);
    for (std::size_t n = 0; n < saved.size(); ++n) {
        saved[n].address = std::to_string(n + 1);
        saved[n].regulators[0].present = true;
        saved[n].regulators[0].points.assign(40, {true, 123.25, 3723});
    }
    const std::string text = ProjectText(saved, "09.12.2026 1:50:09");
    for (std::size_t cut = 0; cut <= text.size(); cut += 7) {
        const auto devices = Read(text.substr(0, cut));
        ExpectSound(devices);
        ASSERT_LE(devices.size(), saved.size());
        for (std::size_t n = 0; n < devices.size(); ++n) {
            // A cut shortens a value or drops its key, never brings in another.
            const std::string& address = devices[n].address;
            EXPECT_TRUE(saved[n].address.rfind(address, 0) == 0 || address == "1")
                << "cut at " << cut << ": " << address;
        }
    }
    EXPECT_EQ(Read(text).size(), saved.size());
}

TEST(ProjectRead, BinaryFiles) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string keys[] = {"[Device0]\r\nPresent=-1\r\n", "PID1_Prog_PointCount=",
                                "PID1_Time3=", "PID2_Present=", "Address="};
    for (int round = 0; round < 40; ++round) {
        std::string junk;
        for (int i = 0; i < 3000; ++i) {
            const int b = byte(random);
            if (b < 4) junk += keys[static_cast<std::size_t>(b) % std::size(keys)];
            junk += static_cast<char>(byte(random));
        }
        ExpectSound(Read(junk));
    }
}

}  // namespace
}  // namespace zorvat
