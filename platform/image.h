// TImage: the off-screen picture the game paints on, with canvas-style pixel rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A colour as the platform takes it: red in the lowest byte (0x00BBGGRR).
using TColor = uint32_t;
constexpr TColor RGBColor(int r, int g, int b) {
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

struct TPoint {
    int x, y;
};

// Pixels left <= x < right, top <= y < bottom.
struct TRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return left >= right || top >= bottom; }
    bool operator==(const TRect&) const = default;
};
// The smallest rectangle holding both; an empty one adds nothing, and two give TRect{}.
TRect Union(const TRect& a, const TRect& b);

class TFont; // platform/text.h

class TImage {
  public:
    TImage(int width, int height, TColor fill = 0);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    TColor Pixel(int x, int y) const { return FPixels[y * FWidth + x]; }
    void SetPixel(int x, int y, TColor c); // clipped
    const std::vector<TColor>& Pixels() const { return FPixels; }

    // Paints left <= x < right, top <= y < bottom (clipped to the image).
    void FillRect(int left, int top, int right, int bottom, TColor colour);
    void FillRect(const TRect& r, TColor colour) {
        FillRect(r.left, r.top, r.right, r.bottom, colour);
    }
    // Fills the closed polygon and draws its edges one pixel wide, end points included.
    void Polygon(const TPoint* points, int count, TColor fill, TColor edge);
    void MoveTo(int x, int y);
    // One-pixel line from the current point to (x, y) without (x, y), which becomes current.
    void LineTo(int x, int y, TColor colour);
    // Paints only the glyphs of utf8 with (x, y) the top-left of the first character cell.
    void TextOut(int x, int y, const TFont& font, TColor colour, const std::string& utf8);

    // Writes the picture as an RGB PNG; on failure returns false and sets error.
    bool SavePng(const std::string& path, std::string& error) const;

    // A rectangle holding every pixel the primitives painted since the last call (empty when
    // none did), which is forgotten: a window uses it to show again only what changed. It may be
    // larger than the pixels painted (a diagonal line marks its bounding box).
    TRect TakeDirty();

  private:
    // Sets a pixel inside the image without marking it; outside is ignored.
    void Put(int x, int y, TColor c) {
        if (x >= 0 && y >= 0 && x < FWidth && y < FHeight)
            FPixels[static_cast<size_t>(y) * FWidth + x] = c;
    }
    // Adds the rectangle, clipped to the image, to the dirty one.
    void Mark(int left, int top, int right, int bottom);

    int FWidth, FHeight;
    std::vector<TColor> FPixels;
    TPoint FPen{0, 0};
    TRect FDirty;
};

// Writes width x height pixels (0x00BBGGRR) as an RGB PNG; false with error on failure.
bool WritePng(const std::string& path, const TColor* pixels, int width, int height,
              std::string& error);
