// The program's icon: the board diamond in miniature, two squares a side, cut into triangles.
#include "ui/icon.h"

#include "ui/screen_layout.h"

namespace {

// A corner of the miniature grid: square (u, v) turned 45 degrees, 6 pixels a step.
TPoint GridPoint(int u, int v) {
    return {16 + (u - v) * 6, 3 + (u + v) * 6};
}

} // namespace

TImage MakeIcon() {
    TImage icon(IconSize, IconSize, ColBack);
    const TPoint rim[4] = {{16, 0}, {31, 15}, {16, 30}, {1, 15}};
    icon.Polygon(rim, 4, ColPanel, ColBlack);

    // Cell values of the eight triangles, two per square, square by square.
    constexpr int Values[8] = {1, 2, 0, 1, 2, 1, 0, 2};
    int next = 0;
    for (int v = 0; v < 2; ++v)
        for (int u = 0; u < 2; ++u) {
            const TPoint a = GridPoint(u, v), b = GridPoint(u + 1, v), c = GridPoint(u + 1, v + 1),
                         d = GridPoint(u, v + 1);
            // Neighbouring squares are cut along opposite diagonals, as on the board.
            const bool cutAC = (u + v) % 2 == 0;
            const TPoint first[3] = {a, b, cutAC ? c : d};
            const TPoint second[3] = {cutAC ? a : b, c, d};
            icon.Polygon(first, 3, CellColour[Values[next++]], ColBlack);
            icon.Polygon(second, 3, CellColour[Values[next++]], ColBlack);
        }
    return icon;
}
