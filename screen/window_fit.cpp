// The frame's place in the window, for every window system alike.
#include "screen/window_fit.h"

#include <algorithm>

#include "screen/graphics.h"

namespace screen {
namespace {

// The start of a scaled side of `length` pixels in `room` pixels: centred when it fits, else at
// the window's edge, so the frame's top-left part shows.
int Start(int room, int length) {
    return std::max(0, (room - length) / 2);
}

}  // namespace

FrameFit FitFrame(int width, int height) {
    FrameFit fit;
    fit.width = std::max(1, width);
    fit.height = std::max(1, height);
    fit.scale = std::max(1, std::min(fit.width / kWidth, fit.height / kHeight));
    fit.left = Start(fit.width, kWidth * fit.scale);
    fit.top = Start(fit.height, kHeight * fit.scale);
    fit.shownWidth = std::min(kWidth * fit.scale, fit.width - fit.left);
    fit.shownHeight = std::min(kHeight * fit.scale, fit.height - fit.top);
    return fit;
}

bool WindowToFrame(const FrameFit& fit, int& x, int& y) {
    const int right = x - fit.left;
    const int down = y - fit.top;
    if (right < 0 || down < 0 || right >= fit.shownWidth || down >= fit.shownHeight) return false;
    x = right / fit.scale;
    y = down / fit.scale;
    return true;
}

}  // namespace screen
