// Where everything lies on the painted picture: the board's map from cells to pixels and back,
// the title around the board, and every element of the side panel with its text anchors.
// Drawing, hit testing, the tools and the tests read these; the laws between them are checked
// at compile time below.
#pragma once

#include <array>

#include "engine/board.h"
#include "engine/tables.h"
#include "platform/image.h"

constexpr int ScreenWidth = 762; // the painted image; the strip takes x 762..768
constexpr int ScreenHeight = 512;
constexpr int BoardAreaWidth = 512; // x below it belongs to the board, the rest to the panel

// ---- The board ----
// Cells come in pairs, columns 2k+1 and 2k+2 of a row, that together fill an 80 x 80 square
// standing on its corner. Rows run toward the lower left, pairs along a row toward the lower
// right, from the board's top corner.
constexpr int PairHalf = 40;                  // from a pair's centre to each of its corners
constexpr int PairSpan = 2 * PairHalf;        // a pair's side in the board's own coordinates
constexpr int BoardPairs = 6;                 // pairs along a row, and rows
constexpr TPoint FirstPairCentre = {256, 56}; // row 1's first pair
constexpr TPoint BoardTop = {FirstPairCentre.x, FirstPairCentre.y - PairHalf};
constexpr TPoint BoardMiddle = {BoardTop.x, BoardTop.y + BoardPairs* PairHalf};

// The centre of pair k (0..5) of row r (1..6).
constexpr TPoint PairCentre(int row, int pair) {
    return {FirstPairCentre.x + PairHalf * (pair - (row - 1)),
            FirstPairCentre.y + PairHalf * (row - 1 + pair)};
}

// Corner offsets from the pair's centre by cell class: the right-angled corner first, then the
// two ends of the cut.
inline constexpr TPoint CellVertices[4][3] = {
    {{0, -PairHalf}, {-PairHalf, 0}, {PairHalf, 0}}, // upper half of a horizontally cut pair
    {{0, PairHalf}, {-PairHalf, 0}, {PairHalf, 0}},  // lower half
    {{-PairHalf, 0}, {0, -PairHalf}, {0, PairHalf}}, // left half of a vertically cut pair
    {{PairHalf, 0}, {0, -PairHalf}, {0, PairHalf}},  // right half
};

// The three corners of a playable cell.
constexpr std::array<TPoint, 3> CellCorners(int cell) {
    const TPoint centre = PairCentre(cell / RowStride, (cell % RowStride - 1) / 2);
    std::array<TPoint, 3> corners{};
    for (int i = 0; i < 3; ++i)
        corners[i] = {centre.x + CellVertices[CellClass[cell]][i].x,
                      centre.y + CellVertices[CellClass[cell]][i].y};
    return corners;
}

// The cell whose inside holds (x, y); -1 on a cell's edge or off the board. The inverse of the
// map above: c runs along a row and b from row to row, both from the board's top corner, so
// that each pair is PairSpan x PairSpan in (c, b).
constexpr int BoardCellAt(int x, int y) {
    constexpr int span = BoardPairs * PairSpan;
    const int c = (x - BoardTop.x) + (y - BoardTop.y);
    const int b = (y - BoardTop.y) - (x - BoardTop.x);
    if (c < 1 || c > span - 1 || b < 1 || b > span - 1) return -1;
    const int u = c % PairSpan, v = b % PairSpan;
    if (u == 0 || v == 0) return -1;
    const int first = FirstPlayable + RowStride * (b / PairSpan) + 2 * (c / PairSpan);
    const int w = CellClass[first] == 0 ? PairSpan - 1 - v : v;
    if (w == u) return -1;
    return w < u ? first + 1 : first;
}

// ---- The keyboard's way over the board ----
// A cell's centre three times over, so that it stays whole: the sum of its corners.
constexpr TPoint CellCentre3(int cell) {
    const auto c = CellCorners(cell);
    return {c[0].x + c[1].x + c[2].x, c[0].y + c[1].y + c[2].y};
}
// Where the keyboard points at a cell: its centre, rounded down.
constexpr TPoint CellCentre(int cell) {
    const TPoint c = CellCentre3(cell);
    return {c.x / 3, c.y / 3};
}

// Where the keyboard starts: the upper one of the four panels in the middle (row 3, column 6).
constexpr int KeyStartCell = 3 * RowStride + 6;

// The cell an arrow key leads to from cell, toward (dx, dy), one of (-1, 0), (1, 0), (0, -1) and
// (0, 1): the nearest cell whose centre lies that way, no more than 45 degrees off it; of two
// equally near, the one nearer the top, then the one nearer the left. The cell itself when none
// lies that way (at the board's edge).
constexpr int CellToward(int cell, int dx, int dy) {
    const TPoint from = CellCentre3(cell);
    int best = cell;
    long bestDistance = 0;
    TPoint bestAt{};
    for (int other = FirstPlayable; other <= LastPlayable; ++other) {
        if (CellClass[other] < 0 || other == cell) continue;
        const TPoint at = CellCentre3(other);
        const int ahead = (at.x - from.x) * dx + (at.y - from.y) * dy;
        const int aside = (at.x - from.x) * dy - (at.y - from.y) * dx;
        if (ahead <= 0 || aside > ahead || -aside > ahead) continue;
        const long distance = static_cast<long>(ahead) * ahead + static_cast<long>(aside) * aside;
        if (best == cell || distance < bestDistance ||
            (distance == bestDistance &&
             (at.y < bestAt.y || (at.y == bestAt.y && at.x < bestAt.x)))) {
            best = other;
            bestDistance = distance;
            bestAt = at;
        }
    }
    return best;
}

// ---- The title around the board ----
constexpr int TitleFrameMargin = 12; // the framing diamond reaches this far beyond the board
constexpr int TitleFrameRadius = BoardPairs * PairHalf + TitleFrameMargin;
inline constexpr TPoint TitleFrame[4] = {
    {BoardMiddle.x, BoardMiddle.y - TitleFrameRadius},
    {BoardMiddle.x + TitleFrameRadius, BoardMiddle.y},
    {BoardMiddle.x, BoardMiddle.y + TitleFrameRadius},
    {BoardMiddle.x - TitleFrameRadius, BoardMiddle.y},
};

// A corner piece: its right-angled corner, leg length and the direction toward the inside. Each
// big piece has a small one on top of it.
struct TCornerPiece {
    int x, y, leg, dx, dy;
};
inline constexpr TCornerPiece CornerPieces[6] = {
    {64, 64, 130, 1, 1},  {64, 64, 47, 1, 1},      {448, 64, 130, -1, 1},
    {448, 64, 47, -1, 1}, {448, 448, 130, -1, -1}, {448, 448, 47, -1, -1},
};

// The three title words, one letter at a time from (x, y) in steps of (dx, dy), along three
// edges of the framing diamond.
struct TTitleWord {
    const char* letters; // eight each
    int x, y, dx, dy;
};
inline constexpr TTitleWord TitleWords[3] = {
    {"Melvaron", 175, 32, -20, 20},
    {"Oskalet ", 316, 32, 20, 20},
    {"Dunmiro ", 440, 327, -20, 20},
};

// The credit box in the lower left corner and its two lines.
constexpr TRect CreditBox = {0, 436, 168, 460};
inline constexpr TPoint CreditLineAt[2] = {{8, 430}, {64, 450}};

// ---- The side panel ----
// The counter boxes: index 0 counts the empty cells (inside the REST box), 1 and 2 the players'
// panels; each has its number drawn from a point inside it.
inline constexpr int CounterTop[3] = {192, 40, 104};
constexpr int CounterHeight = 48;
constexpr TRect CounterBox(int index) {
    return {608, CounterTop[index], 712, CounterTop[index] + CounterHeight};
}
constexpr TPoint CounterTextAt(int index) {
    return {632, CounterTop[index]};
}

// The REST caption and the box behind the empty-cell counter, wider than the counter.
constexpr TPoint RestLabelAt = {580, 168};
constexpr TRect RestBox = {592, CounterTop[0], 712, CounterTop[0] + CounterHeight};

// The turn bar of each player, left of its counter: lit while that player moves.
constexpr TRect TurnBar(int player) {
    return {592, CounterTop[player], CounterBox(player).left, CounterTop[player] + CounterHeight};
}

// Each player's MAN or COM and LVn, left of its turn bar.
constexpr int PlayerLabelStep = CounterTop[2] - CounterTop[1];
constexpr TRect PlayerLabelBox(int player) {
    return {552, 38 + PlayerLabelStep * (player - 1), 588, 88 + PlayerLabelStep * (player - 1)};
}
constexpr TPoint PlayerLabelLineAt(int player, int line) {
    return {PlayerLabelBox(player).left, PlayerLabelBox(player).top + 24 * line};
}

// The message lines, each of which may start with a colour swatch. Three fit the area that is
// cleared between turns; a fourth (a pass, the turn and THINKING... in one go) lies below it,
// still clear of the buttons.
constexpr TRect MessageArea = {528, 260, 744, 376}; // cleared as a whole
constexpr int MessageLineHeight = 24;
constexpr TRect MessageLine(int line) {
    return {540, 272 + 32 * line, 732, 272 + 32 * line + MessageLineHeight};
}
constexpr int SwatchSize = 24;
constexpr int SwatchStep = 32; // from the swatch's left to its text's

// ---- Side-panel items that react to the pointer ----
// Numbered as FHover holds them: the two buttons, then the level boxes of player 1 and of
// player 2, box 0 standing for MAN and boxes 1..6 for LV0..LV5.
constexpr int piNone = -1;
constexpr int piFirstButton = 10;
constexpr int piSecondButton = 11;
constexpr int piFirstLevelBox = 12;
constexpr int LevelBoxes = 7; // per player
constexpr int piLastLevelBox = piFirstLevelBox + 2 * LevelBoxes - 1;

struct TPanelItem {
    int left, top, width, height;
    constexpr bool Contains(int x, int y) const {
        return x >= left && x < left + width && y >= top && y < top + height;
    }
    // Where a pointer aims at the item (tests, benchmark, scripted sessions).
    constexpr TPoint Centre() const { return {left + width / 2, top + height / 2}; }
    constexpr TRect Rect() const { return {left, top, left + width, top + height}; }
};
// The two buttons and level box 0 of player 1; every other level box is the third row moved.
inline constexpr TPanelItem PanelItems[3] = {
    {536, 400, 192, 24},
    {536, 440, 192, 24},
    {553, 317, 24, 13},
};
constexpr int LevelBoxStepX = 25; // from one box to the next
constexpr int LevelBoxStepY = 28; // from player 1's row to player 2's

constexpr int LevelBoxItem(int player, int box) {
    return piFirstLevelBox + LevelBoxes * (player - 1) + box;
}

// The rectangle of item piFirstButton..piLastLevelBox.
constexpr TPanelItem PanelItemRect(int item) {
    if (item < piFirstLevelBox) return PanelItems[item - piFirstButton];
    const int k = item - piFirstLevelBox;
    TPanelItem box = PanelItems[2];
    box.left += LevelBoxStepX * (k % LevelBoxes);
    box.top += LevelBoxStepY * (k / LevelBoxes);
    return box;
}

// The side-panel item under (x, y), or piNone; the first in item order wins.
constexpr int PanelItemAt(int x, int y) {
    for (int item = piFirstButton; item <= piLastLevelBox; ++item)
        if (PanelItemRect(item).Contains(x, y)) return item;
    return piNone;
}

// The buttons' labels, eight cells of 24 pixels each, and the area cleared behind them.
constexpr TPoint ButtonLabelAt(int button) {
    return {PanelItems[button].left + 8, PanelItems[button].top};
}
constexpr TRect ButtonArea = {ButtonLabelAt(0).x, PanelItems[0].top, ButtonLabelAt(0).x + 192,
                              PanelItems[1].top + PanelItems[1].height};

// The arrow left of a hovered button's label, as tall as the button.
constexpr TRect ButtonArrow(int button) {
    return {528, PanelItems[button].top, 540, PanelItems[button].top + PanelItems[button].height};
}

// A level box's digit (LV0..LV5), in the right part of the box.
constexpr TPoint LevelDigitAt(int player, int box) {
    const TPanelItem r = PanelItemRect(LevelBoxItem(player, box));
    return {r.left + 14, r.top};
}

// The caption row right above each player's boxes: MAN over box 0, COMPUTER over the six levels.
constexpr TRect ManCaption(int player) {
    const TPanelItem man = PanelItemRect(LevelBoxItem(player, 0));
    return {man.left, man.top - man.height, man.left + man.width, man.top};
}
constexpr TRect ComputerCaption(int player) {
    const TPanelItem man = PanelItemRect(LevelBoxItem(player, 0));
    return {man.left + LevelBoxStepX, man.top - man.height, man.left + LevelBoxStepX * LevelBoxes,
            man.top};
}
constexpr TPoint ManCaptionAt(int player) {
    return {ManCaption(player).left + 2, ManCaption(player).top};
}
constexpr TPoint ComputerCaptionAt(int player) {
    return {ComputerCaption(player).left, ComputerCaption(player).top};
}

// ---- Laws ----
namespace screen_laws {

constexpr bool Inside(const TRect& inner, const TRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}
constexpr bool Overlap(const TRect& a, const TRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
constexpr TRect Panel = {BoardAreaWidth, 0, ScreenWidth, ScreenHeight};

// Each playable cell's corners lie on the board's side, and its centre maps back to it (the
// keyboard presses there).
constexpr bool BoardMapsBothWays() {
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell) {
        if (CellClass[cell] < 0) continue;
        const auto c = CellCorners(cell);
        for (const TPoint& p : c)
            if (p.x < 0 || p.x >= BoardAreaWidth || p.y < 0 || p.y >= ScreenHeight) return false;
        const TPoint inside = CellCentre(cell);
        if (BoardCellAt(inside.x, inside.y) != cell) return false;
    }
    return true;
}

constexpr bool ItemsApart() {
    for (int a = piFirstButton; a <= piLastLevelBox; ++a) {
        if (!Inside(PanelItemRect(a).Rect(), Panel)) return false;
        for (int b = a + 1; b <= piLastLevelBox; ++b)
            if (Overlap(PanelItemRect(a).Rect(), PanelItemRect(b).Rect())) return false;
    }
    return true;
}

constexpr bool PanelElementsInPlace() {
    for (int i = 0; i < 3; ++i)
        if (!Inside(CounterBox(i), Panel)) return false;
    for (int p = 1; p <= 2; ++p)
        if (!Inside(TurnBar(p), Panel) || !Inside(PlayerLabelBox(p), Panel) ||
            Overlap(TurnBar(p), CounterBox(p)) || Overlap(PlayerLabelBox(p), TurnBar(p)) ||
            !Inside(ManCaption(p), MessageArea) || !Inside(ComputerCaption(p), MessageArea))
            return false;
    for (int line = 0; line < 3; ++line)
        if (!Inside(MessageLine(line), MessageArea)) return false;
    if (!Inside(MessageLine(3), Panel) || Overlap(MessageLine(3), ButtonArea)) return false;
    for (int b = 0; b < 2; ++b)
        if (Overlap(ButtonArrow(b), ButtonArea) || !Inside(ButtonArrow(b), Panel)) return false;
    return Inside(CounterBox(0), RestBox) && Inside(MessageArea, Panel) &&
           Inside(ButtonArea, Panel) && !Overlap(CounterBox(1), CounterBox(2));
}

} // namespace screen_laws

static_assert(screen_laws::BoardMapsBothWays(), "the board's map and its inverse disagree");
static_assert(screen_laws::ItemsApart(), "panel items overlap or leave the panel");
static_assert(screen_laws::PanelElementsInPlace(), "a panel element is out of its place");
static_assert(TitleFrame[1].x < BoardAreaWidth, "the title's frame reaches into the panel");
