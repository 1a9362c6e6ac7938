// Board drawing and hit testing: the 72 triangular cells and the pixel-to-cell mapping, both
// from the board's map in ui/screen_geometry.h.
#include <iterator>

#include "engine/tables.h"
#include "ui/form.h"

void TfrmGalMain::DrawCell(int cell, int value) {
    if (cell < 0 || cell >= static_cast<int>(std::size(CellClass)) || CellClass[cell] < 0 ||
        value < 0 || value > 2)
        return;
    const auto corners = CellCorners(cell);
    imgScreen.Polygon(corners.data(), 3, CellColour[value], ColBlack);
}

int TfrmGalMain::CellAt(int x, int y) {
    return BoardCellAt(x, y);
}
