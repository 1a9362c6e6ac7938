// The program entry: the game window on the SDL backend. No arguments are read.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "platform/sdl_app.h"
#include "platform/text.h"
#include "ui/form.h"
#include "ui/host.h"
#include "ui/icon.h"

namespace {

void Report(const std::string& message, bool box) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
    if (box) TSdlApplication::ShowError(AppTitle, message);
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
        app = std::make_unique<TSdlApplication>(AppTitle);
    } catch (const TDisplayUnavailable& e) {
        Report(e.what(), false);
        return 1;
    }

    try {
        TfrmGalMain form;
        form.FormCreate();
        // A window whose creation failed has closed already: there is nothing to show.
        if (!form.Closed()) {
            const TImage icon = MakeIcon();
            TFormHost host = MakeFormHost(form, &icon);
            app->Run(host);
        }
        // Closing runs FormClose once (stopping any search); make sure it ran on every path.
        form.Close();
    } catch (const std::exception& e) {
        Report(e.what(), true);
        return 1;
    }
    return 0;
}
