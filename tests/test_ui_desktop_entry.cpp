// The desktop entry names the class the window carries, so that docks link the running game to
// its launcher.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "ui/screen_layout.h"

namespace {

TEST(DesktopEntry, NamesTheWindowClass) {
    const std::string path = std::string(MELVARON_SOURCE_DIR) + "/data/" + AppId + ".desktop";
    std::ifstream entry(path);
    ASSERT_TRUE(entry.good()) << "no desktop entry named after the id: " << path;
    std::string line, wmClass;
    int count = 0;
    while (std::getline(entry, line))
        if (line.rfind("StartupWMClass=", 0) == 0) {
            wmClass = line.substr(sizeof "StartupWMClass=" - 1);
            ++count;
        }
    EXPECT_EQ(count, 1);
    EXPECT_EQ(wmClass, AppId);
}

} // namespace
