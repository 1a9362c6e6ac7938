// The tournament's cross-table drawn with the game's own image and text code.
#include <algorithm>

#include "platform/text.h"
#include "tools/tournament/tables.h"
#include "ui/screen_layout.h"

namespace {

constexpr int Margin = 12;
constexpr int LineHeight = 16; // the font's cell height
constexpr int CellPadding = 12;
constexpr int CellHeight = 2 * LineHeight + 12;
constexpr int HeaderHeight = LineHeight + 12;

constexpr TColor ColGrid = RGBColor(0x20, 0x20, 0x20);
constexpr TColor ColInk = RGBColor(0x00, 0x00, 0x00);
constexpr TColor ColNoGames = RGBColor(0xA0, 0xA0, 0xA0);

// Red for no points, yellow for half, green for all.
TColor ShareColour(double share) {
    struct Rgb {
        double r, g, b;
    };
    constexpr Rgb red{0xD8, 0x48, 0x40}, yellow{0xE8, 0xD8, 0x50}, green{0x48, 0xB8, 0x58};
    const Rgb& from = share < 0.5 ? red : yellow;
    const Rgb& to = share < 0.5 ? yellow : green;
    const double f = share < 0.5 ? share * 2 : share * 2 - 1;
    auto mix = [f](double a, double b) { return static_cast<int>(a + (b - a) * f + 0.5); };
    return RGBColor(mix(from.r, to.r), mix(from.g, to.g), mix(from.b, to.b));
}

} // namespace

TFontStyle TournamentFont() {
    TFontStyle style;
    style.faceName = GothicFace;
    style.height = LineHeight;
    style.width = LineHeight / 2;
    return style;
}

TImage DrawTournament(const TournamentTable& t, const TFont& font) {
    const std::size_t n = t.settings.players.size();
    const std::vector<std::string> names = PlayerNames(t.settings);

    // A row's total over all its pairings, shown in the last column.
    std::vector<PairingScore> totals(n);
    for (std::size_t r = 0; r < n; ++r) totals[r] = t.Total(r);

    int cellWidth = font.TextWidth("score");
    int labelWidth = 0;
    for (std::size_t r = 0; r < n; ++r) {
        labelWidth = std::max(labelWidth, font.TextWidth(names[r]));
        for (const PairingScore& p : t.score[r])
            if (p.Games() > 0)
                cellWidth = std::max({cellWidth, font.TextWidth(WinsDrawsLosses(p)),
                                      font.TextWidth(MeanDifference(p))});
        if (totals[r].Games() > 0)
            cellWidth = std::max(cellWidth, font.TextWidth(WinsDrawsLosses(totals[r])));
    }
    cellWidth += 2 * CellPadding;
    labelWidth += 2 * CellPadding;

    std::string status = GamesPlayed(t);
    if (t.played < t.scheduled) status += " (partial)";
    const std::string title = TournamentCommand(t.settings);
    const std::string legend =
        "row player against column player: wins-draws-losses, mean panel difference";

    const int gridLeft = Margin, gridTop = Margin + 3 * LineHeight + 8;
    const int gridWidth = labelWidth + static_cast<int>(n + 1) * cellWidth;
    const int gridHeight = HeaderHeight + static_cast<int>(n) * CellHeight;
    const int width = std::max({gridWidth, font.TextWidth(title), font.TextWidth(legend),
                                font.TextWidth(status)}) +
                      2 * Margin;
    const int height = gridTop + gridHeight + Margin;
    TImage image(width, height, ColWhite);

    image.TextOut(Margin, Margin, font, ColInk, title);
    image.TextOut(Margin, Margin + LineHeight, font, ColInk, status);
    image.TextOut(Margin, Margin + 2 * LineHeight, font, ColInk, legend);

    auto centred = [&](int left, int top, int boxWidth, const std::string& s) {
        image.TextOut(left + (boxWidth - font.TextWidth(s)) / 2, top, font, ColInk, s);
    };
    auto cellLeft = [&](std::size_t c) {
        return gridLeft + labelWidth + static_cast<int>(c) * cellWidth;
    };
    auto rowTop = [&](std::size_t r) {
        return gridTop + HeaderHeight + static_cast<int>(r) * CellHeight;
    };
    const int textTop = (HeaderHeight - LineHeight) / 2;
    for (std::size_t c = 0; c < n; ++c)
        centred(cellLeft(c), gridTop + textTop, cellWidth, names[c]);
    centred(cellLeft(n), gridTop + textTop, cellWidth, "score");

    for (std::size_t r = 0; r < n; ++r) {
        const int top = rowTop(r);
        image.TextOut(gridLeft + CellPadding, top + (CellHeight - LineHeight) / 2, font, ColInk,
                      names[r]);
        for (std::size_t c = 0; c <= n; ++c) {
            const PairingScore& p = c < n ? t.score[r][c] : totals[r];
            const int left = cellLeft(c);
            const TColor fill = c == r      ? ColShadow
                                : p.Games() ? ShareColour(p.Score())
                                            : ColNoGames;
            image.FillRect(left, top, left + cellWidth, top + CellHeight, fill);
            if (c == r || p.Games() == 0) continue;
            const int lines = top + (CellHeight - 2 * LineHeight) / 2;
            centred(left, lines, cellWidth, WinsDrawsLosses(p));
            centred(left, lines + LineHeight, cellWidth,
                    c < n ? MeanDifference(p) : ScorePercent(p));
        }
    }

    // The grid lines, over the cells' edges.
    const int right = gridLeft + gridWidth, bottom = gridTop + gridHeight;
    for (std::size_t r = 0; r <= n; ++r) {
        image.MoveTo(gridLeft, rowTop(r));
        image.LineTo(right, rowTop(r), ColGrid);
    }
    for (std::size_t c = 0; c <= n + 1; ++c) {
        image.MoveTo(cellLeft(c), gridTop);
        image.LineTo(cellLeft(c), bottom, ColGrid);
    }
    image.MoveTo(gridLeft, gridTop);
    image.LineTo(right, gridTop, ColGrid);
    image.LineTo(right, bottom, ColGrid);
    image.LineTo(gridLeft, bottom, ColGrid);
    image.LineTo(gridLeft, gridTop, ColGrid);
    return image;
}
