#include "base/display_scale.h"

#include <windows.h>

namespace {

constexpr int kDesignDpi = 96;
constexpr int kToolbarImageAtDesignDpi = 24;

int ReadSystemDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kDesignDpi;
}

}  // namespace

int SystemDpi() {
    static const int dpi = ReadSystemDpi();
    return dpi;
}

int ScaleForDpi(int pixels) {
    return MulDiv(pixels, SystemDpi(), kDesignDpi);
}

int ToolbarImageSize() {
    return ScaleForDpi(kToolbarImageAtDesignDpi);
}

int ArtworkSizeFor(int wanted, const int* sizes, int count) {
    int best = 0;
    for (int i = 0; i < count; ++i) {
        if (sizes[i] >= wanted && (best < wanted || sizes[i] < best)) {
            best = sizes[i];
        } else if (best < wanted && sizes[i] > best) {
            best = sizes[i];
        }
    }
    return best;
}
