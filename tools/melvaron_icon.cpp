// melvaron-icon FILE: writes the program's 32 x 32 icon as a PNG (run by the build).
#include <cstdio>
#include <string>

#include "ui/icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: melvaron-icon FILE\n");
        return 2;
    }
    const TImage icon = MakeIcon();
    std::string error;
    if (!WritePng(argv[1], icon.Pixels().data(), icon.Width(), icon.Height(), error)) {
        std::fprintf(stderr, "error: cannot write %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
