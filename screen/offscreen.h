// Test support: a live frame buffer without any window, with keys and mouse
// injected by the test. The program itself never calls these.
#pragma once

#include <string_view>

namespace screen {

// A black frame buffer that draws and reads back like the window's.
void OpenOffscreen();

void InjectKey(std::string_view code);
// The pointer inside the focused window at (x, y) with the given button mask; a
// button that was up in the last injected sample is pressed here.
void InjectMouse(int x, int y, int buttons);
// A press of `buttons` at (x, y) and their release there.
void InjectClick(int x, int y, int buttons);
// The pointer outside the window.
void InjectMouseAway();
// The window gains or loses the input focus; the pointer stays where it is.
void InjectFocus(bool focused);
// Keys waiting in the queue.
int QueuedKeyCount();
// Empties the key queue and the presses, clears the key-arrival flag and moves the
// pointer away.
void ResetInput();

// Simulations switch WaitMs and DelayMs to no-ops.
void SetPausesEnabled(bool enabled);

}  // namespace screen
