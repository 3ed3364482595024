#include <gtest/gtest.h>

#include <string>

#include "ascii_u.h"
#include "com_u.h"

namespace zorvat {
namespace {

std::string Checksum(std::string_view text) {
    std::string sum;
    EXPECT_EQ(FrameChecksum(text, sum), rc::Ok) << text;
    return sum;
}

TEST(FrameChecksum, KnownValues) {
    EXPECT_EQ(Crc16Modbus("abc"), 22345);
    EXPECT_EQ(Crc16Modbus("123456789"), 19255);
    EXPECT_EQ(Checksum(":abc"), "22345");
    struct Case {
        const char* frameWithoutChecksum;
        const char* checksum;
    } cases[] = {
        {":1;37;002007;", "6295"}, {"!1;0000803F;", "40387"}, {":1;38;002007;0000803F;", "5366"},
        {"!1;$0;", "14401"},       {"\xFF:1;0;", "50730"},    {"!1;41;", "27969"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Checksum(c.frameWithoutChecksum), c.checksum) << c.frameWithoutChecksum;
}

TEST(FrameChecksum, LengthAndStructureLimits) {
    std::string sum = "x";
    const std::string body249 = ":" + std::string(248, '1');
    EXPECT_EQ(FrameChecksum(body249, sum), rc::Ok);
    EXPECT_EQ(FrameChecksum(body249 + "1", sum), rc::BadLength);
    EXPECT_TRUE(sum.empty());
    EXPECT_EQ(FrameChecksum(":", sum), rc::BadLength);
    EXPECT_EQ(FrameChecksum("", sum), rc::BadLength);
    EXPECT_EQ(FrameChecksum("1;37;", sum), rc::BadStructure);
    EXPECT_EQ(FrameChecksum("ab:", sum), rc::BadStructure);  // empty body
    // The body starts after the first ":" even when a "!" comes first.
    EXPECT_EQ(Checksum("!x:abc"), "22345");

    char buffer[8] = "unset";
    EXPECT_EQ(FrameChecksum(":abc", buffer, sizeof buffer), rc::Ok);
    EXPECT_STREQ(buffer, "22345");
    EXPECT_EQ(FrameChecksum(":abc", nullptr, 0), rc::Ok);
}

TEST(BuildRequest, Modes) {
    std::string frame;
    ASSERT_EQ(BuildRequest(1, 0, 0, "ignored", frame), rc::Ok);
    EXPECT_EQ(frame, "\xFF:1;0;50730\r");
    ASSERT_EQ(BuildRequest(7, 1, 1, "5", frame), rc::Ok);
    EXPECT_EQ(frame, "\xFF:7;1;5;" + Checksum("\xFF:7;1;5;") + "\r");
    EXPECT_EQ(BuildRequest(7, 1, 1, "", frame), rc::BadArgument);
    ASSERT_EQ(BuildRequest(7, 2, 2, "", frame), rc::Ok);
    EXPECT_EQ(frame, "\xFF:7;2;;" + Checksum(":7;2;;") + "\r");
    EXPECT_EQ(BuildRequest(7, 2, 3, "x", frame), rc::BadArgument);
    EXPECT_EQ(BuildRequest(255, 255, 1, std::string(250, 'a'), frame), rc::BadLength);
}

TEST(SplitReply, FieldsAndRebuiltFrame) {
    SplitFrame f;
    ASSERT_EQ(SplitReply("noise!1;5;7;123\rtail", f), rc::Ok);
    EXPECT_EQ(f.marker, '!');
    EXPECT_EQ(f.fields, (std::vector<std::string>{"1", "5", "7", "123"}));
    EXPECT_EQ(f.rebuilt, "!1;5;7;");
    EXPECT_EQ(SplitReply("!1;41;27969", f), rc::BadStructure);
    EXPECT_EQ(SplitReply("1;41;27969\r", f), rc::BadStructure);
    EXPECT_EQ(SplitReply("!1\r", f), rc::BadLength);
    // More than 256 fields cannot come from a 255-character reply.
    std::string many = "!";
    for (int i = 0; i < 300; ++i)
        many += "1;";
    EXPECT_EQ(SplitReply(many + "0\r", f), rc::BadLength);
}

struct ParseCase {
    std::string reply;
    TResult result;
    int address;
    std::string data;
};

TEST(ParseReply, Cases) {
    const std::string fiveSeven = "!3;5;7;" + Checksum("!3;5;7;") + "\r";
    const std::string two = "!9;" + Checksum("!9;") + "\r";
    const ParseCase cases[] = {
        {"!1;0000803F;40387\r", rc::Ok, 1, "0000803F"},
        {"!1;0000803F;040387\r", rc::Ok, 1, "0000803F"},  // compared as numbers
        {"!1;0000803F;40388\r", rc::BadChecksum, 0, ""},
        {"!1;0000803F;4O387\r", rc::BadChecksum, 0, ""},  // not a number
        {"!1;0000803F;\r", rc::BadChecksum, 0, ""},
        {"!1;0000803F;99999999999999\r", rc::BadChecksum, 0, ""},
        {"!1;41;27969", rc::BadStructure, 0, ""},
        {"!1\r", rc::BadLength, 0, ""},
        {"!1;00:00;1\r", rc::BadChecksum, 0, ""},  // split from the ":" on
        {fiveSeven, rc::Ok, 3, "5;7;"},
        {two, rc::Ok, 9, Checksum("!9;")},  // the checksum doubles as data
        {"!x;41;" + Checksum("!x;41;") + "\r", rc::BadStructure, 0, ""},
        {"!257;41;" + Checksum("!257;41;") + "\r", rc::Ok, 1, "41"},  // low 8 bits
    };
    for (const ParseCase& c : cases) {
        std::uint8_t address = 77;
        std::string data = "stale";
        EXPECT_EQ(ParseReply(c.reply, address, data), c.result) << c.reply;
        EXPECT_EQ(address, c.address) << c.reply;
        EXPECT_EQ(data, c.data) << c.reply;
    }
    char buffer[4];
    std::uint8_t address = 0;
    EXPECT_EQ(ParseReply("!1;0000803F;40387\r", address, buffer, sizeof buffer), rc::Ok);
    EXPECT_STREQ(buffer, "000");  // cut to fit
}

TEST(CheckReply, ByReplyMode) {
    struct Case {
        int mode;
        int replyAddress;
        const char* data;
        TResult result;
    } cases[] = {
        {0, 1, "$0", rc::Ok},           {0, 1, "$3", -1003},
        {0, 1, "41", rc::BadPayload},   {0, 1, "", rc::BadPayload},
        {0, 2, "$0", rc::WrongAddress}, {0, 1, "$x", rc::BadPayload},
        {1, 1, "41", rc::Ok},           {1, 1, "$0", -1000},
        {1, 1, "", rc::BadPayload},     {1, 2, "41", rc::WrongAddress},
        {1, 2, "", rc::WrongAddress},  // address test first
        {2, 9, "41", rc::Ok},           {2, 9, "$5", -1005},
        {2, 9, "", rc::BadPayload},     {3, 1, "41", rc::BadArgument},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckReply(static_cast<std::uint8_t>(c.mode), 1,
                             static_cast<std::uint8_t>(c.replyAddress), c.data),
                  c.result)
            << "mode " << c.mode << " data " << c.data;
    }
}

TEST(DeviceErrorCode, StatusNumbers) {
    EXPECT_EQ(DeviceErrorCode("$5"), -1005);
    EXPECT_EQ(DeviceErrorCode("$0"), -1000);
    EXPECT_EQ(DeviceErrorCode("x$12"), -1012);
    EXPECT_EQ(DeviceErrorCode("12"), rc::BadPayload);
    EXPECT_EQ(DeviceErrorCode("$"), rc::BadPayload);
    EXPECT_EQ(DeviceErrorCode("$-1"), rc::BadPayload);
    EXPECT_EQ(DeviceErrorCode("$1a"), rc::BadPayload);
}

TEST(TrimZeros, Cases) {
    const std::pair<const char*, const char*> cases[] = {
        {"12.500", "12.5"},  {"12.000", "12"},           {"100", "100"}, {"0.0", "0"}, {"", ""},
        {"-3.140", "-3.14"}, {"1000.0001", "1000.0001"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(TrimZeros(in), out) << in;
}

}  // namespace
}  // namespace zorvat
