// TWebApplication: the window as a web page. The page's script delivers the 50 ms timer, mouse
// movement and presses in client pixels, and keys; the program paints only what changed into the
// page's canvas, tells the page which cursor to show and whether its timer should run, and hands
// the lines the window says to the page's live region.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/app.h"

class TWebApplication {
  public:
    // One application per page: the page's events reach the one started last.
    explicit TWebApplication(TFormHost host);
    ~TWebApplication();
    TWebApplication(const TWebApplication&) = delete;
    TWebApplication& operator=(const TWebApplication&) = delete;

    // Shows the first picture and hands the page its events; returns at once, the page's
    // event loop runs the game from then on.
    void Start();

    // What the page's script calls (through the exported functions in web_app.cpp).
    void Tick();
    void MouseMove(int x, int y);
    void MouseDown(TMouseButton button, int x, int y);
    bool KeyDown(TKey key, bool shift); // true when the window took the key
    // A change made by the front end's own messages rather than the window's events (a server's
    // word): runs it as a handler runs, and shows what it changed.
    void Change(const std::function<void()>& change);

    // Stops the page's events and shows message on the page; the game does not continue.
    static void Fail(const std::string& message);

  private:
    // Brings the canvas, the cursor and the page's timer up to date after a handler ran.
    void Present();

    TFormHost FHost;
    TClientPicture FPicture;
    std::vector<uint32_t> FRgba; // the changed rectangle, row by row, in the canvas's byte order
    int FCursor = -1;            // as last shown; -1 before the first
    int FTimer = -1;             // 1 when the page's timer runs, 0 when not, -1 before the first
};

// The page's timer tick as the page delivers it, for the program's own exports that step the game.
extern "C" void melvaron_tick();
