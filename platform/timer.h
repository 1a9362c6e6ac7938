// TTimer: a tick every Interval ms on the main thread while Enabled. The backend delivers it.
#pragma once

#include <functional>

class TTimer {
  public:
    int Interval = 50;
    bool Enabled = false;
    std::function<void()> OnTimer;
};
