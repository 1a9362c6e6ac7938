// The title picture around the board, the player selection and the hover marks.
#include <string>

#include "ui/form.h"

namespace {

// Corner pieces: right-angled corner, leg length, direction toward the inside, colour. Each big
// piece has a small one on top of it.
struct TCornerPiece {
    int x, y, leg, dx, dy;
    TColor colour;
};
constexpr TCornerPiece CornerPieces[6] = {
    {64, 64, 130, 1, 1, ColPlayer1},    {64, 64, 47, 1, 1, ColCyan},
    {448, 64, 130, -1, 1, ColPlayer2},  {448, 64, 47, -1, 1, ColYellow},
    {448, 448, 130, -1, -1, ColPurple}, {448, 448, 47, -1, -1, ColMagenta},
};

// The three title words, one letter at a time along three edges of the board diamond.
struct TTitleWord {
    const char* letters;
    int x, y, dx, dy;
};
constexpr TTitleWord TitleWords[3] = {
    {"Melvaron", 175, 32, -20, 20},
    {"Oskalet ", 316, 32, 20, 20},
    {"Dunmiro ", 440, 327, -20, 20},
};

// At 8 pixels a character the first line may hold 20 characters, the second 13.
constexpr const char* CreditLine1 = "(C) 2026 Melvaron";
constexpr const char* CreditLine2 = "Dunmiro Team";

} // namespace

void TfrmGalMain::DrawTitle() {
    imgScreen.FillRect(0, 0, ScreenWidth, ScreenHeight, ColBack);

    const TPoint diamond[4] = {{256, 4}, {508, 256}, {256, 508}, {4, 256}};
    imgScreen.Polygon(diamond, 4, ColPanel, ColBlack);

    for (const TCornerPiece& piece : CornerPieces) {
        const TPoint points[3] = {{piece.x, piece.y},
                                  {piece.x, piece.y + piece.dy * piece.leg},
                                  {piece.x + piece.dx * piece.leg, piece.y}};
        imgScreen.Polygon(points, 3, piece.colour, piece.colour);
    }

    for (int i = 0; i < 8; ++i)
        for (const TTitleWord& word : TitleWords)
            DrawText(word.x + word.dx * i, word.y + word.dy * i, ColShadow, ColText, 24, 24,
                     std::string(1, word.letters[i]));

    imgScreen.FillRect(0, 436, 168, 460, ColPanel);
    DrawText(8, 430, ColShadow, ColText, 16, 8, CreditLine1);
    DrawText(64, 450, ColShadow, ColText, 16, 8, CreditLine2);
}

void TfrmGalMain::DrawPlayerSelect(int type1, int type2) {
    ClearMessages();
    ShowMessage("SELECT PLAYER !!", 0, 0);
    const int types[2] = {type1, type2};
    for (int i = 0; i < 2; ++i) {
        // A caption row right above each player's boxes: MAN over box 0, COMPUTER over the
        // six levels.
        const TPanelItem man = PanelItemRect(LevelBoxItem(i + 1, 0));
        const int y = man.top - man.height, levels = man.left + LevelBoxStepX;
        imgScreen.FillRect(man.left, y, man.left + man.width, man.top, ColShadow);
        imgScreen.FillRect(levels, y, man.left + LevelBoxStepX * LevelBoxes, man.top, ColShadow);
        DrawText(man.left + 2, y, ColPanel, ColText, 12, 6, "MAN");
        DrawText(levels, y, ColPanel, ColText, 12, 6, "COMPUTER");
        for (int b = 0; b < LevelBoxes; ++b) DrawLevelBox(i + 1, b, b == types[i] ? 1 : 0);
    }
}

void TfrmGalMain::DrawLevelBox(int player, int box, int selected) {
    if (player < 1 || player > 2 || box < 0 || box >= LevelBoxes) return;
    const TPanelItem r = PanelItemRect(LevelBoxItem(player, box));
    const TColor fill =
        selected ? (player == 1 ? ColCyan : ColMagenta) : (player == 1 ? ColPlayer1 : ColPlayer2);
    imgScreen.FillRect(r.left, r.top, r.left + r.width, r.top + r.height, fill);
    if (box >= 1) {
        // The level digit, LV0..LV5, in the right part of the box.
        const std::string digit(1, static_cast<char>('0' + box - 1));
        const int x = r.left + 14;
        if (selected)
            DrawText(x, r.top, ColWhite, ColShadow, 12, 6, digit);
        else
            DrawText(x, r.top, ColShadow, ColWhite, 12, 6, digit);
    }
}

void TfrmGalMain::DrawHover(int position, int on) {
    const int item = piFirstButton + position;
    if (item < piFirstButton || item > piLastLevelBox) return;
    const TPanelItem r = PanelItemRect(item);
    if (item == piFirstButton || item == piSecondButton) {
        // An arrow left of the button's label, as tall as the button.
        const int ax = 528, ay = r.top;
        if (on) {
            const TPoint arrow[4] = {
                {ax, ay}, {ax + 11, ay + 11}, {ax + 11, ay + 12}, {ax, ay + 23}};
            imgScreen.Polygon(arrow, 4, ColMagenta, ColMagenta);
        } else {
            imgScreen.FillRect(ax, ay, ax + 12, ay + 24, ColBack);
        }
        return;
    }
    // A shadow line under and right of the level box, one pixel outside it.
    const TColor colour = on ? ColBlack : ColPanel;
    const int right = r.left + r.width, bottom = r.top + r.height;
    imgScreen.MoveTo(r.left + 1, bottom);
    imgScreen.LineTo(right, bottom, colour);
    imgScreen.LineTo(right, r.top, colour);
}
