// Board drawing and hit testing: the 72 triangular cells and the pixel-to-cell mapping.
#include <iterator>

#include "engine/tables.h"
#include "ui/form.h"

namespace {

// Vertex offsets from the pair centre, by cell class: the right-angled corner first, then the
// two ends of the cut.
constexpr TPoint CellVertices[4][3] = {
    {{0, -40}, {-40, 0}, {40, 0}}, // upper half of a horizontally cut pair
    {{0, 40}, {-40, 0}, {40, 0}},  // lower half
    {{-40, 0}, {0, -40}, {0, 40}}, // left half of a vertically cut pair
    {{40, 0}, {0, -40}, {0, 40}},  // right half
};

} // namespace

void TfrmGalMain::DrawCell(int cell, int value) {
    if (cell < 0 || cell >= static_cast<int>(std::size(CellClass)) || CellClass[cell] < 0 ||
        value < 0 || value > 2)
        return;
    const int r = cell / RowStride, column = cell % RowStride, k = (column - 1) / 2;
    const int x0 = 256 + 40 * k - 40 * (r - 1);
    const int y0 = 56 + 40 * (r - 1) + 40 * k;
    TPoint points[3];
    for (int i = 0; i < 3; ++i) {
        const TPoint& d = CellVertices[CellClass[cell]][i];
        points[i] = {x0 + d.x, y0 + d.y};
    }
    imgScreen.Polygon(points, 3, CellColour[value], ColBlack);
}

// c runs along a row (toward the lower right), b from row to row (toward the lower left); the
// board's top corner is c = b = 0 and each pair is 80 x 80 in these coordinates.
int TfrmGalMain::CellAt(int x, int y) {
    const int c = x + y - 272;
    const int b = y - x + 240;
    if (c < 1 || c > 479 || b < 1 || b > 479) return -1;
    const int u = c % 80, v = b % 80;
    if (u == 0 || v == 0) return -1;
    const int first = 15 + RowStride * (b / 80) + 2 * (c / 80);
    const int w = CellClass[first] == 0 ? 79 - v : v;
    if (w == u) return -1;
    return w < u ? first + 1 : first;
}
