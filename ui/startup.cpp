// Start-up and shutdown of the window: what it owns is made in FormCreate and freed on close.
#include <ctime>
#include <new>

#include "engine/random.h"
#include "ui/form.h"

TfrmGalMain::TfrmGalMain() {
    tmrTimer.Interval = 50;
    tmrTimer.Enabled = false;
    tmrTimer.OnTimer = [this] { tmrTimerTimer(); };
    Shape1.OnMouseDown = [this] { Shape1MouseDown(); };
}

TfrmGalMain::~TfrmGalMain() {
    if (!FClosed) Close();
}

void TfrmGalMain::FormCreate() {
    if (FClosed || FRules) return; // runs once

    FBoard.reset(new (std::nothrow) Board);
    FCount.reset(new (std::nothrow) int32_t[3]{});
    FPlayerType.reset(new (std::nothrow) int32_t[3]{});
    FRules = TThread::TryCreate<TThinkThread>(true);
    if (!FBoard || !FCount || !FPlayerType || !FRules) {
        Close(); // frees what was made; no game without all four
        return;
    }
    // Its search runs on the window's thread, which never waits for another (a page's main
    // thread may not): no helpers. The results are the same on any number of threads.
    FRules->SetThreads(1);

    // The image sits at (0, 0) at its full size; the strip fills the client area's right edge.
    Shape1.Left = ScreenWidth;
    Shape1.Top = 0;
    Shape1.Width = 7;
    Shape1.Height = ClientHeight;
    Shape1.PenColor = StripOff;
    Shape1.BrushColor = StripOff;

    DrawTitle();
    DrawRestLabel();
    for (int slot = 0; slot < 3; ++slot) DrawCounter(slot, 0);
    DrawTurnMarks(1);
    ClearMessages();
    DrawButtons(4);
    DrawPlayerLabel(1, 0);
    DrawPlayerLabel(2, 1);

    FPlayerType[0] = -1;
    FPlayerType[1] = 0; // MAN
    FPlayerType[2] = 1; // LV0
    game_random::Seed(static_cast<uint32_t>(std::time(nullptr)));
    NewGame();

    FState = gsSelect;
    FReturnState = 0;
    FSavedCursor = crDefault;
    Screen.Cursor = crDefault;
    FLevelBonus = 0;
    FLastHover = -1;
    FMsgLine = 0;
}

void TfrmGalMain::FormClose() {
    FClosed = true;
    // No tick may find the freed arrays.
    tmrTimer.Enabled = false;
    // A stopped search reads only its own copy of the board; it ends at its next node, and
    // whatever is still ending is waited for when the window object itself goes.
    StopSearch();
    FRules.reset(); // never started: nothing to wait for
    FBoard.reset();
    FCount.reset();
    FPlayerType.reset();
}

void TfrmGalMain::Close() {
    if (FClosed) return;
    FormClose();
}

void TfrmGalMain::CloseBox() {
    if (FClosed) return;
    ForgetKeptGame();
    FormClose();
}
