// A text kept between runs in a file, and the user's data folder it goes into.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/kept_text.h"
#include "posix_only.h"

namespace {

namespace fs = std::filesystem;

TEST(KeptFile, WrittenWholeReadBackAndCleared) {
    const fs::path folder = fs::path(::testing::TempDir()) / "melvaron_kept_text";
    fs::remove_all(folder);
    TKeptFile kept(folder / "deeper" / "text.txt");
    std::string text, error;
    EXPECT_EQ(kept.Read(text, error), TKeptRead::Absent);
    ASSERT_TRUE(kept.Write("one\n", error)) << error; // the folders are made
    ASSERT_TRUE(kept.Write("two\n", error)) << error; // and the file replaced
    EXPECT_EQ(kept.Read(text, error), TKeptRead::Read);
    EXPECT_EQ(text, "two\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "deeper"), fs::directory_iterator()), 1)
        << "a temporary file was left";

    // A folder where the file should be: nothing can be written or read, and nothing breaks.
    TKeptFile blocked(folder);
    EXPECT_FALSE(blocked.Write("three\n", error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(blocked.Read(text, error), TKeptRead::Failed);
    EXPECT_EQ(error.find('\n'), std::string::npos);

    kept.Clear();
    kept.Clear(); // twice is harmless
    EXPECT_EQ(kept.Read(text, error), TKeptRead::Absent);
    fs::remove_all(folder);
}

TEST(KeptFile, TheDataFolderFollowsTheXdgRules) {
    MELVARON_POSIX_ONLY("the XDG folders are where POSIX desktops keep data");
#ifndef _WIN32
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* savedData = std::getenv("XDG_DATA_HOME");
    const std::string data = savedData ? savedData : "";
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(UserDataFolder("melvaron"), fs::path("/data/melvaron"));
    setenv("XDG_DATA_HOME", "relative", 1); // not absolute: ignored, as the rules say
    EXPECT_EQ(UserDataFolder("melvaron"), fs::path("/home/someone/.local/share/melvaron"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UserDataFolder("melvaron"), fs::path("/home/someone/.local/share/melvaron"));
    unsetenv("HOME");
    EXPECT_TRUE(UserDataFolder("melvaron").empty());
    setenv("HOME", savedHome.c_str(), 1);
    if (savedData) setenv("XDG_DATA_HOME", data.c_str(), 1);
#endif
}

} // namespace
