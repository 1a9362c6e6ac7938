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

bool DeliverTick(TFormHost& host) {
    if (host.Closed() || !host.timer || !host.timer->Enabled || !host.timer->OnTimer) return false;
    host.timer->OnTimer();
    return true;
}

std::vector<TColor> ComposeClient(const TFormHost& host) {
    const int w = host.clientWidth, h = host.clientHeight;
    std::vector<TColor> out(static_cast<size_t>(std::max(w, 0)) * std::max(h, 0), 0);
    auto put = [&](int x, int y, TColor c) {
        if (x >= 0 && y >= 0 && x < w && y < h) out[static_cast<size_t>(y) * w + x] = c;
    };
    if (host.image) {
        const TImage& img = *host.image;
        const int cw = std::min(w, img.Width()), ch = std::min(h, img.Height());
        for (int y = 0; y < ch; ++y)
            std::copy_n(img.Pixels().begin() + static_cast<std::ptrdiff_t>(y) * img.Width(), cw,
                        out.begin() + static_cast<std::ptrdiff_t>(y) * w);
    }
    if (host.shape && host.shape->Width > 0 && host.shape->Height > 0) {
        const TShape& s = *host.shape;
        const int right = s.Left + s.Width - 1, bottom = s.Top + s.Height - 1;
        for (int y = s.Top; y <= bottom; ++y)
            for (int x = s.Left; x <= right; ++x) {
                const bool edge = x == s.Left || x == right || y == s.Top || y == bottom;
                put(x, y, edge ? s.PenColor : s.BrushColor);
            }
    }
    return out;
}
