// The window's game as its record: U and Shift+U take back and put again, and a game kept in a
// file comes back after a crash, each to the picture the game itself showed.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/board_text.h"
#include "platform/headless.h"
#include "tests/form_driver.h"
#include "tests/subprocess.h"
#include "tools/picture_hash.h"

namespace {

constexpr int Man = 0, Lv1 = 2, Lv2 = 3;

std::string Picture(TfrmGalMain& f) {
    const std::vector<TColor> pixels = THeadlessHost(MakeFormHost(f)).Client();
    return PictureHash(pixels.data(), ClientWidth, ClientHeight);
}

// A person (player 1) against LV2 from one seed: the person puts on the first legal cell.
struct PersonGame {
    explicit PersonGame(int type2 = Lv2) {
        d.Start(Man, type2);
        d.Move(CellPixel(FirstPlayable).x, CellPixel(FirstPlayable).y); // off the buttons
        d.Settle();
    }
    bool PersonsTurn() { return d->FState == gsWaitPut; }
    void Put() { d.ClickCell(FirstLegal(*d->FBoard, d->FTurn)); }
    // Puts and plays on until the person is awaited again or the game ends.
    void Turn() {
        Put();
        d.Settle();
    }
    // Ticks until want holds (a person's next turn at the latest).
    void TickUntil(const std::function<bool(TfrmGalMain&)>& want) {
        while (!want(d.f()) && d->FState > 100) {
            if (d->FState == gsStartThink) {
                TThread::TDeferredStarts deferred; // the search runs on after this tick
                d.Tick();
            } else {
                d.Tick();
            }
        }
    }
    FormDriver d{99};
};

// The pictures of the uninterrupted game at each of the person's turns, and at its end.
std::vector<std::string> PersonsTurns() {
    PersonGame g;
    std::vector<std::string> turns;
    for (; g.PersonsTurn(); g.Turn()) turns.push_back(Picture(g.d.f()));
    EXPECT_EQ(g.d->FState, gsGameOver);
    turns.push_back(Picture(g.d.f()));
    return turns;
}

TEST(TakeBack, BackToThePersonsTurnAndForwardAgainFromEveryState) {
    const std::vector<std::string> turns = PersonsTurns();
    ASSERT_GT(turns.size(), 6u);
    using Step = std::function<void(PersonGame&)>;
    auto until = [](int state, int turn) {
        return Step([=](PersonGame& g) {
            g.TickUntil([=](TfrmGalMain& f) { return f.FState == state && f.FTurn == turn; });
        });
    };
    struct Case {
        const char* name;
        Step after; // from just after the person's put of turn k
    } cases[] = {
        {"own put showing (121)", [](PersonGame&) {}},
        {"after own put (128)", until(gsAfterMove, 1)},
        {"computer to search (110)", until(gsStartThink, 2)},
        {"computer thinking (115)", until(gsThinking, 2)},
        {"computer's put showing (121)", until(gsTurnOver, 2)},
        {"person's next turn (0)", [](PersonGame& g) { g.d.Settle(); }},
        {"announcing after NO (129)",
         [](PersonGame& g) {
             g.d.Settle();
             g.d.Press(10, 10, TMouseButton::mbRight); // END ?
             g.d.ClickItem(piSecondButton);            // NO
             g.d.Move(CellPixel(FirstPlayable).x, CellPixel(FirstPlayable).y);
         }},
    };
    for (const Case& c : cases) {
        for (size_t k : {0u, 3u}) {
            SCOPED_TRACE(std::string(c.name) + ", turn " + std::to_string(k));
            PersonGame g;
            for (size_t t = 0; t < k; ++t) g.Turn();
            g.Put();
            c.after(g);
            ASSERT_TRUE(g.d.Key(TKey::vkU));
            EXPECT_EQ(g.d->FSearch, nullptr);
            ExpectInvariants(g.d.f(), "after U");
            g.d.Settle();
            EXPECT_EQ(Picture(g.d.f()), turns[k]);
            // U again from there reaches back one turn more; Shift+U twice comes forward.
            if (k > 0) {
                ASSERT_TRUE(g.d.Key(TKey::vkU));
                g.d.Settle();
                EXPECT_EQ(Picture(g.d.f()), turns[k - 1]);
                ASSERT_TRUE(g.d.Key(TKey::vkU, true));
                g.d.Settle();
                EXPECT_EQ(Picture(g.d.f()), turns[k]);
            }
            ASSERT_TRUE(g.d.Key(TKey::vkU, true));
            g.d.Settle();
            EXPECT_EQ(Picture(g.d.f()), turns[k + 1]);
            EXPECT_FALSE(g.d.Key(TKey::vkU, true)); // nothing more to put again
        }
    }
}

TEST(TakeBack, AfterTheGameAndBetweenTwoPersons) {
    const std::vector<std::string> turns = PersonsTurns();
    PersonGame g;
    while (g.PersonsTurn()) g.Turn();
    ASSERT_EQ(g.d->FState, gsGameOver);
    ASSERT_TRUE(g.d.Key(TKey::vkU));
    g.d.Settle();
    EXPECT_EQ(Picture(g.d.f()), turns[turns.size() - 2]);
    ASSERT_TRUE(g.d.Key(TKey::vkU, true));
    g.d.Settle();
    EXPECT_EQ(g.d->FState, gsGameOver);
    EXPECT_EQ(Picture(g.d.f()), turns.back());

    // Two persons: each U takes back one put, the other person's.
    PersonGame two(Man);
    const std::string first = Picture(two.d.f());
    two.Turn();
    const std::string second = Picture(two.d.f());
    two.Turn();
    ASSERT_TRUE(two.d.Key(TKey::vkU));
    two.d.Settle();
    EXPECT_EQ(two.d->FTurn, 2);
    EXPECT_EQ(Picture(two.d.f()), second);
    ASSERT_TRUE(two.d.Key(TKey::vkU));
    two.d.Settle();
    EXPECT_EQ(Picture(two.d.f()), first);
    EXPECT_FALSE(two.d.Key(TKey::vkU));
}

TEST(TakeBack, UDoesNothingWhereNoPersonsPutCanBeTakenBack) {
    const struct {
        const char* name;
        std::function<void(FormDriver&)> reach;
    } cases[] = {
        {"selection (4)", [](FormDriver&) {}},
        {"first turn, nothing put yet",
         [](FormDriver& d) {
             d.Start(Man, Lv2);
             d.Settle();
         }},
        {"NEW GAME ? (1)",
         [](FormDriver& d) {
             d.Start(Man, Man);
             d.Settle();
             d.ClickCell(FirstLegal(*d->FBoard, 1));
             d.ClickItem(piFirstButton);
         }},
        {"two computers",
         [](FormDriver& d) {
             d.Start(Lv1, Lv1);
             d.Settle(40);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormDriver d;
        c.reach(d);
        const int state = d->FState;
        const std::string before = Picture(d.f());
        const auto moves = d->FRecord.Moves();
        d->accSpoken.Take();
        EXPECT_FALSE(d.Key(TKey::vkU));
        EXPECT_FALSE(d.Key(TKey::vkU, true));
        EXPECT_EQ(d->FState, state);
        EXPECT_EQ(d->FRecord.Moves(), moves);
        EXPECT_EQ(Picture(d.f()), before);
        EXPECT_TRUE(d->accSpoken.Take().empty());
    }
}

// ---- The kept game ----

// A kept game's file in a folder of its own, which the first write makes.
struct KeptFile {
    KeptFile() : folder(subprocess::TempPath("kept")), path(folder + "/game.txt") {}
    ~KeptFile() { std::filesystem::remove_all(folder); }
    std::unique_ptr<TKeptText> Store() const { return std::make_unique<TKeptFile>(path); }
    bool Exists() const { return std::filesystem::exists(path); }
    std::string folder, path;
};

struct Ending {
    std::string board, picture;
    int counts[3];
};

Ending End(FormDriver& d) {
    EXPECT_EQ(d->FState, gsGameOver);
    return {
        FormatBoard(d->FBoard->data()), Picture(d.f()), {d->FCount[0], d->FCount[1], d->FCount[2]}};
}

// LV1 against LV2, interrupted at moments all over the game (in a search, while panels turn,
// after a move) and resumed by a window of its own: every resumed game ends as the whole did.
TEST(KeptGame, AGameResumedAtAnyMomentEndsAsTheWholeGame) {
    auto start = [](FormDriver& d, const KeptFile& kept) {
        d->KeepGameIn(kept.Store());
        d.Start(Lv1, Lv2);
        d.Move(CellPixel(FirstPlayable).x, CellPixel(FirstPlayable).y);
    };
    KeptFile kept;
    FormDriver whole(5);
    start(whole, kept);
    std::vector<int> states; // after each tick
    whole.Settle(100000, [&](int state) { states.push_back(state); });
    const Ending want = End(whole);
    EXPECT_FALSE(kept.Exists()); // a finished game is not kept

    // Moments spread over the game, and one in the second half in each state a tick leaves.
    std::set<int> moments;
    const int ticks = static_cast<int>(states.size());
    for (int at = 0; at < ticks; at += SanitizedBuild ? 61 : 23) moments.insert(at);
    for (int state : {gsThinking, gsTurnOver, gsAfterMove})
        for (int at = ticks / 2; at < ticks; ++at)
            if (states[at - 1] == state) {
                moments.insert(at);
                break;
            }
    for (int at : moments) {
        SCOPED_TRACE("interrupted after " + std::to_string(at) + " ticks");
        {
            FormDriver first(5);
            start(first, kept);
            first.Settle(at);
        }                       // the window goes without its close: a crash
        FormDriver again(1234); // another clock: the record gives the generator's state
        again->KeepGameIn(kept.Store());
        EXPECT_TRUE(again->KeptGameProblem().empty()) << again->KeptGameProblem();
        again.Settle();
        const Ending got = End(again);
        EXPECT_EQ(got.board, want.board);
        EXPECT_EQ(got.picture, want.picture);
        EXPECT_EQ(std::vector<int>(got.counts, got.counts + 3),
                  std::vector<int>(want.counts, want.counts + 3));
    }
}

TEST(KeptGame, TheLeavingPlayerForgetsItACrashKeepsIt) {
    const struct {
        const char* name;
        std::function<void(FormDriver&)> leave;
        bool kept;
    } cases[] = {
        {"a crash", [](FormDriver& d) { d->Close(); }, true},
        {"the close box", [](FormDriver& d) { d->CloseBox(); }, false},
        {"END / YES",
         [](FormDriver& d) { d.ClickItem(piSecondButton), d.ClickItem(piFirstButton); }, false},
        {"NEW GAME / YES",
         [](FormDriver& d) { d.ClickItem(piFirstButton), d.ClickItem(piFirstButton); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeptFile kept;
        FormDriver d;
        d->KeepGameIn(kept.Store());
        d.Start(Man, Lv2);
        d.Settle();
        d.ClickCell(FirstLegal(*d->FBoard, 1));
        EXPECT_TRUE(kept.Exists());
        c.leave(d);
        EXPECT_EQ(kept.Exists(), c.kept);
    }
}

TEST(KeptGame, AStrangeFileIsRefusedAndTheSelectionComes) {
    KeptFile kept;
    std::string good;
    {
        FormDriver d;
        d->KeepGameIn(kept.Store());
        d.Strip();
        d.Start(Lv1, Lv1);
        d.Settle(30);
        good = subprocess::ReadFile(kept.path);
        ASSERT_NE(good.find("put 1"), std::string::npos);
    }
    FormDriver fresh;
    const std::string selection = Picture(fresh.f());
    {
        FormDriver d;
        d->KeepGameIn(kept.Store());
        EXPECT_EQ(d->FLevelBonus, BonusDepth); // the strip as it was at GAME
        EXPECT_EQ(d->Shape1.BrushColor, StripOnBrush);
    }
    const std::string put =
        good.substr(good.find("put 1"), good.find('\n', good.find("put 1")) - good.find("put 1"));
    const struct {
        const char* name;
        std::string text;
        std::string problem;
    } cases[] = {
        {"garbage",
         "\x7f"
         "ELF\n",
         "line 1: not a game record"},
        {"newer", "melvaron-record 2\n" + good.substr(good.find('\n') + 1),
         "line 1: record version 2"},
        {"cut", good.substr(0, good.size() / 2), "the record is cut"},
        {"illegal", good.substr(0, good.find(put)) + "put 1 15\nend\n",
         "line 6: player 1 may not put on 15"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* f = std::fopen(kept.path.c_str(), "wb");
        std::fwrite(c.text.data(), 1, c.text.size(), f);
        std::fclose(f);
        FormDriver d;
        d->accSpoken.Take();
        d->KeepGameIn(kept.Store());
        EXPECT_EQ(d->FState, gsSelect);
        EXPECT_FALSE(d->FRecord.Started());
        EXPECT_EQ(d->KeptGameProblem().rfind("the last game could not be resumed: ", 0), 0u);
        EXPECT_NE(d->KeptGameProblem().find(c.problem), std::string::npos) << d->KeptGameProblem();
        EXPECT_EQ(d->accSpoken.Take(), std::vector<std::string>{d->KeptGameProblem()});
        EXPECT_EQ(Picture(d.f()), selection);
    }
}

} // namespace
