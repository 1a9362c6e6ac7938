// The keyboard: the cursor's way over the cells and its picture, Tab over the items, keys that
// press as the mouse does, and what the window says for a screen reader.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "tests/form_driver.h"

namespace {

constexpr TKey Arrows[] = {TKey::vkLeft, TKey::vkRight, TKey::vkUp, TKey::vkDown};

TPoint Direction(TKey arrow) {
    return {arrow == TKey::vkLeft    ? -1
            : arrow == TKey::vkRight ? 1
                                     : 0,
            arrow == TKey::vkUp     ? -1
            : arrow == TKey::vkDown ? 1
                                    : 0};
}

// The colour a hover mark paints, at a pixel of the mark of item.
TColor MarkPixel(const TImage& img, int item) {
    const TPanelItem r = PanelItemRect(item);
    if (item <= piSecondButton)
        return img.Pixel(ButtonArrow(item - piFirstButton).left + 2, r.top + 11);
    return img.Pixel(r.left + 5, r.top + r.height);
}
TColor MarkOff(int item) {
    return item <= piSecondButton ? ColBack : ColPanel;
}

void ManAgainstMan(FormDriver& d) {
    d.Start(0, 0);
    d.Tick();
    ASSERT_EQ(d->FState, gsWaitPut);
}

TEST(Keyboard, ArrowsReachEveryCellAndStopOnlyAtTheCorners) {
    // A few moves a player sees: the middle panels' neighbours, and the corners that stop.
    struct Case {
        int from;
        TKey arrow;
        int to;
    } cases[] = {
        {KeyStartCell, TKey::vkRight, 49},
        {KeyStartCell, TKey::vkLeft, 62},
        {KeyStartCell, TKey::vkUp, 47},
        {KeyStartCell, TKey::vkDown, 62}, // 49 is as near; 62 lies further left
        {15, TKey::vkUp, 15},
        {26, TKey::vkRight, 26},
        {85, TKey::vkLeft, 85},
        {96, TKey::vkDown, 96},
    };
    for (const Case& c : cases) {
        const TPoint d = Direction(c.arrow);
        EXPECT_EQ(CellToward(c.from, d.x, d.y), c.to) << c.from;
    }
    int stops = 0;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell) {
        if (CellClass[cell] < 0) continue;
        EXPECT_EQ(ArrowsBetween(KeyStartCell, cell).empty(), cell == KeyStartCell) << cell;
        EXPECT_EQ(ArrowsBetween(cell, KeyStartCell).empty(), cell == KeyStartCell) << cell;
        for (TKey arrow : Arrows) {
            const TPoint d = Direction(arrow);
            const int next = CellToward(cell, d.x, d.y);
            EXPECT_TRUE(IsPlayableCell(next) && CellClass[next] >= 0) << cell;
            // Each step goes that way on the screen.
            const TPoint a = CellCentre3(cell), b = CellCentre3(next);
            if (next == cell)
                ++stops;
            else
                EXPECT_GT((b.x - a.x) * d.x + (b.y - a.y) * d.y, 0) << cell << " to " << next;
        }
    }
    EXPECT_EQ(stops, 4);
}

TEST(Keyboard, TabReachesEveryItemAClickCouldPressAndNoOther) {
    struct Case {
        const char* name;
        void (*reach)(FormDriver&);
        int last;
    } cases[] = {
        {"selection", [](FormDriver&) {}, piLastLevelBox},
        {"person's turn", ManAgainstMan, piSecondButton},
        {"question", [](FormDriver& d) { d.Key(TKey::vkEscape); }, piSecondButton},
        {"computer thinking",
         [](FormDriver& d) {
             d.Strip();
             d.Start(6, 6);
             d.Tick();
             d.Tick();
         },
         piSecondButton},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FormDriver d;
        c.reach(d);
        d.Move(600, 300); // off every item: Tab goes on from the item under the pointer
        const int state = d->FState;
        for (bool back : {false, true}) {
            std::vector<int> reached;
            for (int i = 0; i <= c.last - piFirstButton + 1; ++i) {
                const bool taken = d.Key(TKey::vkTab, back);
                reached.push_back(d->FHover);
                EXPECT_EQ(taken, d->FHover != piNone);
                for (int item = piFirstButton; item <= piLastLevelBox; ++item)
                    EXPECT_EQ(MarkPixel(d->imgScreen, item) != MarkOff(item), item == d->FHover)
                        << "mark of " << item << " with " << d->FHover << " reached";
            }
            std::vector<int> want;
            for (int item = piFirstButton; item <= c.last; ++item) want.push_back(item);
            if (back) std::reverse(want.begin(), want.end());
            want.push_back(piNone); // the way out of the window, then round again
            EXPECT_EQ(reached, want);
        }
        EXPECT_EQ(d->FState, state); // moving about presses nothing
    }
}

TEST(Keyboard, CursorShowsOnlyOverThePictureAfterAnArrowUntilTheMouseMoves) {
    FormDriver d;
    THeadlessHost host(MakeFormHost(d.f()));
    auto withoutCursor = [&] {
        TFormHost plain = MakeFormHost(d.f());
        plain.overlay = nullptr;
        return ComposeClient(plain);
    };
    // The mouse alone never shows it.
    d.ClickItem(LevelBoxItem(2, 3));
    d.Move(300, 300);
    EXPECT_FALSE(d->ovlKeyCursor.Visible());
    EXPECT_EQ(host.Client(), withoutCursor());

    const TImage before = d->imgScreen;
    ASSERT_TRUE(d.Key(TKey::vkUp)); // shows the cursor where it is
    ASSERT_TRUE(d.Key(TKey::vkUp)); // and moves it
    EXPECT_EQ(d->FKeyCell, 47);
    EXPECT_EQ(d->FHover, CellEmpty);
    EXPECT_EQ(d->imgScreen.Pixels(), before.Pixels()); // the image keeps the game's picture
    const std::vector<TColor> shown = host.Client(), plain = withoutCursor();
    TImage cell47(ScreenWidth, ScreenHeight, 0); // what DrawCell paints of the cell
    cell47.Polygon(CellCorners(47).data(), 3, 1, 1);
    int ring = 0;
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x) {
            const size_t i = static_cast<size_t>(y) * ClientWidth + x;
            if (shown[i] == plain[i]) continue;
            ++ring;
            EXPECT_EQ(shown[i], ColWhite);
            EXPECT_EQ(cell47.Pixel(x, y), 1u) << x << "," << y << " is off the cell";
        }
    EXPECT_GT(ring, 4 * 80); // a ring two pixels wide around the 80 + 2 x 57 pixel edges
    d.Move(301, 300);
    EXPECT_FALSE(d->ovlKeyCursor.Visible());
    EXPECT_EQ(host.Client(), withoutCursor());
}

// The same seeded game, once by the mouse and once by keys: a person against LV1 with the
// bonus, a question answered NO, an empty cell that does not take the panel, every put of the
// person on the first cell that does, to the end and a new game. The pictures agree after every
// step (the cursor is no part of the image); the keys never touch the mouse.
TEST(Keyboard, WholeGameByKeysEqualsTheGameByClicks) {
    struct Step {
        std::string what;
        std::vector<TColor> picture;
    };
    auto play = [](bool byKeys) {
        FormDriver d(7);
        std::vector<Step> steps;
        auto record = [&](const std::string& what) {
            d.Settle();
            steps.push_back({what, d->imgScreen.Pixels()});
            ExpectInvariants(d.f(), what.c_str());
        };
        // Tab or Shift+Tab, whichever way the item lies, then Enter.
        auto pressItem = [&](int item) {
            if (!byKeys) return d.ClickItem(item);
            while (d->FHover != item) d.Key(TKey::vkTab, d->FHover > item);
            d.Key(TKey::vkReturn);
        };
        auto pressCell = [&](int cell) {
            if (!byKeys) return d.ClickCell(cell);
            if (!d->ovlKeyCursor.Visible()) d.Key(TKey::vkDown);
            for (TKey k : ArrowsBetween(d->FKeyCell, cell)) d.Key(k);
            EXPECT_EQ(d->FKeyCell, cell);
            EXPECT_TRUE(d->ovlKeyCursor.Visible());
            d.Key(byKeys && cell % 2 ? TKey::vkSpace : TKey::vkReturn);
        };
        if (byKeys)
            d.Key(TKey::vkB);
        else
            d.Strip();
        pressItem(LevelBoxItem(2, 2));
        record("LV1 chosen");
        pressItem(piFirstButton);
        record("game started");
        if (byKeys)
            d.Key(TKey::vkEscape);
        else
            d.Press(300, 300, TMouseButton::mbRight);
        record("END asked");
        if (byKeys)
            d.Key(TKey::vkEscape);
        else
            d.Press(300, 300, TMouseButton::mbRight);
        record("NO");
        pressCell(FirstPlayable);
        record("a cell that does not take the panel");
        while (d->FState == gsWaitPut) {
            const int cell = FirstLegal(*d->FBoard, 1);
            pressCell(cell);
            record("put on " + std::to_string(cell));
        }
        EXPECT_EQ(d->FState, gsGameOver);
        pressItem(piFirstButton);
        record("new game");
        EXPECT_EQ(d->FState, gsSelect);
        return steps;
    };
    const std::vector<Step> clicks = play(false), keys = play(true);
    ASSERT_EQ(keys.size(), clicks.size());
    EXPECT_GT(clicks.size(), 15u);
    for (size_t i = 0; i < clicks.size(); ++i) {
        ASSERT_EQ(keys[i].what, clicks[i].what);
        EXPECT_TRUE(keys[i].picture == clicks[i].picture) << clicks[i].what;
    }
}

TEST(Keyboard, KeysPressOnlyAsAClickCould) {
    {
        SCOPED_TRACE("Enter before anything moved: as a first click, it starts the game");
        FormDriver d;
        EXPECT_TRUE(d.Key(TKey::vkReturn));
        EXPECT_EQ(d->FState, gsAnnounce);
    }
    {
        SCOPED_TRACE("after the mouse moved, Enter presses where the pointer is");
        FormDriver d;
        ManAgainstMan(d);
        d.Key(TKey::vkRight);
        const TPixel legal = CellPixel(FirstLegal(*d->FBoard, 1));
        d.Move(legal.x, legal.y);
        d.Key(TKey::vkReturn);
        EXPECT_EQ(d->FState, gsTurnOver);
    }
    {
        SCOPED_TRACE("B and a level box outside the selection do nothing");
        FormDriver d;
        ManAgainstMan(d);
        EXPECT_FALSE(d.Key(TKey::vkB));
        EXPECT_EQ(d->FLevelBonus, 0);
        d.Move(600, 300);
        d.Key(TKey::vkTab);
        d.Key(TKey::vkTab);
        d.Key(TKey::vkTab);
        EXPECT_EQ(d->FHover, piNone); // past the two buttons
        EXPECT_TRUE(d->tmrTimer.Enabled);
        d.Key(TKey::vkReturn); // a left press on nothing
        EXPECT_EQ(d->FState, gsWaitPut);
    }
    {
        SCOPED_TRACE("a closed window takes no key");
        FormDriver d;
        d->Close();
        for (const TKeyName& k : KeyNames) EXPECT_FALSE(d.Key(k.key, k.shift)) << k.name;
    }
}

TEST(Speech, MessageLinesAreSaidAsShownTheProgressIsNot) {
    struct Case {
        const char* shown;
        const char* said;
    } cases[] = {
        {"@1TURN !", "player 1: TURN !"},   {"@2Dont' put !", "player 2: Dont' put !"},
        {"@2WIN !!", "player 2: WIN !!"},   {"Ｅ Ｎ Ｄ？", "END?"},
        {"DRAWN GAME !!", "DRAWN GAME !!"}, {"THINKING...", "THINKING..."},
    };
    for (const Case& c : cases) EXPECT_EQ(TfrmGalMain::SpokenMessage(c.shown), c.said);

    FormDriver d;
    EXPECT_EQ(d->accSpoken.Take(), std::vector<std::string>{"SELECT PLAYER !!"});
    d.HoldSearches(); // the search goes on only as far as the test lets it
    d.Strip();
    d.Start(6, 0);
    d.Tick(); // the turn
    d.Tick(); // the search starts
    for (int report = 2; report <= 4; ++report) {
        d.gate.Allow();
        ASSERT_TRUE(Until([&] { return d.gate.Reported() == report; }));
        d.Tick();
    }
    ASSERT_EQ(d->FState, gsThinking);
    ASSERT_GE(d->FThinkTicks, 3); // the progress line was painted again and again
    d.Press(300, 300, TMouseButton::mbRight);
    EXPECT_EQ(d->accSpoken.Take(),
              (std::vector<std::string>{"player 1: TURN !", "THINKING...", "END?"}));
}

TEST(Speech, RSaysWhereTheKeyboardIsAndTheCounts) {
    FormDriver d;
    ManAgainstMan(d);
    d->accSpoken.Take();
    auto said = [&](std::vector<TKey> keys) {
        for (TKey k : keys) d.Key(k);
        d.Key(TKey::vkR);
        const std::vector<std::string> lines = d->accSpoken.Take();
        EXPECT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines.back(), "player 1: 2 panels, player 2: 2 panels, 68 empty");
        return lines.empty() ? std::string() : lines.front();
    };
    EXPECT_EQ(said({TKey::vkDown}), "row 3, column 6: player 1's panel");
    EXPECT_EQ(said({TKey::vkLeft}), "row 4, column 6: player 2's panel");
    EXPECT_EQ(said({TKey::vkLeft}), "row 4, column 5: empty, you may put here");
    EXPECT_EQ(said({TKey::vkUp, TKey::vkUp}), "row 4, column 3: empty, you may not put here");
    EXPECT_EQ(said({TKey::vkTab}), "button: NEW GAME");
    EXPECT_EQ(said({TKey::vkTab}), "button: END");
}

} // namespace
