#include <gtest/gtest.h>

#include "device_catalogue.h"
#include "ex_com.h"

namespace zorvat {
namespace {

TEST(Catalogue, Lookup) {
    TDeviceInfo e;
    EXPECT_EQ(FindDeviceInfo(14, e), rc::UnknownType);
    EXPECT_EQ(e.TypeCode, 0);
    EXPECT_TRUE(e.TypeName.empty());
    EXPECT_EQ(FindDeviceInfo(16, e), rc::UnknownType);
    ASSERT_EQ(FindDeviceInfo(15, e), rc::Ok);
    EXPECT_EQ(e.ReplyTimeout, 2000);
    EXPECT_EQ(e.ChannelLayout, "[1][2][3]");
    ASSERT_EQ(FindDeviceInfo(0, e), rc::Ok);
    EXPECT_EQ(e.TypeName, "Unknown device");
    EXPECT_EQ(e.Commands.count(), 256u);
    ASSERT_EQ(FindDeviceInfo(10, e), rc::Ok);
    EXPECT_EQ(e.Channels, 128);
    EXPECT_EQ(e.ChannelLayout.substr(0, 9), "[0][1][2]");
    EXPECT_EQ(e.ChannelLayout.substr(e.ChannelLayout.size() - 5), "[127]");
    EXPECT_EQ(DeviceInfos().size(), 15u);
}

TEST(Catalogue, TimeoutsAndShapes) {
    struct Row {
        int code;
        int timeout;
        int channels;
        int aux;
        std::size_t commands;
    } rows[] = {{0, 1200, 0, 0, 256}, {1, 400, 8, 8, 2},    {2, 400, 4, 8, 2},
                {3, 400, 1, 2, 2},    {4, 400, 1, 2, 2},    {5, 400, 1, 2, 2},
                {6, 400, 8, 0, 2},    {7, 400, 3, 12, 12},  {8, 400, 6, 12, 3},
                {9, 150, 1, 3, 14},   {10, 400, 128, 0, 3}, {11, 400, 6, 24, 12},
                {12, 400, 1, 0, 2},   {13, 1200, 3, 0, 13}, {15, 2000, 3, 0, 12}};
    for (const Row& r : rows) {
        TDeviceInfo e;
        ASSERT_EQ(FindDeviceInfo(static_cast<std::int16_t>(r.code), e), rc::Ok) << r.code;
        EXPECT_EQ(e.ReplyTimeout, r.timeout) << r.code;
        EXPECT_EQ(e.Channels, r.channels) << r.code;
        EXPECT_EQ(e.AuxValues, r.aux) << r.code;
        EXPECT_EQ(e.Commands.count(), r.commands) << r.code;
    }
}

TEST(Catalogue, CommandModes) {
    struct Mode {
        int type;
        int command;
        bool accepted;
        int request;
        int reply;
    } modes[] = {
        {0, 0, true, 0, 1},    {0, 1, true, 1, 1},    {0, 2, true, 2, 2},    {0, 255, true, 2, 2},
        {1, 0, true, 0, 1},    {1, 1, true, 1, 1},    {1, 2, false, 0, 0},   {12, 1, true, 1, 1},
        {7, 10, true, 1, 1},   {11, 11, true, 1, 0},  {15, 4, true, 1, 0},   {15, 12, false, 0, 0},
        {8, 6, true, 1, 1},    {10, 2, false, 0, 0},  {9, 6, true, 0, 1},    {9, 9, true, 1, 0},
        {9, 10, false, 0, 0},  {9, 255, true, 0, 0},  {13, 254, true, 0, 1}, {13, 8, true, 1, 1},
        {13, 255, true, 0, 0}, {13, 11, false, 0, 0},
    };
    for (const Mode& m : modes) {
        TDeviceInfo e;
        ASSERT_EQ(FindDeviceInfo(static_cast<std::int16_t>(m.type), e), rc::Ok);
        const auto c = static_cast<std::size_t>(m.command);
        EXPECT_EQ(e.Commands.test(c), m.accepted) << m.type << "/" << m.command;
        EXPECT_EQ(e.Modes[c].RequestMode, m.request) << m.type << "/" << m.command;
        EXPECT_EQ(e.Modes[c].ReplyMode, m.reply) << m.type << "/" << m.command;
    }
}

TEST(Catalogue, ErrorTexts) {
    TDeviceInfo e;
    ASSERT_EQ(FindDeviceInfo(8, e), rc::Ok);
    EXPECT_TRUE(e.ErrorNumbers.test(9));
    EXPECT_EQ(e.ErrorNumbers.count(), 6u);
    ASSERT_EQ(FindDeviceInfo(10, e), rc::Ok);
    EXPECT_FALSE(e.ErrorNumbers.test(9));
    ASSERT_EQ(FindDeviceInfo(9, e), rc::Ok);
    EXPECT_EQ(e.ErrorTexts[49], "Обрыв датчика");
    ASSERT_EQ(FindDeviceInfo(0, e), rc::Ok);
    EXPECT_TRUE(e.ErrorNumbers.none());
}

TEST(Catalogue, TimeoutForTypeOnAClosedPort) {
    TExCOM port;
    port.SetTimeout(777);
    EXPECT_EQ(SetTimeoutForType(port, 0), rc::Ok);
    EXPECT_EQ(port.ReplyTimeout(), 777);
    EXPECT_EQ(SetTimeoutForType(port, 1), rc::Ok);
    EXPECT_EQ(port.ReplyTimeout(), 400);
    EXPECT_EQ(SetTimeoutForType(port, 14), rc::UnknownType);
    EXPECT_EQ(port.ReplyTimeout(), 400);
}

}  // namespace
}  // namespace zorvat
