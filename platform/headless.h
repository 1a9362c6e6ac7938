// THeadlessHost: runs a window without a display; the caller delivers ticks, mouse events and
// keys, takes what the window says and can write the client area to a PNG file.
#pragma once

#include <string>
#include <vector>

#include "platform/app.h"

class THeadlessHost {
  public:
    explicit THeadlessHost(TFormHost host) : FHost(std::move(host)) {}

    // One timer tick; nothing happens while the timer is off or the window has closed.
    bool Tick() { return DeliverTick(FHost); }
    // Movement and presses at client pixels, routed as the real window routes them.
    bool MouseMove(int x, int y) { return RouteMouseMove(FHost, x, y); }
    bool MouseDown(TMouseButton button, int x, int y) {
        return RouteMouseDown(FHost, button, x, y);
    }
    bool KeyDown(TKey key, bool shift = false) { return RouteKeyDown(FHost, key, shift); }
    // The lines the window said since the last call.
    std::vector<std::string> TakeSpoken() {
        return FHost.speech ? FHost.speech->Take() : std::vector<std::string>{};
    }
    // A press on the strip wherever it lies.
    bool Strip();
    // The close box.
    void Close();
    bool Closed() const { return FHost.Closed(); }
    bool TimerEnabled() const { return FHost.timer && FHost.timer->Enabled; }

    std::vector<TColor> Client() const { return ComposeClient(FHost); }
    // Writes the composed client area as an RGB PNG; false with error on failure.
    bool Shot(const std::string& path, std::string& error) const;

    TFormHost& Host() { return FHost; }

  private:
    TFormHost FHost;
};
