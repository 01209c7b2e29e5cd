// The window-system seam: the one window that shows the frame buffer and feeds the key queue,
// the presses and the mouse state. Implemented once per window system (x11_window.cpp for X11);
// nothing else of the program talks to a window system.
#pragma once

#include <string>

namespace screen {

// Opens the window on the frame buffer of kWidth x kHeight pixels in `depth`-bit colour: twice
// as large on a screen set to high resolution, and shown at the largest whole scale that fits
// whenever the window grows. False, with the reason for the user in `problem` (naming the
// display tried), when there is no window to show.
bool OpenWindow(int depth, std::string& problem);

}  // namespace screen
