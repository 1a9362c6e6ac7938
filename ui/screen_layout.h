// The screen's palette, the window's caption, the texts of the side panel, and (from
// ui/screen_geometry.h) where everything lies.
#pragma once

#include "platform/image.h"
#include "ui/screen_geometry.h"

// The window: its caption and the client area the image and the strip fill.
inline constexpr const char* AppTitle = "Melvaron (Oskalet) Dunmiro";
// The name under an icon where the caption is too long: a phone's home screen.
inline constexpr const char* AppShortName = "Dunmiro";
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

// The font face the texts ask for; a Japanese fixed-pitch Gothic stands in where it is missing.
inline constexpr const char* GothicFace = "ＭＳ ゴシック";
