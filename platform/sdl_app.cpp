// The SDL2 backend: window, icon, event loop with the main-thread timer, system cursors.
#include "platform/sdl_app.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/cursor.h"
#include "platform/window_scale.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

// TColor is 0x00BBGGRR: as a 32-bit value that is SDL's XBGR8888 (alpha ignored).
constexpr uint32_t ClientFormat = SDL_PIXELFORMAT_XBGR8888;

struct WindowDeleter {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
};
struct SurfaceDeleter {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
struct CursorDeleter {
    void operator()(SDL_Cursor* c) const { SDL_FreeCursor(c); }
};

void SetIcon(SDL_Window* window, const TImage& icon) {
    // The icon is opaque: give every pixel full alpha.
    std::vector<uint32_t> argb(icon.Pixels().begin(), icon.Pixels().end());
    for (uint32_t& p : argb) p |= 0xFF000000u;
    std::unique_ptr<SDL_Surface, SurfaceDeleter> surface(SDL_CreateRGBSurfaceWithFormatFrom(
        argb.data(), icon.Width(), icon.Height(), 32, icon.Width() * 4, SDL_PIXELFORMAT_ABGR8888));
    if (surface) SDL_SetWindowIcon(window, surface.get()); // SDL copies the pixels
}

// Shows the client area on the window's software surface, each client pixel as a square of
// FScale pixels. Only what changed since the last showing is converted and uploaded: a waiting
// game paints nothing and then costs nothing.
class TPresenter {
  public:
    explicit TPresenter(int scale) : FScale(scale) {}

    // The window system may have lost what was shown (exposed, restored, resized).
    void InvalidateAll() { FPicture.InvalidateAll(); }

    void Present(SDL_Window* window, const TFormHost& host) {
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        if (!surface) {
            FPicture.InvalidateAll();
            return;
        }
        // A new surface (SDL makes one after a size change) holds none of our pixels.
        if (surface != FSurface || surface->w != FSurfaceWidth || surface->h != FSurfaceHeight) {
            FPicture.InvalidateAll();
            FSurface = surface;
            FSurfaceWidth = surface->w;
            FSurfaceHeight = surface->h;
        }
        TRect r = FPicture.Update(host);
        r.right = std::min(r.right, surface->w / FScale);
        r.bottom = std::min(r.bottom, surface->h / FScale);
        if (r.Empty()) return;

        const int pitch = host.clientWidth * 4;
        const TColor* from = FPicture.Pixels().data() +
                             static_cast<std::ptrdiff_t>(r.top) * host.clientWidth + r.left;
        const SDL_Rect rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
        const bool copied = FScale == 1 ? CopyAsIs(surface, host, rect, from, pitch)
                                        : CopyEnlarged(surface, rect, from, pitch);
        // What could not be copied is tried again, whole, at the next showing.
        if (!copied) FPicture.InvalidateAll();
        const SDL_Rect shown{rect.x * FScale, rect.y * FScale, rect.w * FScale, rect.h * FScale};
        SDL_UpdateWindowSurfaceRects(window, &shown, 1);
    }

  private:
    bool CopyAsIs(SDL_Surface* surface, const TFormHost& host, const SDL_Rect& rect,
                  const TColor* from, int pitch) {
        bool copied = false;
        if (!SDL_MUSTLOCK(surface) || SDL_LockSurface(surface) == 0) {
            uint8_t* to = static_cast<uint8_t*>(surface->pixels) +
                          static_cast<std::ptrdiff_t>(rect.y) * surface->pitch +
                          static_cast<std::ptrdiff_t>(rect.x) * surface->format->BytesPerPixel;
            copied = SDL_ConvertPixels(rect.w, rect.h, ClientFormat, from, pitch,
                                       surface->format->format, to, surface->pitch) == 0;
            if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        }
        if (!copied) {
            // Formats the direct conversion does not take (a palette display) go through a
            // blit, which maps every colour to the nearest one the display has.
            std::unique_ptr<SDL_Surface, SurfaceDeleter> source(SDL_CreateRGBSurfaceWithFormatFrom(
                const_cast<TColor*>(FPicture.Pixels().data()), host.clientWidth, host.clientHeight,
                32, pitch, ClientFormat));
            SDL_Rect to = rect;
            copied = source && SDL_BlitSurface(source.get(), &rect, surface, &to) == 0;
        }
        return copied;
    }

    // The rectangle converted to the surface's format at client size, then each pixel written
    // as a square.
    bool CopyEnlarged(SDL_Surface* surface, const SDL_Rect& rect, const TColor* from, int pitch) {
        const int bytes = surface->format->BytesPerPixel;
        const int convertedPitch = rect.w * bytes;
        FConverted.resize(static_cast<size_t>(convertedPitch) * rect.h);
        const uint8_t* converted = FConverted.data();
        std::unique_ptr<SDL_Surface, SurfaceDeleter> mapped;
        if (SDL_ConvertPixels(rect.w, rect.h, ClientFormat, from, pitch, surface->format->format,
                              FConverted.data(), convertedPitch) != 0) {
            // A palette display: SDL maps each colour to the nearest one it has.
            std::unique_ptr<SDL_Surface, SurfaceDeleter> source(SDL_CreateRGBSurfaceWithFormatFrom(
                const_cast<TColor*>(from), rect.w, rect.h, 32, pitch, ClientFormat));
            if (source) mapped.reset(SDL_ConvertSurface(source.get(), surface->format, 0));
            if (!mapped || (SDL_MUSTLOCK(mapped.get()) && SDL_LockSurface(mapped.get()) != 0))
                return false;
            for (int y = 0; y < rect.h; ++y)
                std::memcpy(FConverted.data() + static_cast<std::ptrdiff_t>(y) * convertedPitch,
                            static_cast<const uint8_t*>(mapped->pixels) +
                                static_cast<std::ptrdiff_t>(y) * mapped->pitch,
                            convertedPitch);
            if (SDL_MUSTLOCK(mapped.get())) SDL_UnlockSurface(mapped.get());
        }
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
        uint8_t* to = static_cast<uint8_t*>(surface->pixels) +
                      static_cast<std::ptrdiff_t>(rect.y) * FScale * surface->pitch +
                      static_cast<std::ptrdiff_t>(rect.x) * FScale * bytes;
        EnlargePixels(converted, convertedPitch, rect.w, rect.h, bytes, FScale, to, surface->pitch);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        return true;
    }

    int FScale;
    TClientPicture FPicture;
    std::vector<uint8_t> FConverted;
    const SDL_Surface* FSurface = nullptr;
    int FSurfaceWidth = 0, FSurfaceHeight = 0;
};

// The desktop's scale setting as dots per inch, where the window system states one.
std::optional<double> DesktopDpi() {
#ifdef _WIN32
    // The monitor's DPI: the program is DPI-aware, so the system leaves the scaling to it.
    float dpi = 0;
    if (SDL_GetDisplayDPI(0, nullptr, &dpi, nullptr) == 0 && dpi > 0) return dpi;
    return std::nullopt;
#else
    // On X11, Xft.dpi of the resource database, which GNOME and KDE set from their scale. SDL
    // reads only the screen's physical size, so Xlib is asked, loaded here rather than linked.
    // Under Wayland the compositor scales the window itself.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::string(driver) != "x11") return std::nullopt;
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!xlib) return std::nullopt;
    using OpenFn = void* (*)(const char*);
    using ResourcesFn = char* (*)(void*);
    using CloseFn = int (*)(void*);
    const auto open = reinterpret_cast<OpenFn>(dlsym(xlib, "XOpenDisplay"));
    const auto resources = reinterpret_cast<ResourcesFn>(dlsym(xlib, "XResourceManagerString"));
    const auto close = reinterpret_cast<CloseFn>(dlsym(xlib, "XCloseDisplay"));
    std::optional<double> dpi;
    if (open && resources && close) {
        if (void* display = open(nullptr)) {
            if (const char* text = resources(display)) dpi = XftDpi(text);
            close(display);
        }
    }
    dlclose(xlib);
    return dpi;
#endif
}

int ChooseScale(const TFormHost& host) {
    TScaleInputs in;
    in.forced = std::getenv("MELVARON_SCALE");
    in.desktopDpi = DesktopDpi();
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0) {
        in.usableWidth = usable.w;
        in.usableHeight = usable.h;
    }
    in.clientWidth = host.clientWidth;
    in.clientHeight = host.clientHeight;
    const TScaleChoice choice = ChooseWindowScale(in);
    if (!choice.warning.empty()) std::fprintf(stderr, "warning: %s\n", choice.warning.c_str());
    return choice.scale;
}

class CursorSet {
  public:
    CursorSet() {
        FCursors[0].reset(SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW));
        FCursors[1].reset(SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT));
        FCursors[2].reset(SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAITARROW));
    }
    // Shows the application's screen cursor; changes SDL's only when it differs.
    void Apply(TCursor cursor) {
        const int index = cursor == crHourGlass ? 1 : cursor == crAppStart ? 2 : 0;
        if (index == FShown || !FCursors[index]) return;
        SDL_SetCursor(FCursors[index].get());
        FShown = index;
    }

  private:
    std::array<std::unique_ptr<SDL_Cursor, CursorDeleter>, 3> FCursors;
    int FShown = -1;
};

std::optional<TMouseButton> ButtonOf(uint8_t sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT:
        return TMouseButton::mbLeft;
    case SDL_BUTTON_RIGHT:
        return TMouseButton::mbRight;
    case SDL_BUTTON_MIDDLE:
        return TMouseButton::mbMiddle;
    default:
        return std::nullopt;
    }
}

// The keys the window takes, by what they mean in the keyboard's layout.
std::optional<TKey> KeyOf(SDL_Keycode code) {
    switch (code) {
    case SDLK_LEFT:
        return TKey::vkLeft;
    case SDLK_RIGHT:
        return TKey::vkRight;
    case SDLK_UP:
        return TKey::vkUp;
    case SDLK_DOWN:
        return TKey::vkDown;
    case SDLK_TAB:
        return TKey::vkTab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return TKey::vkReturn;
    case SDLK_SPACE:
        return TKey::vkSpace;
    case SDLK_ESCAPE:
        return TKey::vkEscape;
    case SDLK_b:
        return TKey::vkB;
    case SDLK_r:
        return TKey::vkR;
    case SDLK_u:
        return TKey::vkU;
    default:
        return std::nullopt;
    }
}

struct TKeyStroke {
    TKey key;
    bool shift;
};

// A stroke as the window takes it. Shortcuts with Ctrl, Alt or the system key belong to the
// desktop, but for its usual undo and redo: Ctrl+Z takes back as U does, Ctrl+Y and
// Ctrl+Shift+Z put again as Shift+U does.
std::optional<TKeyStroke> StrokeOf(const SDL_Keysym& keysym) {
    const bool shift = (keysym.mod & KMOD_SHIFT) != 0;
    if ((keysym.mod & (KMOD_ALT | KMOD_GUI)) != 0) return std::nullopt;
    if ((keysym.mod & KMOD_CTRL) != 0) {
        // SDL's key for a letter is the letter in lower case.
        for (const TCtrlShortcut& c : CtrlShortcuts)
            if (keysym.sym == c.letter && shift == c.shift) return TKeyStroke{c.key, c.keyShift};
        return std::nullopt;
    }
    const auto key = KeyOf(keysym.sym);
    if (!key) return std::nullopt;
    return TKeyStroke{*key, shift};
}

} // namespace

TSdlApplication::TSdlApplication(const std::string& title, const std::string& windowClass) {
    SDL_SetHint(SDL_HINT_APP_NAME, title.c_str());
#ifndef _WIN32
    // SDL reads the class from these variables, else takes the program file's name; one the
    // user set wins.
    setenv("SDL_VIDEO_X11_WMCLASS", windowClass.c_str(), 0);
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", windowClass.c_str(), 0);
#else
    (void)windowClass;
    // Pixels, not points: the window's scale is ours to choose (the manifest says the same).
    SDL_SetHintWithPriority(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2", SDL_HINT_DEFAULT);
#endif
    // A board game has no reason to keep the screen awake.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Only drivers that show something on a screen: without them SDL would fall back to its
    // off-screen driver and the game would run where nobody can see it. A driver named in
    // SDL_VIDEODRIVER still wins.
#if defined(_WIN32)
    std::string drivers = "windows";
#else
    std::string drivers = "x11";
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && *runtimeDir) drivers += ",wayland";
    drivers += ",KMSDRM";
#endif
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(), SDL_HINT_DEFAULT);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::string why = SDL_GetError();
#ifndef _WIN32
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) why += "; DISPLAY is not set";
#endif
        throw TDisplayUnavailable("cannot open a display (" + why + ")");
    }
}

TSdlApplication::~TSdlApplication() {
    SDL_Quit();
}

std::string TSdlApplication::ProgramFolder() {
    std::string folder;
    if (char* path = SDL_GetBasePath()) {
        folder = path;
        SDL_free(path);
    }
    return folder;
}

bool TSdlApplication::ShowError(const std::string& title, const std::string& message) {
    return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), message.c_str(),
                                    nullptr) == 0;
}

void TSdlApplication::Run(TFormHost& host) {
    const int scale = ChooseScale(host);
    std::unique_ptr<SDL_Window, WindowDeleter> window(
        SDL_CreateWindow(host.caption.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                         host.clientWidth * scale, host.clientHeight * scale, SDL_WINDOW_HIDDEN));
    if (!window)
        throw TDisplayUnavailable(std::string("cannot create the window (") + SDL_GetError() + ")");
    if (host.icon) SetIcon(window.get(), *host.icon);
    SDL_ShowWindow(window.get());

    CursorSet cursors;
    TPresenter presenter(scale);
    // The timer runs on this thread: the loop waits for events no longer than the next tick.
    bool timerWasOn = false;
    uint64_t nextTick = 0;
    auto rearm = [&](bool restart) {
        const bool on = host.timer && host.timer->Enabled;
        if (on && (restart || !timerWasOn))
            nextTick = SDL_GetTicks64() + static_cast<uint64_t>(std::max(host.timer->Interval, 1));
        timerWasOn = on;
    };

    auto handle = [&](const SDL_Event& e) {
        switch (e.type) {
        case SDL_QUIT:
            // A signal or the session's end; the close box comes as the window's own event.
            if (host.onQuit)
                host.onQuit();
            else if (host.onClose)
                host.onClose();
            break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                if (host.onClose) host.onClose();
                break;
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_MAXIMIZED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                presenter.InvalidateAll();
                break;
            default:
                break;
            }
            break;
        case SDL_MOUSEMOTION:
            if (RouteMouseMove(host, ToClient(e.motion.x, scale), ToClient(e.motion.y, scale)))
                rearm(false);
            break;
        case SDL_KEYDOWN: {
            const auto stroke = StrokeOf(e.key.keysym);
            // Only moving about repeats while a key is held.
            if (!stroke || (e.key.repeat && !IsNavigationKey(stroke->key))) break;
            RouteKeyDown(host, stroke->key, stroke->shift);
            // A key that presses restarts the timer as a mouse press does.
            rearm(!IsNavigationKey(stroke->key));
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
            if (auto button = ButtonOf(e.button.button)) {
                // A press switches the timer off and maybe on again: a new full interval.
                if (RouteMouseDown(host, *button, ToClient(e.button.x, scale),
                                   ToClient(e.button.y, scale)))
                    rearm(true);
            }
            break;
        default:
            break;
        }
    };

    presenter.Present(window.get(), host);
    cursors.Apply(Screen.Cursor);
    while (!host.Closed()) {
        SDL_Event event;
        bool got;
        if (timerWasOn) {
            const uint64_t now = SDL_GetTicks64();
            const int wait = nextTick > now ? static_cast<int>(nextTick - now) : 0;
            got = SDL_WaitEventTimeout(&event, wait) != 0;
        } else {
            got = SDL_WaitEvent(&event) != 0;
        }
        if (got) {
            handle(event);
            while (!host.Closed() && SDL_PollEvent(&event)) handle(event);
        }
        if (host.Closed()) break;
        if (timerWasOn && SDL_GetTicks64() >= nextTick) {
            DeliverTick(host);
            rearm(true);
        }
        if (host.Closed()) break;
        cursors.Apply(Screen.Cursor);
        presenter.Present(window.get(), host);
    }
}
