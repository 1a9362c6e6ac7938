// The title picture around the board, the player selection and the hover marks.
#include <string>

#include "ui/form.h"

namespace {

// The corner pieces' colours, in the order of CornerPieces: each big piece, then the small one
// on top of it.
constexpr TColor CornerColours[6] = {ColPlayer1, ColCyan,   ColPlayer2,
                                     ColYellow,  ColPurple, ColMagenta};

// At 8 pixels a character the first line may hold 20 characters, the second 13.
constexpr const char* CreditLines[2] = {"(C) 2026 Melvaron", "Dunmiro Team"};

} // namespace

void TfrmGalMain::DrawTitle() {
    imgScreen.FillRect(0, 0, ScreenWidth, ScreenHeight, ColBack);

    imgScreen.Polygon(TitleFrame, 4, ColPanel, ColBlack);

    for (int i = 0; i < 6; ++i) {
        const TCornerPiece& piece = CornerPieces[i];
        const TPoint points[3] = {{piece.x, piece.y},
                                  {piece.x, piece.y + piece.dy * piece.leg},
                                  {piece.x + piece.dx * piece.leg, piece.y}};
        imgScreen.Polygon(points, 3, CornerColours[i], CornerColours[i]);
    }

    for (int i = 0; i < 8; ++i)
        for (const TTitleWord& word : TitleWords)
            DrawText(word.x + word.dx * i, word.y + word.dy * i, ColShadow, ColText, 24, 24,
                     std::string(1, word.letters[i]));

    imgScreen.FillRect(CreditBox, ColPanel);
    for (int line = 0; line < 2; ++line)
        DrawText(CreditLineAt[line].x, CreditLineAt[line].y, ColShadow, ColText, 16, 8,
                 CreditLines[line]);
}

void TfrmGalMain::DrawPlayerSelect(int type1, int type2) {
    ClearMessages();
    ShowMessage("SELECT PLAYER !!", 0, 0);
    const int types[2] = {type1, type2};
    for (int player = 1; player <= 2; ++player) {
        imgScreen.FillRect(ManCaption(player), ColShadow);
        imgScreen.FillRect(ComputerCaption(player), ColShadow);
        const TPoint man = ManCaptionAt(player), computer = ComputerCaptionAt(player);
        DrawText(man.x, man.y, ColPanel, ColText, 12, 6, "MAN");
        DrawText(computer.x, computer.y, ColPanel, ColText, 12, 6, "COMPUTER");
        for (int b = 0; b < LevelBoxes; ++b)
            DrawLevelBox(player, b, b == types[player - 1] ? 1 : 0);
    }
}

void TfrmGalMain::DrawLevelBox(int player, int box, int selected) {
    if (player < 1 || player > 2 || box < 0 || box >= LevelBoxes) return;
    const TPanelItem r = PanelItemRect(LevelBoxItem(player, box));
    const TColor fill =
        selected ? (player == 1 ? ColCyan : ColMagenta) : (player == 1 ? ColPlayer1 : ColPlayer2);
    imgScreen.FillRect(r.Rect(), fill);
    if (box >= 1) {
        const std::string digit(1, static_cast<char>('0' + box - 1));
        const TPoint at = LevelDigitAt(player, box);
        if (selected)
            DrawText(at.x, at.y, ColWhite, ColShadow, 12, 6, digit);
        else
            DrawText(at.x, at.y, ColShadow, ColWhite, 12, 6, digit);
    }
}

void TfrmGalMain::DrawHover(int position, int on) {
    const int item = piFirstButton + position;
    if (item < piFirstButton || item > piLastLevelBox) return;
    const TPanelItem r = PanelItemRect(item);
    if (item == piFirstButton || item == piSecondButton) {
        const TRect a = ButtonArrow(item - piFirstButton);
        if (on) {
            // A point at the middle of the right edge, one pixel inside the erased box.
            const int tip = a.right - 1, middle = (a.top + a.bottom) / 2;
            const TPoint arrow[4] = {
                {a.left, a.top}, {tip, middle - 1}, {tip, middle}, {a.left, a.bottom - 1}};
            imgScreen.Polygon(arrow, 4, ColMagenta, ColMagenta);
        } else {
            imgScreen.FillRect(a, ColBack);
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
