// The web backend: the page's script (web/site/page.js) and the program talk through the
// functions below, exported from the module, and the few page functions declared with EM_JS.
#include "platform/web_app.h"

#include <emscripten.h>

#include <exception>

#include "platform/cursor.h"

namespace {

TWebApplication* gApplication = nullptr;

// A hand-over to the page's script, which is free to ignore a call it has no use for.
// clang-format off
EM_JS(void, PagePaint, (const uint32_t* pixels, int left, int top, int width, int height), {
    // A copy: the canvas takes no view of the shared memory the program runs in.
    var bytes = new Uint8ClampedArray(new Uint8Array(wasmMemory.buffer, pixels, width * height * 4));
    Module.melvaronPage.paint(new ImageData(bytes, width, height), left, top);
});
EM_JS(void, PageCursor, (const char* name), {
    Module.melvaronPage.cursor(UTF8ToString(name));
});
EM_JS(void, PageTimer, (int on, int interval), {
    Module.melvaronPage.timer(on !== 0, interval);
});
// The page's live region (web/site/keys-and-live-region.js), when the page has one.
EM_JS(void, PageSay, (const char* line), {
    if (globalThis.melvaronLiveRegion) globalThis.melvaronLiveRegion.say(UTF8ToString(line));
});
EM_JS(void, PageFail, (const char* message), {
    Module.melvaronPage.fail(UTF8ToString(message));
});
// clang-format on

const char* CursorName(TCursor cursor) {
    switch (cursor) {
    case crHourGlass:
        return "wait";
    case crAppStart:
        return "progress";
    default:
        return "default";
    }
}

// Runs a handler; an escaped exception ends the game with its message on the page, as the
// desktop shows it in an error box.
template <class F> void Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        TWebApplication::Fail(e.what());
    }
}

TMouseButton ButtonOf(int button) {
    // The DOM's numbering: 0 main, 1 auxiliary (middle), 2 secondary (right).
    return button == 2   ? TMouseButton::mbRight
           : button == 1 ? TMouseButton::mbMiddle
                         : TMouseButton::mbLeft;
}

} // namespace

TWebApplication::TWebApplication(TFormHost host) : FHost(std::move(host)) {
    gApplication = this;
}

TWebApplication::~TWebApplication() {
    if (gApplication == this) gApplication = nullptr;
}

void TWebApplication::Start() {
    FPicture.InvalidateAll();
    Present();
}

void TWebApplication::Tick() {
    if (DeliverTick(FHost)) Present();
}

void TWebApplication::Change(const std::function<void()>& change) {
    if (FHost.Closed()) return;
    Guarded(change);
    Present();
}

void TWebApplication::MouseMove(int x, int y) {
    if (RouteMouseMove(FHost, x, y)) Present();
}

void TWebApplication::MouseDown(TMouseButton button, int x, int y) {
    if (RouteMouseDown(FHost, button, x, y)) Present();
}

bool TWebApplication::KeyDown(TKey key, bool shift) {
    const bool taken = RouteKeyDown(FHost, key, shift);
    Present();
    return taken;
}

void TWebApplication::Fail(const std::string& message) {
    if (gApplication) gApplication = nullptr;
    PageFail(message.c_str());
}

void TWebApplication::Present() {
    const TRect r = FPicture.Update(FHost);
    if (!r.Empty()) {
        const int w = r.right - r.left, h = r.bottom - r.top;
        FRgba.resize(static_cast<size_t>(w) * h);
        const std::vector<TColor>& pixels = FPicture.Pixels();
        // TColor keeps red in the lowest byte, as the canvas does; only the alpha is added.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                FRgba[static_cast<size_t>(y) * w + x] =
                    pixels[static_cast<size_t>(r.top + y) * FHost.clientWidth + r.left + x] |
                    0xFF000000u;
        PagePaint(FRgba.data(), r.left, r.top, w, h);
    }
    if (Screen.Cursor != FCursor) {
        FCursor = Screen.Cursor;
        PageCursor(CursorName(Screen.Cursor));
    }
    const bool on = FHost.timer && FHost.timer->Enabled && !FHost.Closed();
    if (static_cast<int>(on) != FTimer) {
        FTimer = on;
        PageTimer(on, FHost.timer ? FHost.timer->Interval : 50);
    }
    if (FHost.speech)
        for (const std::string& line : FHost.speech->Take()) PageSay(line.c_str());
}

extern "C" {

EMSCRIPTEN_KEEPALIVE void melvaron_tick() {
    if (gApplication) Guarded([] { gApplication->Tick(); });
}

EMSCRIPTEN_KEEPALIVE void melvaron_mouse_move(int x, int y) {
    if (gApplication) Guarded([=] { gApplication->MouseMove(x, y); });
}

EMSCRIPTEN_KEEPALIVE void melvaron_mouse_down(int button, int x, int y) {
    if (gApplication) Guarded([=] { gApplication->MouseDown(ButtonOf(button), x, y); });
}

// A key by its browser number (KeyboardEvent.keyCode); 1 when the game took it, 0 when the page
// may let the browser have it (Tab past the last item moves the focus on).
EMSCRIPTEN_KEEPALIVE int melvaron_key(int code, int shift) {
    const auto key = KeyOfCode(code);
    bool taken = false;
    if (gApplication && key) Guarded([&] { taken = gApplication->KeyDown(*key, shift != 0); });
    return taken ? 1 : 0;
}

} // extern "C"
