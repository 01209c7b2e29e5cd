// Hooks between the frame buffer, the input state and whatever shows them: the X
// window or the offscreen test frame. Game code never includes this header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace screen {

// Makes the frame buffer live: black, drawable and readable.
void AttachFrame();

// Copies the frame into `out` (kWidth * kHeight pixels, 0x00RRGGBB) when it has
// changed since the last copy and no BeginUpdate group is open.
bool CopyFrameIfChanged(std::uint32_t* out);

// Called, under the frame's lock and so without blocking, when the frame has
// changed since the last copy and the change can be shown (no group open).
// It is called once per such change, and again after a declined copy.
void SetFrameChangeListener(void (*listener)());

// Input as the window system reports it.
void PushKey(std::string_view code);
void SetFocus(bool focused);
void SetPointer(bool inside, int x, int y, int buttons);
// A button went down at (x, y); `buttons` holds every button down now.
void PushPress(int x, int y, int buttons);

// For the offscreen test frame: keys waiting, and pauses switched off.
int PendingKeyCount();
void SetPauses(bool enabled);

}  // namespace screen
