#include "program_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "../project/temp_folder.h"

namespace zorvat {
namespace {

namespace fs = std::filesystem;

// The per-user folder goes into the test's own folder.
class ProgramDir : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_DATA_HOME")) oldXdg_ = old;
        ::setenv("XDG_DATA_HOME", (root_.Path() / "xdg").c_str(), 1);
    }
    void TearDown() override {
        if (oldXdg_) {
            ::setenv("XDG_DATA_HOME", oldXdg_->c_str(), 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
    }
    fs::path Made(const std::string& relative) {
        fs::create_directories(root_.Path() / relative);
        return root_.Path() / relative;
    }

    testing::TempFolder root_;
    std::optional<std::string> oldXdg_;
};

TEST_F(ProgramDir, BuildTreeKeepsItsFilesBesideTheProgram) {
    const fs::path exeDir = Made("build/src/app");
    EXPECT_FALSE(IsInstalledLayout(exeDir));
    EXPECT_EQ(FindProgramDir("", exeDir), exeDir.string());
}

// /usr/bin is writable for root: an installed program must still not keep
// ports.ini and the projects there.
TEST_F(ProgramDir, InstalledProgramUsesThePerUserFolderEvenWhereItMayWrite) {
    const fs::path exeDir = Made("usr/bin");
    Made("usr/share/zorvat7x");
    EXPECT_TRUE(IsInstalledLayout(exeDir));
    const std::string chosen = FindProgramDir("", exeDir);
    EXPECT_EQ(chosen, (root_.Path() / "xdg" / "zorvat7x").string());
    EXPECT_TRUE(fs::is_directory(chosen));
}

TEST_F(ProgramDir, GivenFolderWinsAndIsMade) {
    const fs::path exeDir = Made("usr/bin");
    Made("usr/share/zorvat7x");
    const fs::path given = root_.Path() / "mine" / "bench";
    EXPECT_EQ(FindProgramDir(given.string(), exeDir), given.string());
    EXPECT_TRUE(fs::is_directory(given));
}

}  // namespace
}  // namespace zorvat
