// The screen cursor: one identifier for the whole application, shown by the backend.
#pragma once

#include <cstdint>

using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crHourGlass = -11; // busy
constexpr TCursor crAppStart = -19;  // arrow with a small hourglass

class TScreen {
  public:
    TCursor Cursor = crDefault;
};

extern TScreen Screen;
