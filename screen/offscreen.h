// Test support: a live frame buffer without any window, with keys and mouse
// injected by the test. The program itself never calls these.
#pragma once

#include <string_view>

namespace screen {

// A black frame buffer that draws and reads back like the window's.
void OpenOffscreen();

void InjectKey(std::string_view code);
// The pointer inside the focused window at (x, y) with the given button mask.
void InjectMouse(int x, int y, int buttons);
// The pointer outside the window.
void InjectMouseAway();
// The window gains or loses the input focus; the pointer stays where it is.
void InjectFocus(bool focused);
// Keys waiting in the queue.
int QueuedKeyCount();
// Empties the key queue, clears the key-arrival flag and moves the pointer away.
void ResetInput();

// Simulations switch WaitMs and DelayMs to no-ops.
void SetPausesEnabled(bool enabled);

}  // namespace screen
