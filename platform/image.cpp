// TImage: pixel rules of the four drawing primitives.
#include "platform/image.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/text.h"

namespace {

// Floor and ceiling of num / den for den > 0.
int FloorDiv(long long num, long long den) {
    long long q = num / den;
    if ((num % den != 0) && (num < 0)) --q;
    return static_cast<int>(q);
}
int CeilDiv(long long num, long long den) {
    return -FloorDiv(-num, den);
}

// Calls plot for every pixel of the Bresenham line from (x0, y0) to (x1, y1), both ends included.
// Axis-aligned and 45-degree lines give exactly the lattice points on the segment.
template <class Plot> void Bresenham(int x0, int y0, int x1, int y1, Plot plot) {
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        plot(x0, y0);
        if (x0 == x1 && y0 == y1) break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

} // namespace

TRect Union(const TRect& a, const TRect& b) {
    if (a.Empty()) return b.Empty() ? TRect{} : b;
    if (b.Empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

TImage::TImage(int width, int height, TColor fill)
    : FWidth(width), FHeight(height),
      FPixels(static_cast<size_t>(width) * static_cast<size_t>(height), fill) {}

void TImage::Mark(int left, int top, int right, int bottom) {
    FDirty = Union(FDirty, {std::max(left, 0), std::max(top, 0), std::min(right, FWidth),
                            std::min(bottom, FHeight)});
}

TRect TImage::TakeDirty() {
    return std::exchange(FDirty, TRect{});
}

void TImage::SetPixel(int x, int y, TColor c) {
    Put(x, y, c);
    Mark(x, y, x + 1, y + 1);
}

void TImage::FillRect(int left, int top, int right, int bottom, TColor colour) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, FWidth);
    bottom = std::min(bottom, FHeight);
    Mark(left, top, right, bottom);
    for (int y = top; y < bottom; ++y)
        std::fill(FPixels.begin() + static_cast<size_t>(y) * FWidth + left,
                  FPixels.begin() + static_cast<size_t>(y) * FWidth + right, colour);
}

// Fill: every pixel centre strictly inside the polygon (even-odd rule, crossings counted with the
// half-open rule so that vertices on a scanline count once). Edge: the Bresenham line of every
// side, drawn afterwards, so pixels on the boundary always take the edge colour.
void TImage::Polygon(const TPoint* points, int count, TColor fill, TColor edge) {
    if (count <= 0) return;
    int xmin = points[0].x, xmax = points[0].x;
    int ymin = points[0].y, ymax = points[0].y;
    for (int i = 1; i < count; ++i) {
        xmin = std::min(xmin, points[i].x);
        xmax = std::max(xmax, points[i].x);
        ymin = std::min(ymin, points[i].y);
        ymax = std::max(ymax, points[i].y);
    }
    Mark(xmin, ymin, xmax + 1, ymax + 1);
    ymin = std::max(ymin, 0);
    ymax = std::min(ymax, FHeight - 1);

    struct Crossing {
        long long num, den; // x = num / den, den > 0
        double at;
    };
    std::vector<Crossing> xs;
    for (int y = ymin; y <= ymax; ++y) {
        xs.clear();
        for (int i = 0; i < count; ++i) {
            TPoint a = points[i], b = points[(i + 1) % count];
            if (a.y == b.y) continue;
            if (a.y > b.y) std::swap(a, b);
            if (y < a.y || y >= b.y) continue;
            long long den = b.y - a.y;
            long long num =
                static_cast<long long>(a.x) * den + static_cast<long long>(y - a.y) * (b.x - a.x);
            xs.push_back({num, den, static_cast<double>(num) / static_cast<double>(den)});
        }
        std::sort(xs.begin(), xs.end(),
                  [](const Crossing& p, const Crossing& q) { return p.at < q.at; });
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
            // Integer x with left < x < right.
            int from = FloorDiv(xs[i].num, xs[i].den) + 1;
            int to = CeilDiv(xs[i + 1].num, xs[i + 1].den) - 1;
            from = std::max(from, 0);
            to = std::min(to, FWidth - 1);
            for (int x = from; x <= to; ++x) FPixels[static_cast<size_t>(y) * FWidth + x] = fill;
        }
    }

    for (int i = 0; i < count; ++i) {
        const TPoint& a = points[i];
        const TPoint& b = points[(i + 1) % count];
        Bresenham(a.x, a.y, b.x, b.y, [&](int x, int y) { Put(x, y, edge); });
    }
}

void TImage::MoveTo(int x, int y) {
    FPen = {x, y};
}

void TImage::LineTo(int x, int y, TColor colour) {
    // A line to the current point paints nothing.
    if (FPen.x != x || FPen.y != y)
        Mark(std::min(FPen.x, x), std::min(FPen.y, y), std::max(FPen.x, x) + 1,
             std::max(FPen.y, y) + 1);
    Bresenham(FPen.x, FPen.y, x, y, [&](int px, int py) {
        if (px != x || py != y) Put(px, py, colour);
    });
    FPen = {x, y};
}

void TImage::TextOut(int x, int y, const TFont& font, TColor colour, const std::string& utf8) {
    std::vector<TPoint> ink;
    font.Rasterize(utf8, ink);
    for (const TPoint& p : ink) SetPixel(x + p.x, y + p.y, colour);
}

bool TImage::SavePng(const std::string& path, std::string& error) const {
    return WritePng(path, FPixels.data(), FWidth, FHeight, error);
}
