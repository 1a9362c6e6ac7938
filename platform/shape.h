// TShape: a plain filled strip with an outline, and a press event.
#pragma once

#include <functional>

#include "platform/image.h"

class TShape {
  public:
    int Left = 0, Top = 0, Width = 0, Height = 0;
    TColor PenColor = 0;   // outline
    TColor BrushColor = 0; // fill
    std::function<void()> OnMouseDown;

    bool Contains(int x, int y) const {
        return x >= Left && x < Left + Width && y >= Top && y < Top + Height;
    }
};
