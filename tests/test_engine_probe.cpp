// The board reader and writer, and the melvaron-engine probe run as a program.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/board_text.h"
#include "engine/tables.h"
#include "subprocess.h"
#include "test_engine_reference.h"

namespace {

const std::string StartText = "............\n"
                              "............\n"
                              ".....12.....\n"
                              ".....21.....\n"
                              "............\n"
                              "............\n";

TEST(BoardText, ReadsTheStartPositionInSeveralLayouts) {
    const std::string spaced = "\n. . . . . . . . . . . .\n\n. . . . . . . . . . . .\r\n"
                               "\t.....1 2.....\n.....21.....   \n............\n............";
    for (const std::string& text : {StartText, spaced}) {
        Board b;
        std::string error;
        ASSERT_TRUE(ParseBoard(text, b, error)) << error;
        EXPECT_EQ(b, InitialBoard);
    }
    EXPECT_EQ(FormatBoard(InitialBoard.data()), StartText);
}

TEST(BoardText, RoundTripsRandomPositions) {
    reference::Rng rng(5);
    for (int k = 0; k < 50; ++k) {
        const auto pos = reference::RandomPosition(rng, rng.Below(68));
        Board back;
        std::string error;
        ASSERT_TRUE(ParseBoard(FormatBoard(pos.board.data()), back, error)) << error;
        EXPECT_EQ(back, pos.board);
    }
}

TEST(BoardText, RejectsBadBoards) {
    const std::string row = "............\n";
    const std::string cases[] = {
        "",                                                        // nothing
        row + row + row + row + row,                               // five rows
        row + row + row + row + row + row + row,                   // seven rows
        row + row + row + "...........\n" + row + row,             // a short line
        row + row + row + ".............\n" + row + row,           // a long line
        row + row + row + "...........\n." + row + row,            // a cell moved to the next line
        row + row + row + ".....x......\n" + row + row,            // a foreign character
        row + row + row + ".....3......\n" + row + row,            // no such player
        row + row + row + row + row + "......" + '\0' + ".....\n", // a NUL byte
    };
    for (const std::string& text : cases) {
        Board b;
        std::string error;
        EXPECT_FALSE(ParseBoard(text, b, error)) << text;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(BoardText, SurvivesArbitraryBytes) {
    reference::Rng rng(99);
    const char alphabet[] = ".12 \n\t\rx\0\xff";
    for (int k = 0; k < 2000; ++k) {
        std::string text;
        const int n = rng.Below(120);
        for (int i = 0; i < n; ++i)
            text += k % 2 ? alphabet[rng.Below(sizeof alphabet)] : char(rng.Next() & 0xFF);
        Board b;
        std::string error;
        if (!ParseBoard(text, b, error))
            EXPECT_FALSE(error.empty());
        else
            EXPECT_TRUE(table_laws::BorderRingIntact(b));
    }
}

using ProbeRun = subprocess::TRun;

// Runs the probe with the given arguments (split at blanks) and standard input.
ProbeRun Probe(const std::string& args, const std::string& input) {
    std::vector<std::string> words;
    std::istringstream split(args);
    for (std::string w; split >> w;) words.push_back(w);
    subprocess::TOptions options;
    options.input = input;
    return subprocess::Run(subprocess::Program("tools/melvaron-engine"), words, options);
}

TEST(Probe, AnswersOnTheStartPosition) {
    struct Case {
        std::string args, out;
    };
    const Case cases[] = {
        {"legal", "1: 50 61\n2: 47 64\nmask: 3\n"},
        {"put 50 1", "flips: 1 50 49 -1\n............\n............\n.....111....\n"
                     ".....21.....\n............\n............\n"},
        {"eval 1 3", "50 60000\n61 60000\nprogress: 34\n"},
        {"eval 2 1", "47 40000\n64 40000\nprogress: 2\n"},
    };
    for (const Case& c : cases) {
        const ProbeRun r = Probe(c.args, StartText);
        EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
}

// True when text is "<prefix><decimal number>\n".
bool IsPrefixThenNumber(const std::string& text, const std::string& prefix) {
    if (text.rfind(prefix, 0) != 0 || text.size() < prefix.size() + 2 || text.back() != '\n')
        return false;
    const std::string number = text.substr(prefix.size(), text.size() - prefix.size() - 1);
    return number.find_first_not_of("0123456789.") == std::string::npos;
}

TEST(Probe, ThinkRunsTheWorker) {
    const ProbeRun r = Probe("think 1 3 16384", StartText);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(IsPrefixThenNumber(r.out, "result: 61\nprogress: 34\nnodes: 34\nseconds: "))
        << r.out;
}

TEST(Probe, SelfplayIsRepeatableForASeed) {
    const ProbeRun a = Probe("selfplay 1 0 --games 3 --seed 42", "");
    const ProbeRun b = Probe("selfplay 1 0 --seed 42 --games 3", "");
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    std::istringstream lines(a.out);
    std::string line;
    int games = 0, wins[3] = {};
    while (std::getline(lines, line) && line.rfind("game ", 0) == 0) {
        int k, p1, p2, empty, winner, moves, used = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "game %d: 1=%d 2=%d empty=%d winner=%d moves=%d%n", &k,
                              &p1, &p2, &empty, &winner, &moves, &used),
                  6)
            << line;
        EXPECT_EQ(used, static_cast<int>(line.size())) << line;
        EXPECT_EQ(k, ++games);
        EXPECT_EQ(p1 + p2 + empty, 72);
        EXPECT_EQ(winner, p1 > p2 ? 1 : p2 > p1 ? 2 : 0);
        EXPECT_EQ(moves, 68 - empty); // every move fills one cell
        ++wins[winner];
    }
    EXPECT_EQ(games, 3);
    EXPECT_EQ(line, "total: 1 wins " + std::to_string(wins[1]) + ", 2 wins " +
                        std::to_string(wins[2]) + ", draws " + std::to_string(wins[0]));
}

TEST(Probe, BenchReportsEveryPosition) {
    const ProbeRun r = Probe("bench --depth 3", "");
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<double> times;
    for (int k = 1; k <= 12; ++k) {
        ASSERT_TRUE(std::getline(lines, line));
        unsigned long long nodes;
        double seconds;
        int position, used = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "position %d: nodes=%llu seconds=%lf%n", &position,
                              &nodes, &seconds, &used),
                  3)
            << line;
        EXPECT_EQ(position, k);
        EXPECT_EQ(used, static_cast<int>(line.size())) << line;
        times.push_back(seconds);
    }
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_TRUE(IsPrefixThenNumber(line + "\n", "nodes/s: ")) << line;
    // The summary agrees with the positions' own lines.
    ASSERT_TRUE(std::getline(lines, line));
    double median, worst, total;
    int worstPosition;
    ASSERT_EQ(std::sscanf(line.c_str(),
                          "time to move: median %lf s, worst %lf s (position %d), total %lf s",
                          &median, &worst, &worstPosition, &total),
              4)
        << line;
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_NEAR(median, (sorted[5] + sorted[6]) / 2, 1e-6);
    EXPECT_EQ(worst, sorted.back());
    ASSERT_GE(worstPosition, 1);
    ASSERT_LE(worstPosition, 12);
    EXPECT_EQ(times[worstPosition - 1], worst);
    EXPECT_FALSE(std::getline(lines, line));
}

TEST(Probe, HelpAndUsage) {
    const ProbeRun help = Probe("--help", "");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: melvaron-engine"), std::string::npos);
    const ProbeRun none = Probe("", "");
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.out.empty());
    EXPECT_NE(none.err.find("usage: melvaron-engine"), std::string::npos);
}

TEST(Probe, BadInputIsOneErrorLineAndExitTwo) {
    const std::string noMoveFor2 = "............\n............\n.....11.....\n"
                                   ".....11.....\n............\n............\n";
    struct Case {
        std::string args, input;
    };
    const Case cases[] = {
        {"legal", StartText.substr(0, 40)},
        {"legal", "............\n............\n.....1x.....\n.....21.....\n............\n"
                  "............\n"},
        {"legal extra", StartText},
        {"put 48 1", StartText},  // occupied
        {"put 14 1", StartText},  // border
        {"put 200 1", StartText}, // off the board
        {"put 15 1", StartText},  // brackets nothing
        {"put 50 3", StartText},  // no such player
        {"put 50", StartText},    // missing argument
        {"eval 1 0", StartText},  // depth out of range
        {"eval 1 11", StartText}, // depth out of range
        {"eval 1 3x", StartText}, // not a number
        {"think 2 3 0", noMoveFor2},
        {"think 1 3 32768", StartText},
        {"think 1 -1 0", StartText},
        {"selfplay 6 0", ""},
        {"selfplay 1 1 --games 0", ""},
        {"selfplay 1 1 --seed", ""},
        {"selfplay 1 1 --fast", ""},
        {"bench --depth 11", ""},
        {"frobnicate", ""},
    };
    for (const Case& c : cases) {
        const ProbeRun r = Probe(c.args, c.input);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_TRUE(r.out.empty()) << c.args << ": " << r.out;
        EXPECT_TRUE(r.err.rfind("error: ", 0) == 0 && r.err.size() > 8 &&
                    r.err.find('\n') == r.err.size() - 1)
            << c.args << ": " << r.err;
    }
}

} // namespace
