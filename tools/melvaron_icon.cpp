// melvaron-icon [--maskable] [SIZE] FILE: writes the program's icon, SIZE x SIZE pixels (default
// 32), as a PNG (run by the build for each size the desktop and the web page are given); with
// --maskable, padded for a launcher that cuts icons to its own shape. A FILE ending in .ico gets
// a Windows icon holding the sizes Windows asks for instead, and takes no SIZE.
#include <cstdio>
#include <string>
#include <vector>

#include "common/cli.h"
#include "ui/icon.h"

namespace {

bool WriteIco(const std::string& path) {
    const std::vector<uint8_t> bytes = WindowsIconFile();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes the program's icon as a PNG, or as a Windows icon (FILE.ico).",
                 "melvaron-icon"};
    cli::Setup(app);
    app.positionals_at_end(); // one argument is the FILE
    int size = IconSize;
    std::string path;
    bool maskable = false;
    CLI::Option* sizeOption =
        cli::AddNumber(app, "SIZE", size, 1, 4096, "width and height in pixels (default 32)")
            ->required(false);
    app.add_flag("--maskable", maskable,
                 "the picture padded to stay whole in any shape a launcher cuts it to");
    app.add_option("FILE", path, "the PNG or .ico to write")->required()->type_name("");
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;

    if (EndsWith(path, ".ico")) {
        if (sizeOption->count() > 0 || maskable) {
            std::fprintf(stderr,
                         "error: a .ico file holds its own sizes; give no SIZE or --maskable\n");
            return cli::ExitBadInput;
        }
        if (!WriteIco(path)) {
            std::fprintf(stderr, "error: cannot write %s\n", cli::ShownPath(path).c_str());
            return cli::ExitFailure;
        }
        return 0;
    }
    const TImage icon = maskable ? MakeMaskableIcon(size) : MakeIcon(size);
    std::string error;
    if (!WritePng(path, icon.Pixels().data(), icon.Width(), icon.Height(), error)) {
        std::fprintf(stderr, "error: cannot write %s: %s\n", cli::ShownPath(path).c_str(),
                     error.c_str());
        return cli::ExitFailure;
    }
    return 0;
}
