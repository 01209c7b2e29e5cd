// The offscreen mode used by tests: the frame buffer without a window, and
// input written straight into the layer's input state.
#include "screen/offscreen.h"

#include "screen/frame_internal.h"
#include "screen/graphics.h"

namespace screen {
namespace {

struct InjectedMouse {
    int buttons = 0;  // the buttons of the last injected sample
};

InjectedMouse injected;

}  // namespace

void OpenOffscreen() {
    AttachFrame();
}

void InjectKey(std::string_view code) {
    PushKey(code);
}

// A button that was up in the last sample went down here: that is a press.
void InjectMouse(int x, int y, int buttons) {
    SetFocus(true);
    SetPointer(true, x, y, buttons);
    if ((buttons & ~injected.buttons) != 0) PushPress(x, y, buttons);
    injected.buttons = buttons;
}

void InjectClick(int x, int y, int buttons) {
    InjectMouse(x, y, buttons);
    InjectMouse(x, y, 0);
}

void InjectMouseAway() {
    SetPointer(false, -1, -1, 0);
    injected.buttons = 0;
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
    DropPresses();
}

}  // namespace screen
