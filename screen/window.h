// The window-system seam: the one window that shows the frame buffer and feeds the key queue
// and the mouse state. Implemented once per window system (x11_window.cpp for X11); nothing
// else of the program talks to a window system.
#pragma once

namespace screen {

// Opens the window and its frame buffer. Without a display the program goes on: drawing does
// nothing, ReadPixel answers kNoPixel and PollMouse fails.
void OpenWindow(int width, int height, int depth);

}  // namespace screen
