// Keyboard handling: a cursor over the cells, Tab over the items, and keys that press. Every key
// makes a movement or a press of the mouse's own, so a key does only what a click could do.
#include <algorithm>
#include <array>
#include <vector>

#include "ui/form.h"

namespace {

// The cursor is a ring this many pixels wide along the inside of the cell's edges, the edges
// included.
constexpr int KeyCursorWidth = 2;
constexpr TColor KeyCursorColour = ColWhite; // stands out on empty cells and on both colours

// Which side of the line from a to b the point p lies on (0 on the line).
long Side(TPoint a, TPoint b, int x, int y) {
    return static_cast<long>(b.x - a.x) * (y - a.y) - static_cast<long>(b.y - a.y) * (x - a.x);
}

// The pixels of cell's triangle, its edges included, that lie within KeyCursorWidth pixels of
// a pixel outside it.
std::vector<TPoint> CellOutline(int cell) {
    const std::array<TPoint, 3> c = CellCorners(cell);
    const long turn = Side(c[0], c[1], c[2].x, c[2].y);
    auto inside = [&](int x, int y) {
        for (int i = 0; i < 3; ++i)
            if (Side(c[i], c[(i + 1) % 3], x, y) * turn < 0) return false;
        return true;
    };
    int left = c[0].x, right = c[0].x, top = c[0].y, bottom = c[0].y;
    for (const TPoint& p : c) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    std::vector<TPoint> ring;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            if (!inside(x, y)) continue;
            bool nearEdge = false;
            for (int dy = -KeyCursorWidth; dy <= KeyCursorWidth && !nearEdge; ++dy)
                for (int dx = -KeyCursorWidth; dx <= KeyCursorWidth && !nearEdge; ++dx)
                    nearEdge = !inside(x + dx, y + dy);
            if (nearEdge) ring.push_back({x, y});
        }
    return ring;
}

} // namespace

void TfrmGalMain::ShowKeyCursor() {
    ovlKeyCursor.Show(CellOutline(FKeyCell), KeyCursorColour);
}

void TfrmGalMain::HideKeyCursor() {
    ovlKeyCursor.Hide();
}

// The items in Tab's order are the buttons, then in the selection the level boxes; before the
// first and after the last comes no item at all, where the focus may leave the window.
int TfrmGalMain::NextTabItem(int from, bool back) const {
    const int last = FState == gsSelect ? piLastLevelBox : piSecondButton;
    if (from < piFirstButton || from > last) return back ? last : piFirstButton;
    if (back) return from == piFirstButton ? piNone : from - 1;
    return from == last ? piNone : from + 1;
}

bool TfrmGalMain::FormKeyDown(TKey key, bool shift) {
    if (!Running()) return false;
    switch (key) {
    case TKey::vkLeft:
    case TKey::vkRight:
    case TKey::vkUp:
    case TKey::vkDown: {
        // The first arrow shows where the cursor is; the next ones move it.
        if (ovlKeyCursor.Visible()) {
            const int dx = key == TKey::vkLeft ? -1 : key == TKey::vkRight ? 1 : 0;
            const int dy = key == TKey::vkUp ? -1 : key == TKey::vkDown ? 1 : 0;
            FKeyCell = CellToward(FKeyCell, dx, dy);
        }
        FKeyTarget = TKeyTarget::ktCell;
        ShowKeyCursor();
        HoverItem(BoardCells()[FKeyCell]);
        return true;
    }
    case TKey::vkTab: {
        const int item = NextTabItem(FKeyTarget == TKeyTarget::ktCell ? piNone : FHover, shift);
        HideKeyCursor();
        FKeyTarget = item == piNone ? TKeyTarget::ktPointer : TKeyTarget::ktItem;
        HoverItem(item);
        return item != piNone;
    }
    case TKey::vkReturn:
    case TKey::vkSpace: {
        // A press where the keyboard points, after the movement there that a hand would make.
        TPoint at = FPointer;
        if (FKeyTarget == TKeyTarget::ktCell) {
            at = CellCentre(FKeyCell);
            HoverItem(BoardCells()[FKeyCell]);
        } else if (FKeyTarget == TKeyTarget::ktItem && FHover >= piFirstButton) {
            at = PanelItemRect(FHover).Centre();
            HoverItem(FHover); // a level box is nothing outside the selection
        }
        imgScreenMouseDown(TMouseButton::mbLeft, at.x, at.y);
        return true;
    }
    case TKey::vkEscape:
        imgScreenMouseDown(TMouseButton::mbRight, FPointer.x, FPointer.y);
        return true;
    case TKey::vkB:
        if (FState != gsSelect) return false;
        Shape1MouseDown();
        return true;
    case TKey::vkR:
        accSpoken.Say(PlaceText());
        accSpoken.Say(CountsText());
        return true;
    case TKey::vkU:
        // No click takes a move back: these are the controller's own requests.
        return shift ? PutAgain() : TakeBack();
    }
    return false;
}
