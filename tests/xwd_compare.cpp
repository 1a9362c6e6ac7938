// xwd_compare DUMP.xwd SHOT.png [SCALE]: compares a window dump made by xwd with a PNG pixel by
// pixel over the PNG's size, each PNG pixel enlarged to a square of SCALE (default 1) window
// pixels. Exit 0 identical, 1 different, 2 unreadable input.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
};

uint32_t Be32(const std::vector<unsigned char>& d, size_t at) {
    return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}

// Scales the bits of value under mask to 0..255.
int Channel(uint32_t value, uint32_t mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!(mask >> shift & 1u)) ++shift;
    const uint32_t max = mask >> shift;
    return static_cast<int>(((value & mask) >> shift) * 255u / max);
}

int Bad(const std::string& what) {
    std::fprintf(stderr, "error: %s\n", what.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return Bad("usage: xwd_compare DUMP.xwd SHOT.png [SCALE]");
    const int scale = argc == 4 ? std::atoi(argv[3]) : 1;
    if (scale < 1 || scale > 16) return Bad(std::string("bad scale ") + argv[3]);

    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> d{std::istreambuf_iterator<char>(in), {}};
    if (d.size() < 100) return Bad(std::string("cannot read ") + argv[1]);
    // The header is 25 big-endian 32-bit fields followed by the window name.
    uint32_t h[25];
    for (int i = 0; i < 25; ++i) h[i] = Be32(d, 4 * i);
    const uint32_t headerSize = h[0], version = h[1], format = h[2], width = h[4], height = h[5],
                   byteOrder = h[7], bitsPerPixel = h[11], bytesPerLine = h[12],
                   visualClass = h[13], redMask = h[14], greenMask = h[15], blueMask = h[16],
                   ncolors = h[19];
    if (version != 7 || format != 2 || (bitsPerPixel != 24 && bitsPerPixel != 32) ||
        (visualClass != 4 && visualClass != 5))
        return Bad("unsupported xwd dump (need a true-colour ZPixmap)");
    const uint64_t dataAt = uint64_t(headerSize) + uint64_t(ncolors) * 12;
    if (dataAt + uint64_t(bytesPerLine) * height > d.size() ||
        uint64_t(width) * (bitsPerPixel / 8) > bytesPerLine)
        return Bad("truncated xwd dump");

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, argv[2])) return Bad(std::string(png.message));
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> shot(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, shot.data(), 0, nullptr))
        return Bad(std::string(png.message));
    if (png.width * scale > width || png.height * scale > height)
        return Bad("the dump (" + std::to_string(width) + "x" + std::to_string(height) +
                   ") is smaller than the shot at scale " + std::to_string(scale));

    const int bytes = static_cast<int>(bitsPerPixel / 8);
    long differing = 0;
    for (uint32_t y = 0; y < png.height * scale; ++y)
        for (uint32_t x = 0; x < png.width * scale; ++x) {
            const unsigned char* p = &d[dataAt + uint64_t(y) * bytesPerLine + uint64_t(x) * bytes];
            uint32_t v = 0;
            for (int i = 0; i < bytes; ++i)
                v |= uint32_t(p[i]) << (8 * (byteOrder == 0 ? i : bytes - 1 - i));
            const Rgb got{Channel(v, redMask), Channel(v, greenMask), Channel(v, blueMask)};
            const unsigned char* q = &shot[(size_t(y / scale) * png.width + x / scale) * 3];
            if (got.r != q[0] || got.g != q[1] || got.b != q[2]) {
                if (differing < 5)
                    std::fprintf(stderr,
                                 "pixel (%u, %u): window #%02X%02X%02X, shot #%02X%02X%02X\n", x, y,
                                 got.r, got.g, got.b, q[0], q[1], q[2]);
                ++differing;
            }
        }
    if (differing) {
        std::fprintf(stderr, "%ld of %u pixels differ\n", differing,
                     png.width * png.height * scale * scale);
        return 1;
    }
    std::printf("identical: %ux%u pixels at scale %d\n", png.width, png.height, scale);
    return 0;
}
