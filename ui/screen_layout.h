// The screen's palette, sizes, the window's caption and the side panel's constant tables.
#pragma once

#include "platform/image.h"

constexpr int ScreenWidth = 762; // the painted image; the strip takes x 762..768
constexpr int ScreenHeight = 512;

// The window: its caption and the client area the image and the strip fill.
inline constexpr const char* AppTitle = "Melvaron (Oskalet) Dunmiro";
// Names the desktop entry (data/) and the window's class, so that docks link the two.
inline constexpr const char* AppId = "io.github.melvaron.dunmiro";
constexpr int ClientWidth = 768;
constexpr int ClientHeight = 512;

constexpr TColor ColBack = RGBColor(0x00, 0x52, 0x00);
constexpr TColor ColCellEmpty = RGBColor(0x00, 0x62, 0x00);
constexpr TColor ColPlayer1 = RGBColor(0x5A, 0x5A, 0xF6);
constexpr TColor ColPlayer2 = RGBColor(0xF6, 0x5A, 0x5A);
constexpr TColor ColPanel = RGBColor(0x41, 0x5A, 0x41);
constexpr TColor ColShadow = RGBColor(0x5A, 0x5A, 0x5A);
constexpr TColor ColText = RGBColor(0x5A, 0xF6, 0x5A);
constexpr TColor ColWhite = RGBColor(0xF6, 0xF6, 0xF6);
constexpr TColor ColCyan = RGBColor(0x5A, 0xF6, 0xF6);
constexpr TColor ColYellow = RGBColor(0xF6, 0xF6, 0x5A);
constexpr TColor ColMagenta = RGBColor(0xF6, 0x5A, 0xF6);
constexpr TColor ColPurple = RGBColor(0xAC, 0x5A, 0xAC);
constexpr TColor ColBlack = RGBColor(0x00, 0x00, 0x00);

inline constexpr TColor Palette[13] = {ColBack,    ColCellEmpty, ColPlayer1, ColPlayer2, ColPanel,
                                       ColShadow,  ColText,      ColWhite,   ColCyan,    ColYellow,
                                       ColMagenta, ColPurple,    ColBlack};

// Fill colour of a cell value: empty, player 1, player 2.
inline constexpr TColor CellColour[3] = {ColCellEmpty, ColPlayer1, ColPlayer2};

// The strip at the right edge: dark while the depth bonus is off, red while it is on.
constexpr TColor StripOff = RGBColor(0x00, 0x52, 0x00);
constexpr TColor StripOnPen = RGBColor(0x80, 0x00, 0x00);
constexpr TColor StripOnBrush = RGBColor(0xFF, 0x00, 0x00);

// Upper and lower button labels, each eight half-width cells (a full-width letter is two).
inline constexpr const char* ButtonLabels[5][2] = {
    {"NEW GAME", "Ｅ Ｎ Ｄ"}, {"Ｙ Ｅ Ｓ", " Ｎ  Ｏ "}, {"Ｙ Ｅ Ｓ", " Ｎ  Ｏ "},
    {"Ｙ Ｅ Ｓ", " Ｎ  Ｏ "}, {"ＧＡＭＥ", "Ｅ Ｎ Ｄ"},
};

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

// The font face the texts ask for; a Japanese fixed-pitch Gothic stands in where it is missing.
inline constexpr const char* GothicFace = "ＭＳ ゴシック";
