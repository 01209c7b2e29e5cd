// The offscreen mode used by tests: the frame buffer without a window, and
// input written straight into the layer's input state.
#include "screen/offscreen.h"

#include "screen/frame_internal.h"
#include "screen/graphics.h"

namespace screen {

void OpenOffscreen() {
    AttachFrame();
}

void InjectKey(std::string_view code) {
    PushKey(code);
}

void InjectMouse(int x, int y, int buttons) {
    SetFocus(true);
    SetPointer(true, x, y, buttons);
}

void InjectMouseAway() {
    SetPointer(false, -1, -1, 0);
}

void InjectFocus(bool focused) {
    SetFocus(focused);
}

int QueuedKeyCount() {
    return PendingKeyCount();
}

void SetPausesEnabled(bool enabled) {
    SetPauses(enabled);
}

void ResetInput() {
    while (!ReadKey().empty()) {
    }
    InjectMouseAway();
}

}  // namespace screen
