// The scripted-session player: its language, the headless window under it, and whole runs of
// the melvaron-replay program.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/image.h"
#include "subprocess.h"
#include "tools/picture_hash.h"
#include "tools/replay_script.h"
#include "ui/form.h"
#include "ui/host.h"

namespace {

using replay::ParseScript;
using replay::TOp;

TEST(ReplayParse, GoodLines) {
    struct Case {
        const char* line;
        TOp op;
        int64_t count;
        int x, y;
        TMouseButton button;
    } cases[] = {
        {"seed 4294967295", TOp::Seed, 4294967295LL, 0, 0, TMouseButton::mbLeft},
        {"  move 0 0  ", TOp::Move, 0, 0, 0, TMouseButton::mbLeft},
        {"move 767 511", TOp::Move, 0, 767, 511, TMouseButton::mbLeft},
        {"press left 10 20", TOp::Press, 0, 10, 20, TMouseButton::mbLeft},
        {"press\tright 762 0", TOp::Press, 0, 762, 0, TMouseButton::mbRight},
        {"press middle 1 2 # comment", TOp::Press, 0, 1, 2, TMouseButton::mbMiddle},
        {"strip", TOp::Strip, 0, 0, 0, TMouseButton::mbLeft},
        {"tick", TOp::Tick, 1, 0, 0, TMouseButton::mbLeft},
        {"tick 0", TOp::Tick, 0, 0, 0, TMouseButton::mbLeft},
        {"tick 2147483647", TOp::Tick, 2147483647, 0, 0, TMouseButton::mbLeft},
        {"settle", TOp::Settle, 100000, 0, 0, TMouseButton::mbLeft},
        {"settle 7\r", TOp::Settle, 7, 0, 0, TMouseButton::mbLeft},
        {"close", TOp::Close, 0, 0, 0, TMouseButton::mbLeft},
        {"state", TOp::State, 0, 0, 0, TMouseButton::mbLeft},
        {"board", TOp::Board, 0, 0, 0, TMouseButton::mbLeft},
    };
    for (const Case& c : cases) {
        const auto r = ParseScript(c.line);
        ASSERT_TRUE(r.ok()) << c.line << ": " << r.Message();
        ASSERT_EQ(r.commands.size(), 1u) << c.line;
        const replay::TCommand& cmd = r.commands[0];
        EXPECT_EQ(cmd.op, c.op) << c.line;
        EXPECT_EQ(cmd.count, c.count) << c.line;
        EXPECT_EQ(cmd.x, c.x) << c.line;
        EXPECT_EQ(cmd.y, c.y) << c.line;
        EXPECT_EQ(cmd.button, c.button) << c.line;
        EXPECT_EQ(cmd.line, 1) << c.line;
    }
    const auto shot = ParseScript("shot out/a.png");
    ASSERT_TRUE(shot.ok());
    EXPECT_EQ(shot.commands[0].file, "out/a.png");
}

TEST(ReplayParse, KeysByName) {
    const auto r = ParseScript("key shift+tab\nkey space\nspeech\n");
    ASSERT_TRUE(r.ok()) << r.Message();
    ASSERT_EQ(r.commands.size(), 3u);
    EXPECT_EQ(r.commands[0].op, TOp::Key);
    EXPECT_EQ(r.commands[0].key, TKey::vkTab);
    EXPECT_TRUE(r.commands[0].shift);
    EXPECT_EQ(r.commands[1].key, TKey::vkSpace);
    EXPECT_FALSE(r.commands[1].shift);
    EXPECT_EQ(r.commands[2].op, TOp::Speech);
}

TEST(ReplayParse, CommentsBlankLinesAndLineNumbers) {
    const auto r = ParseScript("# a session\n\nseed 3\n   \n\tstate # now\n#close\nboard");
    ASSERT_TRUE(r.ok()) << r.Message();
    ASSERT_EQ(r.commands.size(), 3u);
    EXPECT_EQ(r.commands[0].line, 3);
    EXPECT_EQ(r.commands[1].line, 5);
    EXPECT_EQ(r.commands[2].line, 7);
    EXPECT_TRUE(ParseScript("").ok());
}

TEST(ReplayParse, BadLinesNameTheLineAndTheFault) {
    struct Case {
        const char* script;
        const char* message;
    } cases[] = {
        {"jump 1 2", "line 1: unknown command 'jump'"},
        {"Move 1 2", "line 1: unknown command 'Move'"},
        {"state\nmove 1", "line 2: wrong number of arguments to move (usage: move X Y)"},
        {"move 1 2 3", "line 1: wrong number of arguments to move (usage: move X Y)"},
        {"press left 1", "line 1: wrong number of arguments to press (usage: press "
                         "left|right|middle X Y)"},
        {"press up 1 2", "line 1: press: unknown button 'up' (left, right or middle)"},
        {"strip now", "line 1: wrong number of arguments to strip (usage: strip)"},
        {"tick 1 2", "line 1: wrong number of arguments to tick (usage: tick [N])"},
        {"settle 1 2", "line 1: wrong number of arguments to settle (usage: settle [MAX])"},
        {"shot", "line 1: wrong number of arguments to shot (usage: shot FILE)"},
        {"shot a b", "line 1: wrong number of arguments to shot (usage: shot FILE)"},
        {"state 1", "line 1: wrong number of arguments to state (usage: state)"},
        {"seed", "line 1: wrong number of arguments to seed (usage: seed N)"},
        {"key", "line 1: wrong number of arguments to key (usage: key NAME)"},
        {"key Tab", "line 1: key: unknown key 'Tab' (left, right, up, down, tab, shift+tab, enter, "
                    "space, escape, b, r, u or shift+u)"},
        {"keep", "line 1: wrong number of arguments to keep (usage: keep FILE)"},
        {"state\nkeep a.txt", "line 2: keep must be the first command, or the second after seed"},
        {"keep a.txt\nseed 1", "line 2: seed must be the first command"},
        {"speech now", "line 1: wrong number of arguments to speech (usage: speech)"},
        {"move x 2", "line 1: move: 'x' is not a number"},
        {"move 1 2y", "line 1: move: '2y' is not a number"},
        {"move +1 2", "line 1: move: '+1' is not a number"},
        {"tick 0x10", "line 1: tick: '0x10' is not a number"},
        {"move 768 0", "line 1: move: X '768' is out of range 0..767"},
        {"press left 0 512", "line 1: press: Y '512' is out of range 0..511"},
        {"move -1 0", "line 1: move: X '-1' is out of range 0..767"},
        {"tick -1", "line 1: tick: N '-1' is out of range 0..2147483647"},
        {"settle 2147483648", "line 1: settle: MAX '2147483648' is out of range 0..2147483647"},
        {"seed 4294967296", "line 1: seed: N '4294967296' is out of range 0..4294967295"},
        {"tick 99999999999999999999999",
         "line 1: tick: N '99999999999999999999999' is out of range 0..2147483647"},
        {"# first\nstate\nseed 1", "line 3: seed must be the first command"},
        {"seed 1\nseed 2", "line 2: seed must be the first command"},
        {"close\n\nstate", "line 3: command after close"},
        {"close\nclose", "line 2: command after close"},
        {"state\n\x01\x7f", "line 2: unknown command '?"
                            "?'"},
    };
    for (const Case& c : cases) {
        const auto r = ParseScript(c.script);
        EXPECT_FALSE(r.ok()) << c.script;
        EXPECT_EQ(r.Message(), c.message) << c.script;
        EXPECT_TRUE(r.commands.empty()) << c.script;
    }
}

TEST(ReplayParse, AnyBytesGiveAResultNotACrash) {
    std::mt19937 gen(12345);
    const std::string alphabet = "seedmovpresstriptickclosehotboard 0123456789-#\n\t\r\x01\xff";
    for (int round = 0; round < 2000; ++round) {
        std::string text(gen() % 200, ' ');
        for (char& ch : text)
            ch = gen() % 4 ? alphabet[gen() % alphabet.size()] : static_cast<char>(gen());
        const auto r = ParseScript(text);
        if (!r.ok()) {
            EXPECT_EQ(r.Message().find('\n'), std::string::npos);
        }
    }
}

// The game window driven by the headless backend, as the player drives it.
TEST(HeadlessWindow, TicksReachTheWindowOnlyWhileItsTimerRuns) {
    TfrmGalMain form;
    form.FormCreate();
    THeadlessHost host(MakeFormHost(form));
    ASSERT_EQ(form.FState, gsSelect);
    EXPECT_FALSE(host.Tick()); // the player selection waits with the timer off
    EXPECT_EQ(form.FState, gsSelect);

    host.MouseMove(600, 410); // the upper button: GAME
    host.MouseDown(TMouseButton::mbLeft, 600, 410);
    EXPECT_EQ(form.FState, gsAnnounce);
    EXPECT_TRUE(host.Tick());
    EXPECT_EQ(form.FState, gsWaitPut); // player 1 is a person

    host.MouseDown(TMouseButton::mbRight, 100, 100); // "END ?" stops the timer
    EXPECT_EQ(form.FState, gsAskEnd);
    EXPECT_FALSE(host.Tick());

    host.Close();
    EXPECT_TRUE(form.Closed());
    EXPECT_FALSE(host.Tick());
    EXPECT_FALSE(host.MouseDown(TMouseButton::mbLeft, 600, 410));
}

TEST(HeadlessWindow, PressOnTheStripEdgeTogglesTheBonus) {
    TfrmGalMain form;
    form.FormCreate();
    THeadlessHost host(MakeFormHost(form));
    host.MouseDown(TMouseButton::mbLeft, 767, 300);
    EXPECT_EQ(form.FLevelBonus, 5);
    EXPECT_EQ(host.Client()[300 * ClientWidth + 764], StripOnBrush);
    EXPECT_EQ(host.Client()[300 * ClientWidth + 762], StripOnPen);
    host.Strip();
    EXPECT_EQ(form.FLevelBonus, 0);
    EXPECT_EQ(host.Client()[300 * ClientWidth + 764], StripOff);
}

using RunResult = subprocess::TRun;

// Runs melvaron-replay on script.
RunResult Replay(const std::string& script, const std::string& name) {
    const std::string path = subprocess::TempPath("replay_" + name) + ".txt";
    std::ofstream(path, std::ios::binary) << script;
    RunResult r = subprocess::Run(subprocess::Program("tools/melvaron-replay"), {path});
    std::remove(path.c_str());
    return r;
}

TEST(ReplayProgram, StateLinesInTheExactFormat) {
    const RunResult r = Replay("seed 1\nstate\nstrip\nmove 560 350\npress left 560 350\n"
                               "move 600 410\npress left 600 410\nstate\nsettle\nstate\nboard\n",
                               "state_format");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "state=4 turn=1 counts=68,2,2 players=0,1 bonus=0 hover=0 msgline=0 "
                     "cursor=default search=no timer=off\n"
                     "state=129 turn=1 counts=68,2,2 players=0,0 bonus=5 hover=10 msgline=0 "
                     "cursor=default search=no timer=on\n"
                     "state=0 turn=1 counts=68,2,2 players=0,0 bonus=5 hover=10 msgline=1 "
                     "cursor=default search=no timer=on\n"
                     "............\n"
                     "............\n"
                     ".....12.....\n"
                     ".....21.....\n"
                     "............\n"
                     "............\n");
}

TEST(ReplayProgram, KeysPlayAndTheWindowSaysWhatItShows) {
    const RunResult r = Replay("seed 1\nspeech\nkey b\nkey enter\nsettle\nkey up\nkey r\n"
                               "state\nspeech\nspeech\n",
                               "keys");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "speech 1\n"
                     "said: SELECT PLAYER !!\n"
                     "state=0 turn=1 counts=68,2,2 players=0,1 bonus=5 hover=1 msgline=1 "
                     "cursor=default search=no timer=on\n"
                     "speech 4\n"
                     "said: player 1: TURN !\n"
                     "said: Put Panel !\n"
                     "said: row 3, column 6: player 1's panel\n"
                     "said: player 1: 2 panels, player 2: 2 panels, 68 empty\n"
                     "speech 0\n");
}

TEST(ReplayProgram, ComputerGamesSettleToTheSameEndForTheSameSeed) {
    // Both players LV0 (box 1 of each row), then GAME: the game plays itself to its end.
    const std::string script = "seed 42\nmove 585 322\npress left 585 322\n"
                               "move 585 350\npress left 585 350\n"
                               "move 600 410\npress left 600 410\nsettle\nstate\nboard\n";
    const RunResult a = Replay(script, "lv0_a");
    const RunResult b = Replay(script, "lv0_b");
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out);
    ASSERT_EQ(a.out.rfind("state=3 turn=", 0), 0u) << a.out;
    EXPECT_NE(a.out.find("players=1,1"), std::string::npos) << a.out;
    EXPECT_NE(a.out.find("search=no timer=on"), std::string::npos) << a.out;
}

// A script keeps its game in a file: one that ends without close leaves it as a crash would,
// the next resumes it, and --record replays the file to the same board.
TEST(ReplayProgram, KeepResumesAndRecordReplays) {
    const std::string kept = subprocess::TempPath("replay_kept") + ".txt";
    // Both LV1 (box 2 of each row), GAME, a few moves, and no close.
    const RunResult first = Replay("seed 3\nkeep " + kept +
                                       "\nmove 610 322\npress left 610 322\nmove 610 350\n"
                                       "press left 610 350\nmove 600 410\npress left 600 410\n"
                                       "settle 60\nboard\n",
                                   "keep_first");
    ASSERT_EQ(first.status, 0) << first.err;
    const RunResult again =
        Replay("keep " + kept + "\nboard\nsettle\nstate\nspeech\n", "keep_again");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.substr(0, first.out.size()), first.out); // where the first one stopped
    EXPECT_NE(again.out.find("\nstate=3 "), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("said: resumed the last game\n"), std::string::npos) << again.out;

    const RunResult third = Replay("keep " + kept + "\nstate\nboard\n", "keep_third");
    EXPECT_EQ(third.out.rfind("state=4 ", 0), 0u) << third.out; // the finished game went

    std::ofstream(kept, std::ios::binary)
        << "melvaron-record 1\nplayer 1 MAN\nplayer 2 LV0\nbonus off\nrandom 5\n"
           "put 1 61 row 4 column 5\nend\n";
    const RunResult played =
        subprocess::Run(subprocess::Program("tools/melvaron-replay"), {"--record", kept});
    EXPECT_EQ(played.status, 0) << played.err;
    EXPECT_EQ(played.out, "............\n............\n.....12.....\n....111.....\n"
                          "............\n............\ncounts=67,4,1 turn=2\n");
    std::ofstream(kept, std::ios::binary) << "melvaron-record 1\nplayer 1 MAN\nplayer 2 LV0\n"
                                             "bonus off\nrandom 5\nput 2 61\nend\n";
    const RunResult refused =
        subprocess::Run(subprocess::Program("tools/melvaron-replay"), {"--record", kept});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "line 6: player 1 is to move, not player 2\n");
    std::remove(kept.c_str());
}

TEST(ReplayProgram, FaultsExitWithStatusTwo) {
    struct Case {
        const char* script;
        const char* err; // the whole of standard error
    } cases[] = {
        {"state\nfly\n", "line 2: unknown command 'fly'\n"},
        {"close\nstate\n", "line 2: command after close\n"},
        // YES to "END ?" closes the window from inside: later commands find it gone.
        {"press right 10 10\nmove 600 410\npress left 600 410\nstate\n",
         "line 4: the window has closed\n"},
        {"shot /nonexistent-dir/x.png\n", nullptr},
    };
    for (const Case& c : cases) {
        const RunResult r = Replay(c.script, "fault");
        EXPECT_EQ(r.status, 2) << c.script;
        if (c.err) {
            EXPECT_EQ(r.err, c.err) << c.script;
        } else {
            EXPECT_EQ(r.err.rfind("line 1: cannot write /nonexistent-dir/x.png: ", 0), 0u) << r.err;
        }
    }
    const std::vector<std::vector<std::string>> badArguments = {{"/nonexistent-script"},
                                                                {},
                                                                {"--hash"},
                                                                {"--hash", "--print-layout"},
                                                                {"--record", "/nonexistent-record"},
                                                                {"--record", "a.txt", "b.txt"}};
    for (const auto& args : badArguments) {
        const subprocess::TRun r =
            subprocess::Run(subprocess::Program("tools/melvaron-replay"), args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

// The standard's test vectors: the padding's one- and two-block tails and a long message.
TEST(PictureHash, Sha256KnownAnswers) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(c.message.data());
        EXPECT_EQ(Sha256Hex(bytes, c.message.size()), c.digest) << c.message.size();
    }
    // A picture is hashed as R, G, B bytes, whatever order a pixel keeps them in.
    const uint32_t pixels[2] = {RGBColor(1, 2, 3), RGBColor(4, 5, 6)};
    const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(PictureHash(pixels, 2, 1), Sha256Hex(rgb, 6));
}

// The golden pictures: the headless replay's screens, frozen. Every front end is tested against
// the replay, so this is what stops a change that moves a pixel everywhere at once.
TEST(ReplayProgram, GoldenPictures) {
    const std::string dir = std::string(MELVARON_SOURCE_DIR) + "/tests/golden/";
    const RunResult r = subprocess::Run(subprocess::Program("tools/melvaron-replay"),
                                        {"--hash", dir + "screens.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto pictures = [](const std::string& text) {
        std::map<std::string, std::string> hashes;
        std::istringstream lines(text);
        std::string name, hash;
        while (lines >> name >> hash) hashes[name] = hash;
        return hashes;
    };
    const auto want = pictures(subprocess::ReadFile(dir + "hashes.txt"));
    const auto got = pictures(r.out);
    ASSERT_EQ(want.size(), 4u) << "tests/golden/hashes.txt";
    for (const auto& [name, hash] : want)
        EXPECT_EQ(got.count(name) ? got.at(name) : "no such shot", hash)
            << name << " differs from its golden picture. If the change is meant, update "
            << "tests/golden/hashes.txt (see its script) in the same commit and say why.";
    EXPECT_EQ(got.size(), want.size()) << r.out;
}

} // namespace
