// Writing a picture to an RGB PNG file with libpng.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "platform/image.h"

namespace {

struct PngFailure {
    jmp_buf jump;
    char message[256];
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    longjmp(failure->jump, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors: libpng reports errors by longjmp.
bool WriteRows(FILE* file, png_bytep* rows, int width, int height, PngFailure& failure) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
    if (!png) {
        std::snprintf(failure.message, sizeof failure.message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(failure.message, sizeof failure.message, "out of memory");
        return false;
    }
    if (setjmp(failure.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool WritePng(const std::string& path, const TColor* pixels, int width, int height,
              std::string& error) {
    if (width <= 0 || height <= 0 || !pixels) {
        error = "cannot write " + path + ": empty picture";
        return false;
    }
    std::vector<png_byte> data(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        png_bytep row = data.data() + static_cast<size_t>(y) * width * 3;
        rows[y] = row;
        for (int x = 0; x < width; ++x) {
            TColor c = pixels[static_cast<size_t>(y) * width + x];
            row[3 * x] = static_cast<png_byte>(c & 0xFF);
            row[3 * x + 1] = static_cast<png_byte>((c >> 8) & 0xFF);
            row[3 * x + 2] = static_cast<png_byte>((c >> 16) & 0xFF);
        }
    }

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    PngFailure failure{};
    bool written = WriteRows(file, rows.data(), width, height, failure);
    bool closed = std::fclose(file) == 0;
    if (!written) {
        error = "cannot write " + path + ": " + failure.message;
        std::remove(path.c_str());
        return false;
    }
    if (!closed) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(path.c_str());
        return false;
    }
    error.clear();
    return true;
}
