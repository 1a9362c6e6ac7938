// Side panel drawing: shadowed text, the message area, counters, turn bars, labels and buttons.
#include <cstdio>

#include "platform/text.h"
#include "ui/form.h"

namespace {

constexpr int MessageLeft = 540;
constexpr int MessageRight = 732;
constexpr int MessageTop = 272;
constexpr int MessageLineStep = 32;
constexpr int SwatchStep = 32;

// Top of the counter box of index 0 (empty cells), 1 and 2 (the players' panels).
constexpr int CounterTop[3] = {192, 40, 104};

} // namespace

void TfrmGalMain::DrawText(int x, int y, TColor shadow, TColor colour, int height, int width,
                           const std::string& text) {
    const TFont& font = FFonts.At(height, width);
    imgScreen.TextOut(x + width / 24 + 1, y + height / 24 + 1, font, shadow, text);
    imgScreen.TextOut(x, y, font, colour, text);
}

void TfrmGalMain::ShowMessage(const std::string& text, int line, int clearFirst) {
    int x = MessageLeft;
    const int y = MessageTop + MessageLineStep * line;
    if (clearFirst) imgScreen.FillRect(MessageLeft, y, MessageRight, y + 24, ColPanel);
    // "@d" puts a swatch of cell value d's colour in front of the text. Only 0 to 2 name a
    // colour; any other "@" text is shown as it stands.
    if (text.size() >= 2 && text[0] == '@' && text[1] >= '0' && text[1] <= '2') {
        imgScreen.FillRect(x, y, x + 24, y + 24, CellColour[text[1] - '0']);
        x += SwatchStep;
        DrawText(x, y, ColBlack, ColText, 24, 12, text.substr(2));
        return;
    }
    DrawText(x, y, ColBlack, ColText, 24, 12, text);
}

void TfrmGalMain::ShowTurnMessage(int player, int line) {
    char text[32];
    std::snprintf(text, sizeof text, "@%1dTURN !", player);
    ShowMessage(text, line, 0);
}

void TfrmGalMain::ClearMessages() {
    imgScreen.FillRect(528, 260, 744, 376, ColPanel);
}

void TfrmGalMain::DrawRestLabel() {
    DrawText(580, 168, ColShadow, ColText, 24, 24, "REST");
    imgScreen.FillRect(592, 192, 712, 240, CellColour[0]);
}

void TfrmGalMain::DrawCounter(int index, int value) {
    if (index < 0 || index > 2) return;
    const int y = CounterTop[index];
    imgScreen.FillRect(608, y, 712, y + 48, CellColour[index]);
    char text[16];
    std::snprintf(text, sizeof text, "%3d", value);
    DrawText(632, y, ColShadow, ColWhite, 48, 24, text);
}

void TfrmGalMain::DrawTurnMarks(int player) {
    imgScreen.FillRect(592, 40, 608, 88, player == 1 ? ColCyan : ColPlayer1);
    imgScreen.FillRect(592, 104, 608, 152, player == 2 ? ColYellow : ColPlayer2);
}

void TfrmGalMain::DrawPlayerLabel(int player, int type) {
    const int o = player == 1 ? 0 : 64;
    imgScreen.FillRect(552, 38 + o, 588, 88 + o, ColBack);
    DrawText(552, 38 + o, ColShadow, ColText, 24, 12, type == 0 ? "MAN" : "COM");
    if (type != 0) {
        char text[16];
        std::snprintf(text, sizeof text, "LV%1d", type - 1);
        DrawText(552, 62 + o, ColShadow, ColText, 24, 12, text);
    }
}

void TfrmGalMain::DrawButtons(int index) {
    if (index < 0 || index > 4) return;
    imgScreen.FillRect(544, 400, 736, 464, ColBack);
    DrawText(544, 400, ColShadow, ColCyan, 24, 24, ButtonLabels[index][0]);
    DrawText(544, 440, ColShadow, ColYellow, 24, 24, ButtonLabels[index][1]);
}
