// The INI reader and writer: the profile-file rules the project relies on,
// and files that are not what they should be.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ini_file.h"
#include "temp_folder.h"

namespace zorvat {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

TEST(IniReader, NamesWithoutRegardToCaseValuesTrimmed) {
    const IniReader ini(
        "[Device0]\r\n"
        "Name = ZURURU-71/M2  \r\n"
        "  PID1_Present=\t-1\t\r\n"
        "Address=\r\n"
        "Path=C:\\a b\\c=d.prj\r\n");
    const struct {
        const char* section;
        const char* key;
        std::optional<std::string_view> value;
    } cases[] = {
        {"Device0", "Name", "ZURURU-71/M2"},
        {"DEVICE0", "name", "ZURURU-71/M2"},
        {"device0", "pid1_PRESENT", "-1"},
        {"Device0", "Address", ""},  // present and empty: not the default
        {"Device0", "Path", "C:\\a b\\c=d.prj"},
        {"Device0", "Missing", std::nullopt},
        {"Device1", "Name", std::nullopt},
        {"Device", "Name", std::nullopt},
        {"Device0 ", "Name", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.Find(c.section, c.key), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(ini.Get("Device0", "Missing", "COM1"), "COM1");
    EXPECT_EQ(ini.Get("Device0", "Address", "1"), "");
}

TEST(IniReader, FirstSectionAndFirstKeyCount) {
    const IniReader ini(
        "[A]\nk=1\nK=2\n"
        "[a]\nk=3\nonly=4\n"
        "[ B ]\nk=5\n");
    EXPECT_EQ(ini.Find("A", "k"), "1");
    EXPECT_EQ(ini.Find("a", "only"), std::nullopt);  // the later [a] does not count
    EXPECT_EQ(ini.Find("B", "k"), "5");              // blanks around the name go
}

TEST(IniReader, LinesThatAreNotKeys) {
    const IniReader ini(
        "orphan=1\n"  // before any section
        "[S]\n"
        "; k=comment\n"
        "no equals sign\n"
        "=no key\n"
        "k=kept\n"
        "[cut short\n"  // a header without "]"
        "k=lost\n"
        "lost=yes\n"
        "[T]\n"
        "k=t\n");
    EXPECT_FALSE(ini.HasSection(""));
    EXPECT_EQ(ini.Find("S", "k"), "kept");
    EXPECT_EQ(ini.Find("S", "lost"), std::nullopt);
    EXPECT_EQ(ini.Find("S", "; k"), std::nullopt);
    EXPECT_FALSE(ini.HasSection("cut short"));
    EXPECT_EQ(ini.Find("T", "k"), "t");
}

TEST(IniReader, LineEndsAndByteOrderMark) {
    for (const std::string_view eol : {"\r\n", "\n", "\r"}) {
        std::string text = "\xEF\xBB\xBF[S]";
        text += eol;
        text += "a=1";
        text += eol;
        text += "b=2";  // the last line has no end
        const IniReader ini(text);
        EXPECT_EQ(ini.Find("S", "a"), "1");
        EXPECT_EQ(ini.Find("S", "b"), "2");
    }
}

TEST(IniReader, LoadsOnlyReadableFilesAndSaysWhyNot) {
    TempFolder dir;
    WriteBytes(dir / "locked.ini", "[S]\r\n");
    std::filesystem::permissions(dir / "locked.ini", std::filesystem::perms::none);
    const bool root = ::geteuid() == 0;  // reads whatever the mode says
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir / "missing.ini", "Файл не найден."},
        {dir / "no-folder/missing.ini", "Папка не найдена."},
        {dir.Path().string(), "Это папка, а не файл."},
        {"/dev/null", "Это не файл."},
        {dir / "locked.ini", root ? "" : "Нет прав на чтение файла."},
    };
    for (const auto& c : cases) {
        std::string reason;
        const auto ini = IniReader::Load(c.path, &reason);
        EXPECT_EQ(ini.has_value(), std::string_view(c.reason).empty()) << c.path;
        EXPECT_EQ(reason, c.reason) << c.path;
    }
    WriteBytes(dir / "empty.ini", "");
    ASSERT_TRUE(IniReader::Load(dir / "empty.ini"));
    EXPECT_FALSE(IniReader::Load(dir / "empty.ini")->HasSection("S"));
}

TEST(IniReader, BinaryJunkIsHarmless) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 50; ++round) {
        std::string junk(static_cast<std::size_t>(1 + round * 997 % 20000), '\0');
        for (char& c : junk) {
            // Plenty of the bytes that structure a file.
            const int b = byte(random);
            c = b < 40 ? "[]=\r\n;"[b % 6] : static_cast<char>(b);
        }
        junk += "\n[Known]\nkey=value";
        const IniReader ini(junk);
        EXPECT_EQ(ini.Find("Known", "key"), "value");
        ini.Find("Device0", "Present");
    }
}

TEST(IniReader, LoadsAFileUpToTheLimitAndRefusesALargerOne) {
    TempFolder dir;
    std::string text = "[S]\r\nfirst=1\r\n";
    text.resize(kMaxIniBytes - 14, 'x');
    text += "\r\n[T]\r\nk=12345";
    ASSERT_EQ(text.size(), kMaxIniBytes);
    WriteBytes(dir / "full.ini", text);
    std::string reason;
    const auto ini = IniReader::Load(dir / "full.ini", &reason);
    ASSERT_TRUE(ini) << reason;
    EXPECT_EQ(ini->Find("S", "first"), "1");
    EXPECT_EQ(ini->Find("T", "k"), "12345");

    // One byte more and nothing is read: a part would lose the rest unseen.
    WriteBytes(dir / "huge.ini", text + "6");
    EXPECT_FALSE(IniReader::Load(dir / "huge.ini", &reason));
    EXPECT_EQ(reason,
              "Файл слишком велик (16777217 байт, а прочитать можно не больше 16 МиБ); "
              "он не прочитан.");
}

TEST(IniReader, SectionNamesInFileOrder) {
    const IniReader ini("[B]\r\n[ a ]\r\nk=1\r\n[B]\r\n[broken\r\n");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string_view>{"B", "a", "B"}));
}

TEST(IniWriter, KeepsOrderAndReplacesInPlace) {
    IniWriter ini;
    ini.Set("Date_Time", "DateTime", "09.12.2026 1:50:09");
    ini.Set("Device0", "Name", "A");
    ini.Set("Device0", "Present", "-1");
    ini.Set("DEVICE0", "name", "B");  // same key: value replaced where it stands
    ini.Set("Device1", "Name", "C");
    EXPECT_EQ(ini.Text(),
              "[Date_Time]\r\nDateTime=09.12.2026 1:50:09\r\n"
              "\r\n[Device0]\r\nName=B\r\nPresent=-1\r\n"
              "\r\n[Device1]\r\nName=C\r\n");
}

TEST(IniWriter, ValueCannotStartALine) {
    IniWriter ini;
    ini.Set("Device0", "Name", "x\r\n[Device1]\nPresent=-1");
    const IniReader back(ini.Text());
    EXPECT_EQ(back.Find("Device0", "Name"), "x  [Device1] Present=-1");
    EXPECT_FALSE(back.HasSection("Device1"));
}

TEST(IniWriter, SavedTextReadsBack) {
    TempFolder dir;
    IniWriter ini;
    ini.Set("S", "a", "1");
    ini.Set("S", "b", " padded ");
    ASSERT_TRUE(ini.Save(dir / "s.ini"));
    const auto back = IniReader::Load(dir / "s.ini");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Find("s", "A"), "1");
    EXPECT_EQ(back->Find("S", "b"), "padded");  // blanks around values never survive
}

}  // namespace
}  // namespace zorvat
