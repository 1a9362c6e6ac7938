// The window's whole-number scale: every client pixel shown as a square of scale x scale screen
// pixels, so the picture stays crisp and every behaviour stays that of the client pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

inline constexpr int MaxWindowScale = 8;
// Desktops state their scale as dots per inch: 96 is one unit.
inline constexpr double DpiPerScale = 96;

struct TScaleInputs {
    const char* forced = nullptr;     // MELVARON_SCALE, when set
    std::optional<double> desktopDpi; // Xft.dpi on X11, the monitor's DPI on Windows
    int usableWidth = 0;              // the desktop's room for windows; 0 when unknown
    int usableHeight = 0;
    int clientWidth = 0;
    int clientHeight = 0;
};

struct TScaleChoice {
    int scale = 1;
    std::string warning; // why a forced scale was not taken; empty when all was well
};

// A forced scale from 1 to MaxWindowScale is taken as it is. Otherwise the desktop's DPI rounded
// to whole units (at least 1), lowered until the enlarged client area fits the usable room.
TScaleChoice ChooseWindowScale(const TScaleInputs& in);

// The Xft.dpi value of an X resource database text (the root window's RESOURCE_MANAGER).
std::optional<double> XftDpi(const std::string& resources);

// A window coordinate as a client coordinate: the client pixel whose square holds it.
inline int ToClient(int windowCoordinate, int scale) {
    return windowCoordinate >= 0 ? windowCoordinate / scale
                                 : -((-windowCoordinate + scale - 1) / scale);
}

// Copies a width x height block of pixels of bytesPerPixel bytes, each as a square of
// scale x scale pixels, to the block at `to` (scale times as wide and high).
void EnlargePixels(const uint8_t* from, int fromPitch, int width, int height, int bytesPerPixel,
                   int scale, uint8_t* to, int toPitch);
