// Mouse handling of the window: the item under the pointer, hover marks, busy cursors, presses
// that do nothing, the level pick and the depth-bonus strip.
#include <vector>

#include "tests/form_driver.h"

namespace {

void WaitPutManVsMan(FormDriver& d) {
    d.Start(0, 0);
    d.Tick();
    ASSERT_EQ(d->FState, gsWaitPut);
}

// A computer (LV5 with the bonus) thinking for longer than any test lasts.
void ThinkingForever(FormDriver& d) {
    d.Strip();
    d.Start(6, 0);
    d.Tick();
    d.Tick();
    ASSERT_EQ(d->FState, gsThinking);
    ASSERT_NE(d->FSearch, nullptr);
}

bool SameImage(const TImage& a, const TImage& b) {
    return a.Pixels() == b.Pixels();
}

} // namespace

TEST(Input, HoverItemUnderThePointer) {
    struct Case {
        TPixel at;
        int inSelect; // FHover in the player selection
        int inGame;   // FHover while a person is to move
    };
    std::vector<Case> cases = {
        {CellPixel(FirstPlayable), CellEmpty, CellEmpty},
        {CellPixel(48), 1, 1},        // player 1's panel
        {CellPixel(49), 2, 2},        // player 2's panel
        {{256, 16}, piNone, piNone},  // the board's top corner
        {{5, 5}, piNone, piNone},     // board side, no cell
        {{600, 300}, piNone, piNone}, // side panel, nothing
        {{761, 511}, piNone, piNone},
    };
    // Each item takes its rectangle's first row and column but not the row and column after its
    // last; level boxes count in the selection only.
    for (int item = piFirstButton; item <= piLastLevelBox; ++item) {
        const TPanelItem r = PanelItemRect(item);
        const int inGame = item < piFirstLevelBox ? item : piNone;
        const int right = r.left + r.width - 1, bottom = r.top + r.height - 1;
        for (TPixel inside : {TPixel{r.left, r.top}, TPixel{right, bottom}})
            cases.push_back({inside, item, inGame});
        for (TPixel outside : {TPixel{r.left - 1, r.top}, TPixel{right + 1, bottom},
                               TPixel{r.left, r.top - 1}, TPixel{right, bottom + 1}})
            cases.push_back({outside, piNone, piNone});
    }
    FormDriver d;
    for (const auto& c : cases) {
        d.Move(c.at.x, c.at.y);
        EXPECT_EQ(d->FHover, c.inSelect) << "select " << c.at.x << "," << c.at.y;
    }
    WaitPutManVsMan(d);
    for (const auto& c : cases) {
        d.Move(c.at.x, c.at.y);
        EXPECT_EQ(d->FHover, c.inGame) << "game " << c.at.x << "," << c.at.y;
        EXPECT_EQ(d->FLastHover, d->FHover);
    }
}

TEST(Input, HoverMarksFollowThePointer) {
    FormDriver d;
    TImage& img = d->imgScreen;
    const TPixel arrow10{530, 411}, arrow11{530, 451}, line12{560, 330};
    d.Move(ItemPixel(piFirstButton).x, ItemPixel(piFirstButton).y);
    EXPECT_EQ(img.Pixel(arrow10.x, arrow10.y), ColMagenta);
    d.Move(ItemPixel(piSecondButton).x, ItemPixel(piSecondButton).y); // new mark on, old one off
    EXPECT_EQ(img.Pixel(arrow10.x, arrow10.y), ColBack);
    EXPECT_EQ(img.Pixel(arrow11.x, arrow11.y), ColMagenta);
    d.Move(ItemPixel(LevelBoxItem(1, 0)).x, ItemPixel(LevelBoxItem(1, 0)).y);
    EXPECT_EQ(img.Pixel(arrow11.x, arrow11.y), ColBack);
    EXPECT_EQ(img.Pixel(line12.x, line12.y), ColBlack);
    d.Move(300, 300); // onto the board: board items have no mark
    EXPECT_EQ(img.Pixel(line12.x, line12.y), ColPanel);
}

TEST(Input, BusyCursorOverTheButtonsWhileThinking) {
    FormDriver d;
    ThinkingForever(d);
    // The pointer rested on the start button when the search began: still the hourglass.
    EXPECT_EQ(Screen.Cursor, crHourGlass);
    struct Step {
        int item; // -1: a board pixel
        TCursor expect;
    } steps[] = {
        {piFirstButton, crHourGlass}, // within the same button: nothing changes
        {-1, crHourGlass},
        {piFirstButton, crAppStart},
        {piSecondButton, crAppStart},
        {-1, crHourGlass},
        {-1, crHourGlass},
        {piSecondButton, crAppStart},
        {LevelBoxItem(1, 0), crHourGlass}, // level boxes are nothing here
    };
    for (const auto& s : steps) {
        TPixel p = s.item < 0 ? TPixel{300, 300} : ItemPixel(s.item);
        d.Move(p.x, p.y);
        EXPECT_EQ(Screen.Cursor, s.expect) << "item " << s.item;
    }
    // Between the buttons the cursor is not written at all.
    d.Move(ItemPixel(piFirstButton).x, ItemPixel(piFirstButton).y);
    Screen.Cursor = crDefault;
    d.Move(ItemPixel(piSecondButton).x, ItemPixel(piSecondButton).y);
    EXPECT_EQ(Screen.Cursor, crDefault);
    d.Move(300, 300);
    EXPECT_EQ(Screen.Cursor, crHourGlass);
}

TEST(Input, CursorIsLeftAloneOutsideTheSearch) {
    FormDriver d;
    WaitPutManVsMan(d);
    Screen.Cursor = crDefault;
    d.Move(300, 300);
    d.Move(ItemPixel(piFirstButton).x, ItemPixel(piFirstButton).y);
    EXPECT_EQ(Screen.Cursor, crDefault);
    d.Move(300, 300);
    EXPECT_EQ(Screen.Cursor, crDefault);
}

TEST(Input, FirstPressBeforeAnyMovementStartsTheGame) {
    FormDriver d;
    EXPECT_EQ(d->FHover, 0);
    d.Press(700, 20); // anywhere: the hover item is still the board's
    EXPECT_EQ(d->FState, gsAnnounce);
    EXPECT_TRUE(d->tmrTimer.Enabled);
}

// A put is decided on the last movement, but the cell comes from the press: a press that finds
// no empty cell there does nothing at all.
TEST(Input, PutWithoutAnEmptyCellUnderThePressDoesNothing) {
    struct Case {
        const char* name;
        TPixel press;
    } cases[] = {
        {"own panel", CellPixel(48)},  {"opponent's panel", CellPixel(49)},
        {"off the board", {600, 100}}, {"board corner", {2, 2}},
        {"on a cell edge", {256, 16}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormDriver d;
        WaitPutManVsMan(d);
        d.Move(CellPixel(FirstPlayable).x, CellPixel(FirstPlayable).y);
        ASSERT_EQ(d->FHover, 0);
        const TImage before = d->imgScreen;
        const int msgLine = d->FMsgLine;
        d.Press(c.press.x, c.press.y); // no movement event in between
        EXPECT_EQ(d->FState, gsWaitPut);
        EXPECT_EQ(*d->FBoard, InitialBoard);
        EXPECT_EQ(d->FMsgLine, msgLine);
        EXPECT_TRUE(SameImage(before, d->imgScreen));
        EXPECT_FALSE(d->tmrTimer.Enabled);
        ExpectInvariants(d.f(), c.name);
    }
}

TEST(Input, PressesThatMakeNoRequest) {
    struct Case {
        const char* name;
        void (*reach)(FormDriver&);
        TPixel at;
        TMouseButton button;
    } cases[] = {
        {"middle on a button", WaitPutManVsMan, ItemPixel(piFirstButton), TMouseButton::mbMiddle},
        {"middle on the board", WaitPutManVsMan, {300, 300}, TMouseButton::mbMiddle},
        {"left on nothing", WaitPutManVsMan, {600, 300}, TMouseButton::mbLeft},
        {"left on a level box in a game", WaitPutManVsMan, ItemPixel(LevelBoxItem(1, 1)),
         TMouseButton::mbLeft},
        {"left on a cell while thinking", ThinkingForever, CellPixel(FirstPlayable),
         TMouseButton::mbLeft},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormDriver d;
        c.reach(d);
        const int state = d->FState;
        const Board board = *d->FBoard;
        d.Click(c.at, c.button);
        EXPECT_EQ(d->FState, state);
        EXPECT_EQ(*d->FBoard, board);
        EXPECT_EQ(d->tmrTimer.Enabled, state > 100);
    }
}

TEST(Input, LevelPick) {
    FormDriver d;
    struct Step {
        int player, type;
    } steps[] = {{1, 4}, {2, 0}, {2, 6}, {1, 0}};
    for (const auto& s : steps) {
        const int old = d->FPlayerType[s.player];
        d.ClickItem(LevelBoxItem(s.player, s.type));
        EXPECT_EQ(d->FPlayerType[s.player], s.type);
        EXPECT_EQ(d->FState, gsSelect);
        EXPECT_FALSE(d->tmrTimer.Enabled);
        const TColor lit = s.player == 1 ? ColCyan : ColMagenta;
        const TColor unlit = s.player == 1 ? ColPlayer1 : ColPlayer2;
        const TPanelItem now = PanelItemRect(LevelBoxItem(s.player, s.type));
        const TPanelItem before = PanelItemRect(LevelBoxItem(s.player, old));
        EXPECT_EQ(d->imgScreen.Pixel(now.left + 1, now.top + 1), lit);
        EXPECT_EQ(d->imgScreen.Pixel(before.left + 1, before.top + 1), unlit);
    }
    // Picking the box already chosen paints nothing.
    const TPixel man1 = ItemPixel(LevelBoxItem(1, 0));
    d.Move(man1.x, man1.y);
    const TImage before = d->imgScreen;
    d.Press(man1.x, man1.y);
    EXPECT_TRUE(SameImage(before, d->imgScreen));
    EXPECT_EQ(d->FPlayerType[1], 0);
    // The types carry into the game and back into the next selection.
    d.ClickItem(piFirstButton);
    d.ClickItem(piFirstButton); // NEW GAME ?
    d.ClickItem(piFirstButton); // YES
    EXPECT_EQ(d->FState, gsSelect);
    EXPECT_EQ(d->FPlayerType[1], 0);
    EXPECT_EQ(d->FPlayerType[2], 6);
}

TEST(Input, StripSwitchesTheBonusOnlyInTheSelection) {
    FormDriver d;
    d.Strip();
    EXPECT_EQ(d->FLevelBonus, 5);
    EXPECT_EQ(d->Shape1.PenColor, StripOnPen);
    EXPECT_EQ(d->Shape1.BrushColor, StripOnBrush);
    d.Strip();
    EXPECT_EQ(d->FLevelBonus, 0);
    EXPECT_EQ(d->Shape1.PenColor, StripOff);
    EXPECT_EQ(d->Shape1.BrushColor, StripOff);
    d.Strip();

    // In a game it does nothing but keeps showing the bonus; the press frame still sets the
    // timer by the state.
    d.Start(0, 0);
    ASSERT_EQ(d->FState, gsAnnounce);
    d.Strip();
    EXPECT_EQ(d->FLevelBonus, 5);
    EXPECT_TRUE(d->tmrTimer.Enabled);
    d.Tick();
    ASSERT_EQ(d->FState, gsWaitPut);
    ASSERT_TRUE(d->tmrTimer.Enabled);
    d.Strip();
    EXPECT_EQ(d->FLevelBonus, 5);
    EXPECT_EQ(d->Shape1.PenColor, StripOnPen);
    EXPECT_FALSE(d->tmrTimer.Enabled);

    // A new game keeps it.
    d.ClickItem(piFirstButton);
    d.ClickItem(piFirstButton);
    ASSERT_EQ(d->FState, gsSelect);
    EXPECT_EQ(d->FLevelBonus, 5);
    EXPECT_EQ(d->Shape1.BrushColor, StripOnBrush);
}
