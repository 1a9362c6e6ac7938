// melvaron-icon [SIZE] FILE: writes the program's icon, SIZE x SIZE pixels (default 32), as a PNG
// (run by the build for each size the desktop is given).
#include <cstdio>
#include <string>

#include "engine/input_text.h"
#include "ui/icon.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: melvaron-icon [SIZE] FILE\n");
        return 2;
    }
    int size = IconSize;
    if (argc == 3) {
        int64_t n = 0;
        if (ParseDecimal(argv[1], n) != TDecimal::Ok || n < 1 || n > 4096) {
            std::fprintf(stderr, "error: SIZE must be a number from 1 to 4096\n");
            return 2;
        }
        size = static_cast<int>(n);
    }
    const char* path = argv[argc - 1];
    const TImage icon = MakeIcon(size);
    std::string error;
    if (!WritePng(path, icon.Pixels().data(), icon.Width(), icon.Height(), error)) {
        std::fprintf(stderr, "error: cannot write %s: %s\n", path, error.c_str());
        return 1;
    }
    return 0;
}
