// The application layer: what a backend (the SDL window or the headless driver) needs of the
// one main window, and the pieces both backends share.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/accessible_text.h"
#include "platform/image.h"
#include "platform/keys.h"
#include "platform/mouse.h"
#include "platform/overlay.h"
#include "platform/shape.h"
#include "platform/timer.h"

// The window as a backend sees it: its picture, its strip, its timer, what it says and its
// handlers.
struct TFormHost {
    std::string caption;
    int clientWidth = 0, clientHeight = 0;
    TImage* image = nullptr;                       // shown at (0, 0)
    TShape* shape = nullptr;                       // the strip, right of the image
    TTimer* timer = nullptr;                       // OnTimer runs on the main thread while Enabled
    const TImage* icon = nullptr;                  // optional window icon
    const TOverlay* overlay = nullptr;             // optional, shown over the image
    TAccessibleText* speech = nullptr;             // optional, for a screen reader
    std::function<void(int x, int y)> onMouseMove; // image coordinates
    std::function<void(TMouseButton button, int x, int y)> onMouseDown; // image coordinates
    // True when the window took the key; a key it leaves may go to the front end (Tab on the
    // web page moves the focus on).
    std::function<bool(TKey key, bool shift)> onKeyDown;
    std::function<void()> onClose; // the close box
    // The program is told to end from outside the window (a signal, the session ending), not by
    // the player's close; unset, onClose serves.
    std::function<void()> onQuit;
    std::function<bool()> isClosed; // true once the window has closed

    bool Closed() const { return isClosed && isClosed(); }
};

// Sends a press at client pixel (x, y) to the image's handler or to the strip; a press
// elsewhere (outside both) is dropped. Returns true when a handler ran.
bool RouteMouseDown(TFormHost& host, TMouseButton button, int x, int y);
// Sends a movement at client pixel (x, y) to the image's handler when it is over the image.
// Returns true when the handler ran.
bool RouteMouseMove(TFormHost& host, int x, int y);
// Sends a key to the window's handler; false when the window is closed or left the key.
bool RouteKeyDown(TFormHost& host, TKey key, bool shift);
// Runs one timer tick when the timer is on and the window is open. Returns true when it ran.
bool DeliverTick(TFormHost& host);

// The client area as shown (clientWidth x clientHeight, row by row): the image with the
// overlay's points over it when shown, and the strip painted beside it, a one-pixel outline in
// PenColor around a BrushColor fill.
std::vector<TColor> ComposeClient(const TFormHost& host);

// The client area as a window last showed it, brought up to date piece by piece: Update
// recomposes only what changed since the previous call (the image's dirty rectangle, the strip
// when its place or colours differ, the overlay where it was and is), so a window converts and
// uploads only that. It takes the image's dirty rectangle, so one image feeds one TClientPicture.
class TClientPicture {
  public:
    // The next Update recomposes everything: the window system lost the shown pixels.
    void InvalidateAll() { FAll = true; }
    // Makes Pixels() equal ComposeClient(host) and returns the rectangle of the client area
    // that changed (empty when nothing did).
    TRect Update(const TFormHost& host);
    // clientWidth x clientHeight, row by row, as of the last Update.
    const std::vector<TColor>& Pixels() const { return FPixels; }

  private:
    struct StripLook {
        int left = 0, top = 0, width = 0, height = 0;
        TColor pen = 0, brush = 0;
        bool operator==(const StripLook&) const = default;
    };

    std::vector<TColor> FPixels;
    int FWidth = 0, FHeight = 0;
    StripLook FStrip;
    const TOverlay* FOverlay = nullptr;
    uint32_t FOverlayVersion = 0;
    TRect FOverlayShown; // where its points were at the last Update; empty when hidden
    bool FAll = true;
};
