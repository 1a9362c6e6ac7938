// The program's 32 x 32 icon, painted from the screen palette.
#pragma once

#include "platform/image.h"

constexpr int IconSize = 32;

// A small board diamond with a few panels on it.
TImage MakeIcon();
