// Where the frame stands in a window of any size and which frame pixel a window pixel shows.
// Shared by every window system; knows nothing of one and touches no pixels.
#pragma once

namespace screen {

// A window of `width` x `height` pixels shows the frame at `scale` window pixels per frame
// pixel, from (`left`, `top`), the rest black. Of the scaled picture, `shownWidth` x
// `shownHeight` window pixels fit into the window; in a window smaller than the frame that is
// the frame's top-left part, at scale 1.
struct FrameFit {
    int width = 0;
    int height = 0;
    int scale = 1;
    int left = 0;
    int top = 0;
    int shownWidth = 0;
    int shownHeight = 0;
};

// The largest whole scale that fits, at least 1, centred on each axis that has room for it and
// at its edge on an axis that does not. A size below one pixel counts as one pixel.
FrameFit FitFrame(int width, int height);

// Window coordinates to frame coordinates; false outside the part of the picture shown.
bool WindowToFrame(const FrameFit& fit, int& x, int& y);

}  // namespace screen
