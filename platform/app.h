// The application layer: what a backend (the SDL window or the headless driver) needs of the
// one main window, and the pieces both backends share.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/image.h"
#include "platform/mouse.h"
#include "platform/shape.h"
#include "platform/timer.h"

// The window as a backend sees it: its picture, its strip, its timer and its handlers.
struct TFormHost {
    std::string caption;
    int clientWidth = 0, clientHeight = 0;
    TImage* image = nullptr;          // shown at (0, 0)
    TShape* shape = nullptr;          // the strip, right of the image
    TTimer* timer = nullptr;          // OnTimer runs on the main thread while Enabled
    const TImage* icon = nullptr;     // optional window icon
    std::function<void(int x, int y)> onMouseMove;                      // image coordinates
    std::function<void(TMouseButton button, int x, int y)> onMouseDown; // image coordinates
    std::function<void()> onClose;   // the close box
    std::function<bool()> isClosed;  // true once the window has closed
};

// Sends a press at client pixel (x, y) to the image's handler or to the strip.
void RouteMouseDown(TFormHost& host, TMouseButton button, int x, int y);
// Sends a movement at client pixel (x, y) to the image's handler when it is over the image.
void RouteMouseMove(TFormHost& host, int x, int y);

// The client area as shown: the image with the strip painted (outline and fill) beside it.
std::vector<TColor> ComposeClient(const TFormHost& host);
