// The program's icon: the board diamond in miniature, two squares a side, cut into triangles.
#include "ui/icon.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "ui/screen_layout.h"

namespace {

// The icon's geometry at one size. At 32 pixels: the rim runs from (16, 0) to (31, 15), the
// grid's squares are 6 pixels a step and lines are one pixel wide; other sizes scale that.
struct TIconGeometry {
    int cx, cy; // the diamond's centre
    int rim;    // half the rim's diagonal
    int step;   // a grid square's half diagonal
    int line;   // line width in pixels

    explicit TIconGeometry(int size)
        : cx(size / 2), cy(size / 2 - 1), line(std::max(1, size / IconSize)) {
        rim = size / 2 - line;
        step = (4 * rim + 5) / 10; // two steps are four fifths of the rim, rounded
    }

    // A corner of the miniature grid: square (u, v) turned 45 degrees.
    TPoint GridPoint(int u, int v) const {
        return {cx + (u - v) * step, cy - 2 * step + (u + v) * step};
    }
};

// Thickens the one-pixel edges of a polygon to `line` pixels, centred on the edge, as the
// 32-pixel lines scaled up: a horizontal edge grows downwards and upwards, every other edge
// (vertical or at 45 degrees) sideways.
void ThickenEdges(TImage& icon, const TPoint* points, int count, int line) {
    for (int i = 0; i < count; ++i) {
        const TPoint& a = points[i];
        const TPoint& b = points[(i + 1) % count];
        const bool flat = a.y == b.y;
        for (int d = -(line / 2); d <= (line - 1) / 2; ++d) {
            const int dx = flat ? 0 : d, dy = flat ? d : 0;
            icon.MoveTo(a.x + dx, a.y + dy);
            icon.LineTo(b.x + dx, b.y + dy, ColBlack);
            icon.SetPixel(b.x + dx, b.y + dy, ColBlack); // LineTo leaves out its end point
        }
    }
}

// Paints the icon at a size of 32 pixels or more.
TImage PaintIcon(int size) {
    const TIconGeometry g(size);
    TImage icon(size, size, ColBack);
    const TPoint rim[4] = {
        {g.cx, g.cy - g.rim}, {g.cx + g.rim, g.cy}, {g.cx, g.cy + g.rim}, {g.cx - g.rim, g.cy}};
    icon.Polygon(rim, 4, ColPanel, ColBlack);

    // Cell values of the eight triangles, two per square, square by square.
    constexpr int Values[8] = {1, 2, 0, 1, 2, 1, 0, 2};
    TPoint triangles[8][3];
    int next = 0;
    for (int v = 0; v < 2; ++v)
        for (int u = 0; u < 2; ++u) {
            const TPoint a = g.GridPoint(u, v), b = g.GridPoint(u + 1, v),
                         c = g.GridPoint(u + 1, v + 1), d = g.GridPoint(u, v + 1);
            // Neighbouring squares are cut along opposite diagonals, as on the board.
            const bool cutAC = (u + v) % 2 == 0;
            const TPoint first[3] = {a, b, cutAC ? c : d};
            const TPoint second[3] = {cutAC ? a : b, c, d};
            for (const TPoint* t : {first, second}) {
                std::copy(t, t + 3, triangles[next]);
                icon.Polygon(t, 3, CellColour[Values[next]], ColBlack);
                ++next;
            }
        }

    // Wider lines only once every area is filled, so that no fill covers half a line.
    if (g.line > 1) {
        ThickenEdges(icon, rim, 4, g.line);
        for (const auto& t : triangles) ThickenEdges(icon, t, 3, g.line);
    }
    return icon;
}

// Each pixel of the result is the mean of a factor x factor block of the picture.
TImage Shrink(const TImage& picture, int factor) {
    const int width = picture.Width() / factor, height = picture.Height() / factor;
    TImage out(width, height);
    const int area = factor * factor;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int sum[3] = {0, 0, 0};
            for (int j = 0; j < factor; ++j)
                for (int i = 0; i < factor; ++i) {
                    const TColor c = picture.Pixel(x * factor + i, y * factor + j);
                    for (int k = 0; k < 3; ++k) sum[k] += (c >> (8 * k)) & 0xFF;
                }
            out.SetPixel(x, y,
                         RGBColor((sum[0] + area / 2) / area, (sum[1] + area / 2) / area,
                                  (sum[2] + area / 2) / area));
        }
    return out;
}

void Put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One image of an icon file: a 32-bit bottom-up bitmap (its height counts the mask's rows too)
// followed by an all-clear AND mask, which the opaque pixels make irrelevant.
std::vector<uint8_t> IcoImage(const TImage& icon) {
    const int w = icon.Width(), h = icon.Height();
    const int maskRow = ((w + 31) / 32) * 4;
    std::vector<uint8_t> out;
    Put32(out, 40); // BITMAPINFOHEADER
    Put32(out, w);
    Put32(out, 2 * h);
    Put16(out, 1);  // planes
    Put16(out, 32); // bits per pixel
    Put32(out, 0);  // uncompressed
    Put32(out, w * h * 4 + maskRow * h);
    for (int i = 0; i < 4; ++i) Put32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const TColor c = icon.Pixel(x, y);
            out.push_back((c >> 16) & 0xFF); // blue, green, red, alpha
            out.push_back((c >> 8) & 0xFF);
            out.push_back(c & 0xFF);
            out.push_back(0xFF);
        }
    }
    out.resize(out.size() + static_cast<size_t>(maskRow) * h, 0);
    return out;
}

} // namespace

TImage MakeIcon(int size) {
    if (size < 1) throw std::invalid_argument("icon size " + std::to_string(size));
    if (size >= IconSize) return PaintIcon(size);
    // Lines cannot be thinner than a pixel: smaller icons are the 32-pixel picture averaged.
    const int factor = (IconSize + size - 1) / size;
    return Shrink(PaintIcon(size * factor), factor);
}

TImage MakeMaskableIcon(int size) {
    if (size < 1) throw std::invalid_argument("icon size " + std::to_string(size));
    const int inner = std::max(1, size * 3 / 4);
    const TImage icon = MakeIcon(inner);
    TImage out(size, size, ColBack);
    const int at = (size - inner) / 2;
    for (int y = 0; y < inner; ++y)
        for (int x = 0; x < inner; ++x) out.SetPixel(at + x, at + y, icon.Pixel(x, y));
    return out;
}

std::vector<uint8_t> WindowsIconFile() {
    std::vector<std::vector<uint8_t>> images;
    for (int size : WindowsIconSizes) images.push_back(IcoImage(MakeIcon(size)));
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1); // an icon, not a cursor
    Put16(out, static_cast<unsigned>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = WindowsIconSizes[i];
        out.push_back(size >= 256 ? 0 : size); // 0 stands for 256
        out.push_back(size >= 256 ? 0 : size);
        out.push_back(0); // no palette
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}
