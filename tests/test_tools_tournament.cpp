// The probe's tournament, run as a program: its tables, its reproducibility, its stop on Ctrl-C
// and its picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <png.h>

#include "platform/text.h"
#include "posix_only.h"
#include "subprocess.h"
#include "tools/tournament/play.h"
#include "tools/tournament/schedule.h"
#include "tools/tournament/tables.h"

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
        {"--jobs", "0"},
        {"--shard", "1/3"}, // no results file
        {"--shard", "0/3", "--results", "r.jsonl"},
        {"--shard", "4/3", "--results", "r.jsonl"},
        {"--shard", "1-3", "--results", "r.jsonl"},
        {"--results", ""},
        {"--results", "/nonexistent-dir/r.jsonl", "--levels", "0,1"},
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

// The lines of a results file that are games.
int GameLines(const std::string& results) {
    std::istringstream lines(results);
    int games = 0;
    for (std::string line; std::getline(lines, line);) games += line.rfind("{\"game\"", 0) == 0;
    return games;
}

TEST(Tournament, InterruptStopsEveryRunningGameAndPrintsTheFinishedOnes) {
    MELVARON_POSIX_ONLY("the runner sends Ctrl-C through a POSIX shell only");
    // The first pairing's two games take milliseconds, every game with LV5+ far longer than it
    // takes to notice that those two are written.
    for (const char* jobs : {"1", "2"}) {
        const std::string results = subprocess::TempPath("interrupted") + ".jsonl";
        RunOptions interrupt;
        interrupt.interruptWhen = "[ \"$(cat " + subprocess::Quoted(results) +
                                  " 2>/dev/null | grep -c '^{\"game\"')\" -ge 2 ]";
        const ProgramRun r = Tournament({"--levels", "0,1,5+", "--games", "2", "--no-times",
                                         "--jobs", jobs, "--results", results},
                                        interrupt);
        EXPECT_EQ(r.status, 130) << jobs << " jobs: " << r.err;
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
        // The finished games are kept, and the file says that the run did not end.
        const std::string written = subprocess::ReadFile(results);
        EXPECT_EQ(GameLines(written), played);
        EXPECT_EQ(written.find("{\"end\""), std::string::npos);
        std::remove(results.c_str());
    }
}

// Results files of the shards of one small run, made once for the tests below.
class Shards : public ::testing::Test {
  protected:
    static constexpr const char* Levels = "0,1,2,3";
    static void SetUpTestSuite() {
        Whole = new ProgramRun(Run({"--jobs", "1"}));
        if (Whole->status != 0)
            Trouble += "the whole run: status " + std::to_string(Whole->status) + ": " + Whole->err;
        for (int k = 1; k <= 3; ++k) {
            Paths.push_back(subprocess::TempPath("shard") + ".jsonl");
            const std::string shard = std::to_string(k) + "/3";
            const ProgramRun r = Run({"--shard", shard, "--results", Paths.back()});
            if (r.status != 0)
                Trouble += "shard " + shard + ": status " + std::to_string(r.status) + ": " + r.err;
        }
    }
    // A failure in SetUpTestSuite would mark every case skipped: each one fails instead.
    void SetUp() override {
        if (!Trouble.empty()) FAIL() << "the shared runs failed: " << Trouble;
    }
    static void TearDownTestSuite() {
        for (const std::string& path : Paths) std::remove(path.c_str());
        delete Whole;
    }
    static ProgramRun Run(std::vector<std::string> args) {
        for (const char* a : {"--levels", Levels, "--games", "2", "--seed", "3", "--no-times"})
            args.push_back(a);
        return Tournament(args);
    }
    static ProgramRun Merge(std::vector<std::string> args) {
        args.insert(args.begin(), "merge");
        return subprocess::Run(subprocess::Program("tools/melvaron-engine"), args);
    }
    static ProgramRun* Whole;
    static std::vector<std::string> Paths;
    static std::string Trouble; // what the shared runs could not do
};
ProgramRun* Shards::Whole = nullptr;
std::vector<std::string> Shards::Paths;
std::string Shards::Trouble;

TEST_F(Shards, JobsAndShardsGiveTheTableOfOneRun) {
    ASSERT_EQ(Whole->status, 0) << Whole->err;
    EXPECT_EQ(ReadTables(Whole->out).games, "games: 24 of 24");
    const ProgramRun jobs = Run({"--jobs", "2"});
    EXPECT_EQ(jobs.out, Whole->out);
    // In any order, and with --threads, which only changes how fast each search is.
    for (const std::vector<std::string>& files :
         {Paths, std::vector<std::string>{Paths[2], Paths[0], Paths[1]}}) {
        const ProgramRun merged = Merge({files[0], files[1], files[2], "--no-times"});
        EXPECT_EQ(merged.status, 0) << merged.err;
        EXPECT_EQ(merged.out, Whole->out);
    }
    // With times, the same table comes first, as the run prints it.
    const ProgramRun timed = Merge(Paths);
    ASSERT_EQ(timed.status, 0) << timed.err;
    EXPECT_EQ(timed.out.substr(0, Whole->out.size()), Whole->out);
    EXPECT_NE(timed.out.find("\nLV3  "), std::string::npos);
}

TEST_F(Shards, ShardsRunByGnuParallelMergeIntoTheTableOfOneRun) {
    MELVARON_POSIX_ONLY("GNU parallel is a POSIX program");
    const std::string dir = subprocess::TempPath("parallel");
    const std::string engine = subprocess::Program("tools/melvaron-engine");
    const ProgramRun r = subprocess::Run(
        "sh", {"-c",
               "mkdir -p \"$1\" && parallel --will-cite -j 2 \"$2\" tournament --levels " +
                   std::string(Levels) +
                   " --games 2 --seed 3 --jobs 1 --shard {}/4 --results \"$1\"/{}.jsonl "
                   "'>/dev/null' ::: 1 2 3 4 && \"$2\" merge \"$1\"/*.jsonl --no-times",
               "sh", dir, engine});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Whole->out);
    std::system(("rm -rf " + subprocess::Quoted(dir)).c_str());
}

TEST_F(Shards, BadResultsAreOneErrorLineNamingTheFileAndLine) {
    const std::string file[3] = {subprocess::ReadFile(Paths[0]), subprocess::ReadFile(Paths[1]),
                                 subprocess::ReadFile(Paths[2])};
    const std::string foreign = subprocess::TempPath("foreign") + ".jsonl";
    ASSERT_EQ(Tournament({"--levels", Levels, "--games", "2", "--seed", "4", "--shard", "2/3",
                          "--results", foreign, "--no-times"})
                  .status,
              0);
    // A copy of shard 3 with a change; the change's line, or none to say the file is named alone.
    auto lineStart = [&](int line) {
        std::size_t at = 0;
        for (int i = 1; i < line; ++i) at = file[2].find('\n', at) + 1;
        return at;
    };
    const int n = static_cast<int>(std::count(file[2].begin(), file[2].end(), '\n'));
    const std::size_t third = lineStart(3), last = lineStart(n);
    auto at = [](int line, const char* what) { return " line " + std::to_string(line) + what; };
    const struct {
        const char* name;
        std::string shard3; // empty: the two given files below
        std::vector<std::string> files;
        std::string says;
    } cases[] = {
        {"shard 3 missing", "", {Paths[0], Paths[1]}, "shard 3 of 3 is missing"},
        {"shard 2 twice", "", {Paths[0], Paths[1], Paths[1], Paths[2]}, " line 1: shard 2/3 again"},
        {"another run's shard", "", {Paths[0], foreign, Paths[2]}, " line 1: another run"},
        {"cut inside a line", file[2].substr(0, last + 5), {}, at(n, ": cut short")},
        {"without its last line",
         file[2].substr(0, last),
         {},
         at(n - 1, ": the file ends without")},
        {"a game twice",
         file[2].substr(0, third) + file[2].substr(lineStart(2)),
         {},
         " line 3: game "},
        {"a changed digit",
         file[2].substr(0, third) + "{\"game\":9" + file[2].substr(file[2].find(',', third)),
         {},
         " line 3: game 9 is not in shard 3/3"},
        {"a broken line",
         file[2].substr(0, third + 20) + "#" + file[2].substr(third + 21),
         {},
         " line 3: "},
        {"more after the end",
         file[2] + file[2].substr(third, lineStart(4) - third),
         {},
         at(n + 1, ": more after")},
        {"not a results file", "game over\n", {}, " line 1: not a tournament results file"},
        {"empty", "\n", {}, " line 1: not a tournament results file"},
    };
    const std::string changed = subprocess::TempPath("changed") + ".jsonl";
    for (const auto& c : cases) {
        std::vector<std::string> files = c.files;
        if (files.empty()) {
            std::ofstream(changed, std::ios::binary) << c.shard3;
            files = {Paths[0], Paths[1], changed};
        }
        const ProgramRun r = Merge(files);
        EXPECT_EQ(r.status, 2) << c.name;
        EXPECT_TRUE(r.out.empty()) << c.name << ": " << r.out;
        EXPECT_TRUE(r.err.rfind("error: ", 0) == 0 && r.err.find('\n') == r.err.size() - 1)
            << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
    }
    std::remove(changed.c_str());
    std::remove(foreign.c_str());
}

TEST(Tournament, ScheduleHoldsEveryGameOnceRoundByRound) {
    TournamentSettings settings;
    std::string error;
    ASSERT_TRUE(ParsePlayers("0,2,3+,5", false, settings.players, error)) << error;
    settings.games = 3;
    const int64_t perRound = 12;
    ASSERT_EQ(ScheduledGames(settings), 3 * perRound);
    std::set<std::tuple<std::size_t, std::size_t, int64_t>> seen;
    for (int64_t i = 0; i < ScheduledGames(settings); ++i) {
        const ScheduledGame g = ScheduleAt(settings, i);
        EXPECT_EQ(g.number, i / perRound);
        EXPECT_NE(g.first, g.second);
        EXPECT_TRUE(seen.insert({g.first, g.second, g.number}).second) << i;
        EXPECT_EQ(g.seed, GameSeed(settings.seed, settings.players[g.first],
                                   settings.players[g.second], g.number));
    }
    // Every game is in one shard, and each shard has its share of every pairing with each
    // colour (its games of one differ by at most one from any other shard's): with the games
    // striped over the schedule alone, an even count of shards would take one colour each.
    for (const int64_t count : {1, 2, 4, 5, 12, 40}) {
        settings.games = 6;
        std::map<std::pair<std::size_t, std::size_t>, std::vector<int64_t>> perPairing;
        int64_t held = 0;
        for (int64_t k = 1; k <= count; ++k) {
            const TournamentShard shard{k, count};
            int64_t games = 0;
            for (int64_t i = 0; i < ScheduledGames(settings); ++i) {
                if (!shard.Holds(settings, i)) continue;
                ++games;
                const ScheduledGame g = ScheduleAt(settings, i);
                auto& counts = perPairing[{g.first, g.second}];
                counts.resize(static_cast<std::size_t>(count));
                ++counts[static_cast<std::size_t>(k - 1)];
            }
            EXPECT_EQ(games, shard.Games(settings)) << k << "/" << count;
            held += games;
        }
        EXPECT_EQ(held, ScheduledGames(settings)) << count << " shards";
        for (const auto& [pairing, counts] : perPairing)
            EXPECT_LE(*std::max_element(counts.begin(), counts.end()) -
                          *std::min_element(counts.begin(), counts.end()),
                      1)
                << count << " shards, " << pairing.first << " against " << pairing.second;
    }
}

TEST(Tournament, ShardNamesReadBackAndNothingElseReads) {
    for (const TournamentShard shard :
         {TournamentShard{1, 1}, TournamentShard{3, 7}, TournamentShard{MaxShards, MaxShards}})
        EXPECT_EQ(ParseShardName(ShardName(shard)), shard) << ShardName(shard);
    for (const char* bad : {"", "1", "/3", "1/", "0/3", "4/3", "1/0", "-1/3", "+1/3", " 1/3",
                            "1/3 ", "1/2/3", "1/1000001", "1.0/3"})
        EXPECT_FALSE(ParseShardName(bad)) << "'" << bad << "'";
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
    MELVARON_POSIX_ONLY("the face is hidden from fontconfig, which Windows does without");
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
