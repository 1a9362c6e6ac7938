// melvaron-icon [SIZE] FILE: writes the program's icon, SIZE x SIZE pixels (default 32), as a PNG
// (run by the build for each size the desktop is given).
#include <cstdio>
#include <string>

#include "tools/cli.h"
#include "ui/icon.h"

int main(int argc, char** argv) {
    CLI::App app{"Writes the program's icon as a PNG.", "melvaron-icon"};
    cli::Setup(app);
    app.positionals_at_end(); // one argument is the FILE
    int size = IconSize;
    std::string path;
    cli::AddNumber(app, "SIZE", size, 1, 4096, "width and height in pixels (default 32)")
        ->required(false);
    app.add_option("FILE", path, "the PNG to write")->required()->type_name("");
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;

    const TImage icon = MakeIcon(size);
    std::string error;
    if (!WritePng(path, icon.Pixels().data(), icon.Width(), icon.Height(), error)) {
        std::fprintf(stderr, "error: cannot write %s: %s\n", cli::ShownPath(path).c_str(),
                     error.c_str());
        return 1;
    }
    return 0;
}
