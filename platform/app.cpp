// Event routing and the client picture shared by the SDL window and the headless driver.
#include "platform/app.h"

#include <algorithm>
#include <cstddef>

namespace {

bool OverImage(const TFormHost& host, int x, int y) {
    return host.image && x >= 0 && y >= 0 && x < host.image->Width() && y < host.image->Height();
}

bool OverStrip(const TFormHost& host, int x, int y) {
    // The strip may reach past the client edge; only its visible part takes presses.
    return host.shape && x >= 0 && y >= 0 && x < host.clientWidth && y < host.clientHeight &&
           host.shape->Contains(x, y);
}

} // namespace

bool RouteMouseDown(TFormHost& host, TMouseButton button, int x, int y) {
    if (host.Closed()) return false;
    if (OverImage(host, x, y)) {
        if (!host.onMouseDown) return false;
        host.onMouseDown(button, x, y);
        return true;
    }
    if (OverStrip(host, x, y) && host.shape->OnMouseDown) {
        host.shape->OnMouseDown();
        return true;
    }
    return false;
}

bool RouteMouseMove(TFormHost& host, int x, int y) {
    if (host.Closed() || !OverImage(host, x, y) || !host.onMouseMove) return false;
    host.onMouseMove(x, y);
    return true;
}

bool RouteKeyDown(TFormHost& host, TKey key, bool shift) {
    if (host.Closed() || !host.onKeyDown) return false;
    return host.onKeyDown(key, shift);
}

bool DeliverTick(TFormHost& host) {
    if (host.Closed() || !host.timer || !host.timer->Enabled || !host.timer->OnTimer) return false;
    host.timer->OnTimer();
    return true;
}

namespace {

// The strip's pixels, outline included, in client coordinates (empty when it has no size).
TRect StripRect(int left, int top, int width, int height) {
    if (width <= 0 || height <= 0) return {};
    return {left, top, left + width, top + height};
}

// The overlay's rectangle on the image when it shows, else empty.
TRect OverlayShown(const TFormHost& host) {
    if (!host.overlay || !host.overlay->Visible() || !host.image) return {};
    const TRect b = host.overlay->Bounds();
    return {std::max(b.left, 0), std::max(b.top, 0), std::min(b.right, host.image->Width()),
            std::min(b.bottom, host.image->Height())};
}

// Paints the client picture inside rect into out (w x h, row by row): black, the image at
// (0, 0) with the overlay's points over it, then the strip with a one-pixel outline in PenColor
// around a BrushColor fill.
void ComposeRect(const TFormHost& host, TRect rect, std::vector<TColor>& out) {
    const int w = host.clientWidth;
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, w);
    rect.bottom = std::min(rect.bottom, host.clientHeight);
    if (rect.Empty()) return;
    auto row = [&](int y) { return out.begin() + static_cast<std::ptrdiff_t>(y) * w; };
    for (int y = rect.top; y < rect.bottom; ++y)
        std::fill(row(y) + rect.left, row(y) + rect.right, TColor{0});
    if (host.image) {
        const TImage& img = *host.image;
        const int right = std::min(rect.right, img.Width());
        const int bottom = std::min(rect.bottom, img.Height());
        for (int y = rect.top; y < bottom && rect.left < right; ++y)
            std::copy(img.Pixels().begin() + static_cast<std::ptrdiff_t>(y) * img.Width() +
                          rect.left,
                      img.Pixels().begin() + static_cast<std::ptrdiff_t>(y) * img.Width() + right,
                      row(y) + rect.left);
        if (!OverlayShown(host).Empty())
            for (const TPoint& p : host.overlay->Points())
                if (p.x >= rect.left && p.x < right && p.y >= rect.top && p.y < bottom)
                    row(p.y)[p.x] = host.overlay->Colour();
    }
    if (host.shape) {
        const TShape& s = *host.shape;
        const TRect strip = StripRect(s.Left, s.Top, s.Width, s.Height);
        if (strip.Empty()) return;
        const int right = strip.right - 1, bottom = strip.bottom - 1;
        const int x0 = std::max(rect.left, strip.left), x1 = std::min(rect.right, strip.right);
        const int y0 = std::max(rect.top, strip.top), y1 = std::min(rect.bottom, strip.bottom);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const bool edge = x == s.Left || x == right || y == s.Top || y == bottom;
                row(y)[x] = edge ? s.PenColor : s.BrushColor;
            }
    }
}

} // namespace

std::vector<TColor> ComposeClient(const TFormHost& host) {
    const int w = std::max(host.clientWidth, 0), h = std::max(host.clientHeight, 0);
    std::vector<TColor> out(static_cast<size_t>(w) * h, 0);
    ComposeRect(host, {0, 0, w, h}, out);
    return out;
}

TRect TClientPicture::Update(const TFormHost& host) {
    const int w = std::max(host.clientWidth, 0), h = std::max(host.clientHeight, 0);
    TRect changed = host.image ? host.image->TakeDirty() : TRect{};
    StripLook strip;
    if (host.shape)
        strip = {host.shape->Left,   host.shape->Top,      host.shape->Width,
                 host.shape->Height, host.shape->PenColor, host.shape->BrushColor};
    if (!(strip == FStrip)) {
        // Where it was and where it is now; one rectangle holding both is simple and rare.
        changed = Union(changed, StripRect(FStrip.left, FStrip.top, FStrip.width, FStrip.height));
        changed = Union(changed, StripRect(strip.left, strip.top, strip.width, strip.height));
        FStrip = strip;
    }
    // The overlay where it showed and where it shows now, when it may have changed.
    const uint32_t overlayVersion = host.overlay ? host.overlay->Version() : 0;
    if (host.overlay != FOverlay || overlayVersion != FOverlayVersion) {
        const TRect shown = OverlayShown(host);
        changed = Union(changed, FOverlayShown);
        changed = Union(changed, shown);
        FOverlay = host.overlay;
        FOverlayVersion = overlayVersion;
        FOverlayShown = shown;
    }
    if (w != FWidth || h != FHeight) {
        FPixels.assign(static_cast<size_t>(w) * h, 0);
        FWidth = w;
        FHeight = h;
        FAll = true;
    }
    if (FAll) changed = {0, 0, w, h};
    FAll = false;
    changed = {std::max(changed.left, 0), std::max(changed.top, 0), std::min(changed.right, w),
               std::min(changed.bottom, h)};
    if (changed.Empty()) return {};
    ComposeRect(host, changed, FPixels);
    return changed;
}
