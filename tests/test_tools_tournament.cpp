// The probe's tournament, run as a program: its tables, its reproducibility, its stop on Ctrl-C
// and its picture.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <png.h>

#include "platform/text.h"
#include "subprocess.h"
#include "tools/tournament.h"

namespace {

using ProgramRun = subprocess::TRun;
using RunOptions = subprocess::TOptions;

// Runs melvaron-engine tournament with args.
ProgramRun Tournament(const std::vector<std::string>& args, const RunOptions& options = {}) {
    std::vector<std::string> all = {"tournament"};
    all.insert(all.end(), args.begin(), args.end());
    return subprocess::Run(subprocess::Program("tools/melvaron-engine"), all, options);
}

// The two cross-tables of an output: the cell text of row player against column player.
struct Tables {
    std::string games; // the "games: ..." line
    std::map<std::pair<std::string, std::string>, std::string> wdl, mean;
};

Tables ReadTables(const std::string& out) {
    Tables t;
    std::istringstream lines(out);
    std::string line;
    std::map<std::pair<std::string, std::string>, std::string>* cells = nullptr;
    std::vector<std::string> columns;
    while (std::getline(lines, line)) {
        if (line.rfind("games: ", 0) == 0) t.games = line;
        if (line.rfind("wins-draws-losses", 0) == 0 || line.rfind("mean final", 0) == 0) {
            cells = line[0] == 'w' ? &t.wdl : &t.mean;
            std::getline(lines, line);
            std::istringstream header(line);
            columns.clear();
            for (std::string name; header >> name;)
                if (name != "score") columns.push_back(name);
            continue;
        }
        if (line.empty() || line.rfind("--", 0) == 0) cells = nullptr;
        if (!cells) continue;
        std::istringstream row(line);
        std::string name, cell;
        row >> name;
        for (const std::string& column : columns)
            if (row >> cell) (*cells)[{name, column}] = cell;
    }
    return t;
}

// The mean panel difference seen from the other side: "+4.0" <-> "-4.0"; "+0.0" stays.
std::string Negated(const std::string& mean) {
    if (mean == "+0.0" || mean == "-0.0") return mean;
    return (mean[0] == '+' ? "-" : "+") + mean.substr(1);
}

TEST(Tournament, CountsAddUpAndMirrorAndRepeat) {
    const std::vector<std::string> args = {"--levels", "0,1,2", "--games", "2", "--seed", "5"};
    std::vector<std::string> quiet = args;
    quiet.push_back("--no-times");
    const ProgramRun a = Tournament(quiet), b = Tournament(quiet), timed = Tournament(args);
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.out.find("time"), std::string::npos) << a.out;
    // With times, the same table comes first and the time figures follow in their own part.
    ASSERT_EQ(timed.status, 0) << timed.err;
    EXPECT_EQ(timed.out.substr(0, a.out.size()), a.out);
    EXPECT_EQ(timed.out.compare(a.out.size(), 4, "\n-- "), 0) << timed.out;
    EXPECT_EQ(a.out.substr(0, a.out.find('\n')),
              "melvaron-engine tournament --levels 0,1,2 --games 2 --seed 5");

    const Tables t = ReadTables(a.out);
    EXPECT_EQ(t.games, "games: 12 of 12");
    const std::string names[] = {"LV0", "LV1", "LV2"};
    for (const std::string& r : names)
        for (const std::string& c : names) {
            const std::string cell = t.wdl.at({r, c}), mirror = t.wdl.at({c, r});
            if (r == c) {
                EXPECT_EQ(cell, "-");
                continue;
            }
            int w, d, l, mw, md, ml;
            ASSERT_EQ(std::sscanf(cell.c_str(), "%d-%d-%d", &w, &d, &l), 3) << cell;
            ASSERT_EQ(std::sscanf(mirror.c_str(), "%d-%d-%d", &mw, &md, &ml), 3) << mirror;
            EXPECT_EQ(w + d + l, 4) << r << " against " << c;
            EXPECT_EQ(std::make_tuple(w, d, l), std::make_tuple(ml, md, mw)) << r << " " << c;
            EXPECT_EQ(t.mean.at({r, c}), Negated(t.mean.at({c, r}))) << r << " " << c;
        }
}

TEST(Tournament, EachGameIsDecidedByTheSeedAndItsPairingAlone) {
    auto tables = [](const std::string& levels, const std::string& seed) {
        const ProgramRun r =
            Tournament({"--levels", levels, "--games", "3", "--seed", seed, "--no-times"});
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadTables(r.out);
    };
    const Tables base = tables("0,1,2", "7");
    // The list's order and the other players change no pairing's games.
    const Tables reordered = tables("2,0,1", "7"), pair = tables("1,0", "7");
    EXPECT_EQ(reordered.wdl, base.wdl);
    EXPECT_EQ(reordered.mean, base.mean);
    EXPECT_EQ(pair.mean.at({"LV0", "LV1"}), base.mean.at({"LV0", "LV1"}));
    EXPECT_EQ(pair.wdl.at({"LV1", "LV0"}), base.wdl.at({"LV1", "LV0"}));
    // Another seed, other games.
    EXPECT_NE(tables("0,1,2", "8").mean, base.mean);
}

TEST(Tournament, CommandNamesEveryPlayerWithItsBonus) {
    const struct {
        const char* list;
        bool bonusAll;
        std::string command;
    } cases[] = {
        {"1,2+", false, "--levels 1,2+ --games 1 --seed 1"},
        {"0,1,2", true, "--levels 0,1+,2+ --games 1 --seed 1"},
    };
    for (const auto& c : cases) {
        TournamentSettings settings;
        std::string error;
        ASSERT_TRUE(ParsePlayers(c.list, c.bonusAll, settings.players, error)) << error;
        EXPECT_EQ(TournamentCommand(settings), "melvaron-engine tournament " + c.command);
    }
}

TEST(Tournament, BadArgumentsAreOneErrorLineAndExitTwo) {
    const std::vector<std::string> cases[] = {
        {"--levels"},
        {"--levels", "1"},               // one player
        {"--levels", "1,1"},             // twice
        {"--levels", "2,2+", "--bonus"}, // twice once the bonus is given
        {"--levels", "0+,1"},            // LV0 has no bonus
        {"--levels", "1,6"},             // no such level
        {"--levels", "1,,2"},            // an empty name
        {"--levels", "1,2,"},
        {"--levels", "1,2x"},
        {"--games", "0"},
        {"--games", "many"},
        {"--seed", "-1"},
        {"--seed", "4294967296"},
        {"--png", ""},
        {"--png", "/nonexistent-dir/table.png", "--levels", "0,1"},
        {"--fast"},
    };
    for (const auto& args : cases) {
        const ProgramRun r = Tournament(args);
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_TRUE(r.out.empty()) << shown << ": " << r.out;
        EXPECT_TRUE(r.err.rfind("error: ", 0) == 0 && r.err.find('\n') == r.err.size() - 1)
            << shown << ": " << r.err;
    }
}

TEST(Tournament, InterruptPrintsThePartialTableOfTheFinishedGames) {
#ifdef _WIN32
    GTEST_SKIP() << "the runner sends Ctrl-C through a POSIX shell only";
#endif
    // The first pairing's games take milliseconds, those with LV5+ far longer than the wait.
    RunOptions interrupt;
    interrupt.interruptAfter = 1.0;
    const ProgramRun r =
        Tournament({"--levels", "0,1,5+", "--games", "2", "--no-times"}, interrupt);
    EXPECT_EQ(r.status, 130) << r.err;
    const Tables t = ReadTables(r.out);
    int played = 0, scheduled = 0;
    ASSERT_EQ(std::sscanf(t.games.c_str(), "games: %d of %d", &played, &scheduled), 2) << r.out;
    EXPECT_EQ(scheduled, 12);
    EXPECT_GE(played, 2);
    EXPECT_LT(played, scheduled);
    EXPECT_NE(t.games.find("partial"), std::string::npos);
    int counted = 0;
    for (const auto& [pair, cell] : t.wdl) {
        int w, d, l;
        if (std::sscanf(cell.c_str(), "%d-%d-%d", &w, &d, &l) == 3) counted += w + d + l;
    }
    EXPECT_EQ(counted, 2 * played); // each game is in the table twice, once from each side
    EXPECT_NE(r.err.find("stopped"), std::string::npos) << r.err;
}

TEST(Tournament, PictureReplacesTheEmptyTableAfterTheGames) {
    const std::string path = subprocess::TempPath("tournament") + ".png";
    const ProgramRun r = Tournament({"--levels", "0,1,2", "--games", "1", "--png", path});
    ASSERT_EQ(r.status, 0) << r.err;

    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&read, path.c_str()));
    read.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, rgb.data(), 0, nullptr));
    std::remove(path.c_str());

    // The file first gets the empty table, so that a bad path fails before the games; after
    // them it must hold the real one: the same size, other pixels, the cells in their colours.
    TournamentSettings settings;
    std::string error;
    ASSERT_TRUE(ParsePlayers("0,1,2", false, settings.players, error)) << error;
    const TImage empty = DrawTournament(EmptyTournament(settings), TFont(TournamentFont()));
    ASSERT_EQ(read.width, static_cast<unsigned>(empty.Width()));
    ASSERT_EQ(read.height, static_cast<unsigned>(empty.Height()));
    std::map<TColor, int> colours;
    int differing = 0;
    for (int y = 0; y < empty.Height(); ++y)
        for (int x = 0; x < empty.Width(); ++x) {
            const unsigned char* p = &rgb[(y * empty.Width() + x) * 3];
            const TColor c = RGBColor(p[0], p[1], p[2]);
            ++colours[c];
            differing += c != empty.Pixel(x, y);
        }
    EXPECT_GT(differing, 0);
    // Ground, ink, grid and the cells' colours from red to green.
    EXPECT_GE(colours.size(), 6u);
}

TEST(Tournament, OnlyThePictureNeedsTheFont) {
#ifdef _WIN32
    GTEST_SKIP() << "the face is hidden from fontconfig, which Windows does without";
#endif
    const std::string conf = subprocess::TempPath("fonts") + ".conf";
    std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
    RunOptions noFont;
    noFont.env = {"FONTCONFIG_FILE=" + conf};
    const ProgramRun table = Tournament({"--levels", "0,1", "--no-times"}, noFont);
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("games: 2 of 2"), std::string::npos);
    const std::string png = conf + ".png";
    const ProgramRun picture = Tournament({"--levels", "0,1", "--png", png}, noFont);
    EXPECT_EQ(picture.status, 1);
    EXPECT_TRUE(picture.out.empty()) << picture.out;
    EXPECT_TRUE(picture.err.rfind("error: ", 0) == 0 &&
                picture.err.find("fonts-ipafont-gothic") != std::string::npos &&
                picture.err.find('\n') == picture.err.size() - 1)
        << picture.err;
    EXPECT_NE(::access(png.c_str(), F_OK), 0); // nothing written
    std::remove(conf.c_str());
}

} // namespace
