// Side panel drawing: shadowed text, the message area, counters, turn bars, labels and buttons.
#include <cstdio>

#include "platform/text.h"
#include "ui/form.h"

void TfrmGalMain::DrawText(int x, int y, TColor shadow, TColor colour, int height, int width,
                           const std::string& text) {
    const TFont& font = FFonts.At(height, width);
    imgScreen.TextOut(x + width / 24 + 1, y + height / 24 + 1, font, shadow, text);
    imgScreen.TextOut(x, y, font, colour, text);
}

void TfrmGalMain::ShowMessage(const std::string& text, int line, int clearFirst) {
    PaintMessage(text, line, clearFirst);
    accSpoken.Say(SpokenMessage(text));
}

void TfrmGalMain::PaintMessage(const std::string& text, int line, int clearFirst) {
    const TRect area = MessageLine(line);
    int x = area.left;
    const int y = area.top;
    if (clearFirst) imgScreen.FillRect(area.left, area.top, area.right, area.bottom, ColPanel);
    // "@d" puts a swatch of cell value d's colour in front of the text. Only 0 to 2 name a
    // colour; any other "@" text is shown as it stands.
    if (text.size() >= 2 && text[0] == '@' && text[1] >= '0' && text[1] <= '2') {
        imgScreen.FillRect(x, y, x + SwatchSize, y + SwatchSize, CellColour[text[1] - '0']);
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
    imgScreen.FillRect(MessageArea, ColPanel);
}

void TfrmGalMain::DrawRestLabel() {
    DrawText(RestLabelAt.x, RestLabelAt.y, ColShadow, ColText, 24, 24, "REST");
    imgScreen.FillRect(RestBox, CellColour[0]);
}

void TfrmGalMain::DrawCounter(int index, int value) {
    if (index < 0 || index > 2) return;
    imgScreen.FillRect(CounterBox(index), CellColour[index]);
    char text[16];
    std::snprintf(text, sizeof text, "%3d", value);
    const TPoint at = CounterTextAt(index);
    DrawText(at.x, at.y, ColShadow, ColWhite, CounterHeight, 24, text);
}

void TfrmGalMain::DrawTurnMarks(int player) {
    imgScreen.FillRect(TurnBar(1), player == 1 ? ColCyan : ColPlayer1);
    imgScreen.FillRect(TurnBar(2), player == 2 ? ColYellow : ColPlayer2);
}

void TfrmGalMain::DrawPlayerLabel(int player, int type) {
    player = player == 1 ? 1 : 2; // any other number draws as player 2, as it always has
    imgScreen.FillRect(PlayerLabelBox(player), ColBack);
    const TPoint first = PlayerLabelLineAt(player, 0), second = PlayerLabelLineAt(player, 1);
    DrawText(first.x, first.y, ColShadow, ColText, 24, 12, type == 0 ? "MAN" : "COM");
    if (type != 0) {
        char text[16];
        std::snprintf(text, sizeof text, "LV%1d", type - 1);
        DrawText(second.x, second.y, ColShadow, ColText, 24, 12, text);
    }
}

void TfrmGalMain::DrawButtons(int index) {
    if (index < 0 || index > 4) return;
    FButtonPair = index;
    imgScreen.FillRect(ButtonArea, ColBack);
    const TPoint first = ButtonLabelAt(0), second = ButtonLabelAt(1);
    DrawText(first.x, first.y, ColShadow, ColCyan, 24, 24, ButtonLabels[index][0]);
    DrawText(second.x, second.y, ColShadow, ColYellow, 24, 24, ButtonLabels[index][1]);
}
