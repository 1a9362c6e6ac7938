// Mouse handling: the item under the pointer, presses turned into requests, the level pick and
// the depth-bonus strip.
#include "ui/form.h"

namespace {

// The side-panel item (10..25) under (x, y), or -1.
int PanelItemAt(int x, int y) {
    for (int i = 0; i < 16; ++i) {
        TPanelItem item = PanelItems[i < 2 ? i : 2];
        if (i >= 2) {
            item.left += 25 * ((i - 2) % 7);
            item.top += 28 * ((i - 2) / 7);
        }
        if (x >= item.left && x < item.left + item.width && y >= item.top &&
            y < item.top + item.height)
            return i + 10;
    }
    return -1;
}

bool IsButton(int item) {
    return item == 10 || item == 11;
}

} // namespace

void TfrmGalMain::imgScreenMouseMove(int x, int y) {
    if (!Running()) return;
    FHover = -1;
    if (x < 512) {
        int cell = CellAt(x, y);
        if (cell != -1 && BoardCells()[cell] >= 0) FHover = BoardCells()[cell];
    } else {
        FHover = PanelItemAt(x, y);
    }
    if (FState != gsSelect && FHover >= 12) FHover = -1; // level boxes live in the selection only

    if (FState == gsThinking) {
        // The buttons stay usable while the computer thinks; show it over them.
        if (IsButton(FHover) && !IsButton(FLastHover)) Screen.Cursor = crAppStart;
        if (!IsButton(FHover) && IsButton(FLastHover)) Screen.Cursor = crHourGlass;
    }
    if (FHover != FLastHover) {
        if (FHover >= 10) DrawHover(FHover - 10, 1);
        if (FLastHover >= 10) DrawHover(FLastHover - 10, 0);
    }
    FLastHover = FHover;
}

void TfrmGalMain::imgScreenMouseDown(TMouseButton button, int x, int y) {
    if (!Running()) return;
    tmrTimer.Enabled = false;

    int request = -1;
    if (button == TMouseButton::mbRight) {
        request = 11;
    } else if (button == TMouseButton::mbLeft) {
        // Later rules override earlier ones.
        if (IsButton(FHover)) request = FHover;
        if (FPlayerType[FTurn] == 0 && FHover == 0 && FState == gsWaitPut) request = 0;
        if (FHover >= 0 && FHover <= 2) {
            if (FState == gsAskNewGame || FState == gsAskEnd) request = 11; // the board says NO
            if (FState == gsSelect) request = 10;                           // the board starts
        }
        if (FHover >= 12 && FState == gsSelect) request = 12;
    }

    switch (request) {
    case 10:
    case 11:
        Request(request, -1);
        break;
    case 12:
        PickLevel();
        break;
    case 0:
        // The cell comes from the press itself; the decision rested on the last movement.
        if (FState <= 100) Request(0, CellAt(x, y));
        break;
    default:
        break;
    }
    EndRequest();
}

void TfrmGalMain::PickLevel() {
    if (!Running() || FState != gsSelect || FHover < 12 || FHover > 25) return;
    int k = FHover - 12;
    int player = 1;
    if (k >= 7) {
        player = 2;
        k -= 7;
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
            FLevelBonus = 5;
        } else {
            Shape1.PenColor = StripOff;
            Shape1.BrushColor = StripOff;
            FLevelBonus = 0;
        }
    }
    EndRequest();
}
