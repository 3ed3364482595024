#include "ports_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "port_map.h"
#include "temp_folder.h"

namespace zorvat {
namespace {

TEST(PortsFile, GovernedPortsChangeTheRestStays) {
    struct Case {
        const char* name;
        const char* old;
        std::map<int, std::string> devices;
        const char* expected;
    };
    const Case cases[] = {
        {"new file", "", {{1, ""}, {3, "/dev/ttyUSB0"}}, "[Ports]\nCOM3=/dev/ttyUSB0\n"},
        {"nothing to write", "", {{1, ""}}, ""},
        {"entries replaced, comments and other ports kept",
         "; plant line A\r\n[ports]\r\ncom3 = /dev/ttyS2\r\n# spare\r\nCOM12=/dev/ttyUSB5\r\n"
         "\r\n[Other]\r\nCOM3=untouched\r\n",
         {{3, "tcp://10.0.0.7:4001"}, {4, ""}},
         "; plant line A\n[ports]\n# spare\nCOM12=/dev/ttyUSB5\nCOM3=tcp://10.0.0.7:4001\n\n"
         "[Other]\nCOM3=untouched\n"},
        {"entry removed", "[Ports]\nCOM2=/dev/ttyUSB1\n", {{2, ""}}, "[Ports]\n"},
        {"section added after other sections",
         "[Window]\nGeometry=x",
         {{1, "/dev/ttyACM0"}},
         "[Window]\nGeometry=x\n\n[Ports]\nCOM1=/dev/ttyACM0\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PortsIniText(c.old, c.devices), c.expected) << c.name;
}

TEST(PortsFile, SavedFileIsWhatThePortMapReads) {
    testing::TempFolder dir;
    const std::string folder = dir.Path().string();
    ASSERT_TRUE(SavePortsIni(folder, {{3, "rfc2217://moxa:950"}, {4, "/dev/ttyUSB0"}}));
    ASSERT_TRUE(SavePortsIni(folder, {{4, ""}}));
    SetPortMapFolder(folder);
    EXPECT_EQ(ResolvePort("COM3").device, "rfc2217://moxa:950");
    EXPECT_EQ(ResolvePort("COM4").source, "default");
    SetPortMapFolder("");

    std::string reason;
    EXPECT_FALSE(SavePortsIni(folder + "/no-such-folder", {{1, "/dev/ttyS0"}}, &reason));
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace zorvat
