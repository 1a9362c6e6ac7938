// TOverlay: pixels a window shows over its image without painting them into it, such as a
// keyboard cursor. The image keeps its own picture; taking the overlay away shows it unchanged.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/image.h"

class TOverlay {
  public:
    // Shows points (image pixels; those outside the image are not shown) in colour, in place of
    // what showed before.
    void Show(std::vector<TPoint> points, TColor colour) {
        FPoints = std::move(points);
        FColour = colour;
        FBounds = {};
        for (const TPoint& p : FPoints) FBounds = Union(FBounds, {p.x, p.y, p.x + 1, p.y + 1});
        FVisible = true;
        ++FVersion;
    }
    void Hide() {
        if (!FVisible) return;
        FVisible = false;
        ++FVersion;
    }

    bool Visible() const { return FVisible; }
    TColor Colour() const { return FColour; }
    const std::vector<TPoint>& Points() const { return FPoints; }
    // The rectangle holding the points, shown or not.
    TRect Bounds() const { return FBounds; }
    // Changes whenever what the overlay shows may have changed.
    uint32_t Version() const { return FVersion; }

  private:
    std::vector<TPoint> FPoints;
    TColor FColour = 0;
    TRect FBounds;
    bool FVisible = false;
    uint32_t FVersion = 0;
};
