// The program entry: the game window on the SDL backend, its game kept in the user's data
// folder. No arguments are read.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/kept_text.h"
#include "platform/sdl_app.h"
#include "platform/text.h"
#include "ui/form.h"
#include "ui/host.h"
#include "ui/icon.h"

namespace {

// On Windows the game has no console, so every error is shown in a box; elsewhere a box needs a
// display, and standard error reaches the person who started the game.
#if defined(_WIN32)
constexpr bool AlwaysBox = true;
#else
constexpr bool AlwaysBox = false;
#endif

void Report(const std::string& message, bool box) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
    if (box) TSdlApplication::ShowError(AppTitle, message);
}

// Run from its build tree, the game offers the developer's way to a display; installed, it says
// only what it needs.
std::string NoDisplayAdvice() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path program = fs::weakly_canonical(TSdlApplication::ProgramFolder(), error);
    const fs::path build = fs::weakly_canonical(MELVARON_BUILD_DIR, error);
    const auto [end, unused] =
        std::mismatch(build.begin(), build.end(), program.begin(), program.end());
    if (!program.empty() && !build.empty() && end == build.end())
        return "run the game in a desktop session, or without one under Xvfb: xvfb-run ./run";
#ifdef _WIN32
    return "the game needs a graphical desktop session";
#else
    return "the game needs a graphical desktop session (X11 or Wayland)";
#endif
}

// The game in progress is kept in the user's data folder and resumed at the next start; a
// kept game that cannot be resumed is named on standard error (the window says it too).
void KeepGameInDataFolder(TfrmGalMain& form) {
    const std::filesystem::path folder = UserDataFolder("melvaron");
    if (folder.empty()) return; // nowhere to keep it: the game plays as it always did
    auto kept = std::make_unique<TKeptFile>(folder / "game-in-progress.txt");
    const std::u8string path = kept->Path().u8string();
    form.KeepGameIn(std::move(kept));
    if (!form.KeptGameProblem().empty())
        std::fprintf(stderr, "melvaron: %s (%.*s)\n", form.KeptGameProblem().c_str(),
                     static_cast<int>(path.size()), reinterpret_cast<const char*>(path.data()));
}

} // namespace

int main() {
    // Without the face every text would fail; say which package brings it before any window.
    try {
        ResolveFontFile(GothicFace);
    } catch (const TFontMissing& e) {
        Report(e.what(), true); // the box appears only where a display can be opened
        return 1;
    }

    std::unique_ptr<TSdlApplication> app;
    try {
        app = std::make_unique<TSdlApplication>(AppTitle, AppId);
    } catch (const TDisplayUnavailable& e) {
        Report(std::string(e.what()) + "; " + NoDisplayAdvice(), AlwaysBox);
        return 1;
    }

    try {
        TfrmGalMain form;
        form.FormCreate();
        // A window whose creation failed has closed already: there is nothing to show.
        if (!form.Closed()) {
            KeepGameInDataFolder(form);
            const TImage icon = MakeIcon();
            TFormHost host = MakeFormHost(form, &icon);
            app->Run(host);
        }
        // Closing runs FormClose once (stopping any search); make sure it ran on every path.
        form.Close();
    } catch (const std::exception& e) {
        Report(e.what(), true);
        return 1;
    } catch (...) {
        Report("an unexpected error stopped the game", true);
        return 1;
    }
    return 0;
}
