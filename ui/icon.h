// The program's icon, painted from the screen palette at any size; the window uses 32 x 32.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/image.h"

constexpr int IconSize = 32; // the window's icon, and the size the geometry is drawn for

// A small board diamond with a few panels on it, size x size pixels (size >= 1). From 32 pixels
// up the geometry scales with the size and lines are size / 32 pixels wide; a smaller icon is
// painted at 32 pixels or more and averaged down, since no line is thinner than a pixel.
TImage MakeIcon(int size = IconSize);

// The icon for a launcher that cuts it to its own shape (a web app's "maskable" icon): the
// picture at three quarters of the size, centred on the background colour, so that it stays
// whole inside the circle of four fifths of the size that every such shape keeps.
TImage MakeMaskableIcon(int size);

// The sizes a Windows icon file holds: those its shell and title bars ask for at 100 % to 200 %.
inline constexpr int WindowsIconSizes[] = {16, 20, 24, 32, 40, 48, 64, 256};

// A Windows .ico file of MakeIcon at each of WindowsIconSizes, as uncompressed 32-bit images.
std::vector<uint8_t> WindowsIconFile();
