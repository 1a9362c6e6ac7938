// The headless backend: the window's handlers driven by the caller instead of a display.
#include "platform/headless.h"

bool THeadlessHost::Strip() {
    if (FHost.Closed() || !FHost.shape || !FHost.shape->OnMouseDown) return false;
    FHost.shape->OnMouseDown();
    return true;
}

void THeadlessHost::Close() {
    if (!FHost.Closed() && FHost.onClose) FHost.onClose();
}

bool THeadlessHost::Shot(const std::string& path, std::string& error) const {
    const std::vector<TColor> pixels = ComposeClient(FHost);
    if (pixels.empty()) {
        error = "empty client area";
        return false;
    }
    return WritePng(path, pixels.data(), FHost.clientWidth, FHost.clientHeight, error);
}
