// TSdlApplication: the real window on SDL2, a software surface showing the composed client area.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/app.h"

// Raised when SDL can open no display; what() is the one line to show the user.
class TDisplayUnavailable : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TSdlApplication {
  public:
    // Initialises SDL's video with the application title (the name shown for the program
    // outside its window) and the window's class (X11 WM_CLASS, Wayland app id), by which docks
    // link the window to its desktop entry. Throws TDisplayUnavailable when no display can be
    // opened; its what() says what is missing.
    TSdlApplication(const std::string& title, const std::string& windowClass);
    ~TSdlApplication();
    TSdlApplication(const TSdlApplication&) = delete;
    TSdlApplication& operator=(const TSdlApplication&) = delete;

    // Shows the window, each client pixel as a square of the scale chosen from the desktop's
    // setting or MELVARON_SCALE, and runs the event loop on this thread until host.isClosed() is
    // true. Ticks, mouse events, keys and the close box reach the host's handlers here; an
    // exception thrown by a handler leaves the loop (the window is destroyed on the way out).
    void Run(TFormHost& host);

    // An error box; returns false when none could be shown (for instance without a display).
    static bool ShowError(const std::string& title, const std::string& message);

    // The folder of the running program; empty when unknown.
    static std::string ProgramFolder();
};
