// What the window says for a screen reader: each message line as it is shown, and on R the place
// the keyboard is at and the counters.
#include <string>

#include "ui/form.h"

namespace {

// Full-width letters and signs (U+FF01..U+FF5E) are three bytes in UTF-8: EF BC 81 to EF BD 9E.
bool FullWidthAt(const std::string& s, size_t i) {
    if (i + 2 >= s.size() || static_cast<unsigned char>(s[i]) != 0xEF) return false;
    const unsigned char b1 = s[i + 1], b2 = s[i + 2];
    return (b1 == 0xBC && b2 >= 0x81 && b2 <= 0xBF) || (b1 == 0xBD && b2 >= 0x80 && b2 <= 0x9E);
}

// The labels of full-width letters are spaced out for the eye ("Ｅ Ｎ Ｄ"); an ear wants the
// word ("END"). Other texts are read as they stand.
std::string PlainLetters(const std::string& text) {
    bool fullWidth = false;
    for (size_t i = 0; i < text.size() && !fullWidth; ++i) fullWidth = FullWidthAt(text, i);
    if (!fullWidth) return text;
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (FullWidthAt(text, i)) {
            const int code = ((static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6) |
                             (static_cast<unsigned char>(text[i + 2]) & 0x3F);
            plain += static_cast<char>(code - 0xFF00 + 0x20); // U+FF01 is '!'
            i += 2;
        } else if (text[i] != ' ') {
            plain += text[i];
        }
    }
    return plain;
}

std::string PlayerName(int player) {
    return "player " + std::to_string(player);
}

} // namespace

std::string TfrmGalMain::SpokenMessage(const std::string& text) {
    // "@d" shows the swatch of player d's colour; it is read as the player.
    if (text.size() >= 2 && text[0] == '@' && text[1] >= '0' && text[1] <= '2') {
        const std::string rest = PlainLetters(text.substr(2));
        return text[1] == '0' ? rest : PlayerName(text[1] - '0') + ": " + rest;
    }
    return PlainLetters(text);
}

std::string TfrmGalMain::PlaceText() const {
    if (FKeyTarget == TKeyTarget::ktItem && FHover >= piFirstButton) {
        if (FHover <= piSecondButton)
            return "button: " + PlainLetters(ButtonLabels[FButtonPair][FHover - piFirstButton]);
        const int player = 1 + (FHover - piFirstLevelBox) / LevelBoxes;
        const int box = (FHover - piFirstLevelBox) % LevelBoxes;
        const std::string choice = box == 0 ? "MAN" : "COMPUTER LV" + std::to_string(box - 1);
        return PlayerName(player) + ": " + choice + (FPlayerType[player] == box ? ", chosen" : "");
    }
    const int row = FKeyCell / RowStride, column = FKeyCell % RowStride;
    std::string text = "row " + std::to_string(row) + ", column " + std::to_string(column) + ": ";
    const int value = (*FBoard)[FKeyCell];
    if (value != CellEmpty) return text + PlayerName(value) + "'s panel";
    text += "empty";
    // Only a person waiting to put may: then say whether this cell takes the panel.
    if (FState == gsWaitPut && FPlayerType[FTurn] == 0)
        text += FRules->CheckPut(FKeyCell, FBoard->data()) & FTurn ? ", you may put here"
                                                                   : ", you may not put here";
    return text;
}

std::string TfrmGalMain::CountsText() const {
    return PlayerName(1) + ": " + std::to_string(FCount[1]) + " panels, " + PlayerName(2) + ": " +
           std::to_string(FCount[2]) + " panels, " + std::to_string(FCount[0]) + " empty";
}
