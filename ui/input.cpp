// Mouse handling: the item under the pointer, presses turned into requests, the level pick and
// the depth-bonus strip. The keyboard (keyboard.cpp) makes the same movements and presses.
#include "ui/form.h"

namespace {

bool IsButton(int item) {
    return item == piFirstButton || item == piSecondButton;
}

// A board cell hovers as its value: empty, or a player's panel.
bool IsBoardCell(int item) {
    return item >= CellEmpty && item <= 2;
}

} // namespace

void TfrmGalMain::imgScreenMouseMove(int x, int y) {
    if (!Running()) return;
    // The mouse takes over from the keyboard: its cursor goes, Enter presses where the pointer is.
    HideKeyCursor();
    FKeyTarget = TKeyTarget::ktPointer;
    FPointer = {x, y};
    int item = piNone;
    if (x < BoardAreaWidth) {
        int cell = CellAt(x, y);
        if (cell != -1 && BoardCells()[cell] >= 0) item = BoardCells()[cell];
    } else {
        item = PanelItemAt(x, y);
    }
    HoverItem(item);
}

void TfrmGalMain::HoverItem(int item) {
    FHover = item;
    // Level boxes live in the selection only.
    if (FState != gsSelect && FHover >= piFirstLevelBox) FHover = piNone;

    if (FState == gsThinking) {
        // The buttons stay usable while the computer thinks; show it over them.
        if (IsButton(FHover) && !IsButton(FLastHover)) Screen.Cursor = crAppStart;
        if (!IsButton(FHover) && IsButton(FLastHover)) Screen.Cursor = crHourGlass;
    }
    if (FHover != FLastHover) {
        if (FHover >= piFirstButton) DrawHover(FHover - piFirstButton, 1);
        if (FLastHover >= piFirstButton) DrawHover(FLastHover - piFirstButton, 0);
    }
    FLastHover = FHover;
}

void TfrmGalMain::imgScreenMouseDown(TMouseButton button, int x, int y) {
    if (!Running()) return;
    tmrTimer.Enabled = false;

    int request = rqNone;
    if (button == TMouseButton::mbRight) {
        request = rqSecondButton;
    } else if (button == TMouseButton::mbLeft) {
        // Later rules override earlier ones.
        if (IsButton(FHover)) request = FHover;
        if (FPlayerType[FTurn] == 0 && FHover == CellEmpty && FState == gsWaitPut) request = rqPut;
        if (IsBoardCell(FHover)) {
            if (FState == gsAskNewGame || FState == gsAskEnd) request = rqSecondButton; // NO
            if (FState == gsSelect) request = rqFirstButton; // the board starts the game
        }
        if (FHover >= piFirstLevelBox && FState == gsSelect) request = rqLevelPick;
    }

    switch (request) {
    case rqFirstButton:
    case rqSecondButton:
        Request(request, -1);
        break;
    case rqLevelPick:
        PickLevel();
        break;
    case rqPut:
        // The cell comes from the press itself; the decision rested on the last movement.
        if (FState <= 100) Request(rqPut, CellAt(x, y));
        break;
    default:
        break;
    }
    EndRequest();
}

void TfrmGalMain::PickLevel() {
    if (!Running() || FState != gsSelect || FHover < piFirstLevelBox || FHover > piLastLevelBox)
        return;
    int k = FHover - piFirstLevelBox;
    int player = 1;
    if (k >= LevelBoxes) {
        player = 2;
        k -= LevelBoxes;
    }
    if (k == FPlayerType[player]) return;
    DrawLevelBox(player, k, 1);
    DrawLevelBox(player, FPlayerType[player], 0);
    FPlayerType[player] = k;
    DrawPlayerLabel(player, k);
}

void TfrmGalMain::Shape1MouseDown() {
    if (!Running()) return;
    tmrTimer.Enabled = false;
    if (FState == gsSelect) {
        if (Shape1.PenColor == StripOff) {
            Shape1.PenColor = StripOnPen;
            Shape1.BrushColor = StripOnBrush;
            FLevelBonus = BonusDepth;
        } else {
            Shape1.PenColor = StripOff;
            Shape1.BrushColor = StripOff;
            FLevelBonus = 0;
        }
    }
    EndRequest();
}
