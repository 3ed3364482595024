#include "window_args.h"

#include <gtest/gtest.h>

namespace zorvat {
namespace {

struct SwitchCase {
    std::vector<std::string> args;
    char startSwitch;
    std::vector<std::string> unknown;
};

TEST(WindowArgs, SwitchIsTheLetterAfterTheSlashInEitherCase) {
    const SwitchCase cases[] = {
        {{}, 0, {}},
        {{"/d"}, 'd', {}},
        {{"/D"}, 'd', {}},
        {{"/S"}, 's', {}},
        {{"/service"}, 's', {}},
        {{"/s", "/d"}, 's', {}},                       // only the first switch counts
        {{"/"}, 0, {"/"}},                             // a slash alone carries no letter
        {{"--program-dir", "/tmp/x", "/d"}, 'd', {}},  // a folder is not a switch
        {{"-x", "/d", "stray"}, 'd', {"-x", "stray"}},
    };
    for (const SwitchCase& c : cases) {
        const WindowArgs parsed = ParseWindowArgs(c.args);
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        EXPECT_EQ(parsed.startSwitch, c.startSwitch) << line;
        EXPECT_EQ(parsed.unknown, c.unknown) << line;
    }
}

TEST(WindowArgs, OptionsAndAFolderValue) {
    const WindowArgs parsed =
        ParseWindowArgs({"--demo", "--no-start-window", "--program-dir", "/srv/zorvat"});
    EXPECT_TRUE(parsed.demo);
    EXPECT_FALSE(parsed.startWindow);
    EXPECT_EQ(parsed.programDir, "/srv/zorvat");
    EXPECT_FALSE(parsed.help);
    // --program-dir without its folder is not taken for one.
    EXPECT_EQ(ParseWindowArgs({"--program-dir"}).unknown,
              std::vector<std::string>{"--program-dir"});
    EXPECT_TRUE(ParseWindowArgs({"-h"}).help);
}

}  // namespace
}  // namespace zorvat
