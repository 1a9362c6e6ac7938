// The window's whole-number scale and the enlargement of client pixels.
#include "platform/window_scale.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/input_text.h"

TScaleChoice ChooseWindowScale(const TScaleInputs& in) {
    TScaleChoice choice;
    if (in.forced && *in.forced) {
        int64_t forced = 0;
        if (ParseDecimal(in.forced, forced) == TDecimal::Ok && forced >= 1 &&
            forced <= MaxWindowScale) {
            choice.scale = static_cast<int>(forced);
            return choice;
        }
        // The environment may hold anything: the warning shows it on one short, printable line.
        choice.warning = "MELVARON_SCALE=" + QuotedInput(in.forced, 40, TShownBytes::Ascii) +
                         " is not a whole number from 1 to " + std::to_string(MaxWindowScale) +
                         "; the desktop's scale is used";
    }
    int scale = 1;
    if (in.desktopDpi && std::isfinite(*in.desktopDpi) && *in.desktopDpi > 0) {
        // Halves round up: a desktop at 150% gets the larger picture when it fits.
        const double units = std::floor(*in.desktopDpi / DpiPerScale + 0.5);
        scale = units < 1 ? 1 : units > MaxWindowScale ? MaxWindowScale : static_cast<int>(units);
    }
    if (in.usableWidth > 0 && in.usableHeight > 0)
        while (scale > 1 && (scale * in.clientWidth > in.usableWidth ||
                             scale * in.clientHeight > in.usableHeight))
            --scale;
    choice.scale = scale;
    return choice;
}

std::optional<double> XftDpi(const std::string& resources) {
    std::istringstream lines(resources);
    std::string line;
    std::optional<double> dpi;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        size_t b = 0, e = colon;
        while (b < e && (line[b] == ' ' || line[b] == '\t')) ++b;
        while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t')) --e;
        if (line.compare(b, e - b, "Xft.dpi") != 0) continue;
        const char* value = line.c_str() + colon + 1;
        char* end = nullptr;
        const double v = std::strtod(value, &end);
        while (end && (*end == ' ' || *end == '\t' || *end == '\r')) ++end;
        // The last entry wins, as in the resource database itself.
        if (end != value && end && *end == '\0' && std::isfinite(v) && v > 0)
            dpi = v;
        else
            dpi.reset();
    }
    return dpi;
}

void EnlargePixels(const uint8_t* from, int fromPitch, int width, int height, int bytesPerPixel,
                   int scale, uint8_t* to, int toPitch) {
    const size_t rowBytes = static_cast<size_t>(width) * scale * bytesPerPixel;
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = from + static_cast<std::ptrdiff_t>(y) * fromPitch;
        uint8_t* first = to + static_cast<std::ptrdiff_t>(y) * scale * toPitch;
        uint8_t* out = first;
        for (int x = 0; x < width; ++x, source += bytesPerPixel)
            for (int k = 0; k < scale; ++k, out += bytesPerPixel)
                std::memcpy(out, source, bytesPerPixel);
        for (int k = 1; k < scale; ++k)
            std::memcpy(first + static_cast<std::ptrdiff_t>(k) * toPitch, first, rowBytes);
    }
}
