// Synthetic input for the game window through the XTest extension: pointer
// motion and buttons at window coordinates, and keys by keysym. The X server
// turns these into the same events a real mouse and keyboard give, so the
// game's own event handling is exercised. Never reads pixels or processes.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

constexpr unsigned int kLeftButton = Button1;
constexpr unsigned int kRightButton = Button3;
constexpr int kUnshiftedLevel = 0;
constexpr int kShiftedLevel = 1;
constexpr KeySym kFirstPrintable = XK_space;
constexpr KeySym kLastPrintable = XK_asciitilde;

unsigned int XButton(Button button) {
    return button == Button::kLeft ? kLeftButton : kRightButton;
}

// Which level of its key a keysym sits on: 0 plain, 1 with Shift, -1 neither.
int KeyLevel(Display* display, KeyCode code, KeySym symbol) {
    int perCode = 0;
    KeySym* symbols = XGetKeyboardMapping(display, code, 1, &perCode);
    if (symbols == nullptr) return -1;
    int level = -1;
    if (perCode > kUnshiftedLevel && symbols[kUnshiftedLevel] == symbol) {
        level = kUnshiftedLevel;
    } else if (perCode > kShiftedLevel && symbols[kShiftedLevel] == symbol) {
        level = kShiftedLevel;
    }
    XFree(symbols);
    return level;
}

bool FakeKey(Display* display, KeyCode code, bool down) {
    const bool sent = XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime) != 0;
    XSync(display, False);
    return sent;
}

}  // namespace

bool MovePointer(Session& session, int x, int y) {
    Display* display = session.connection;
    int rootX = 0, rootY = 0;
    if (!WindowToRoot(session, x, y, rootX, rootY)) return false;
    const bool sent =
        XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime) != 0;
    XSync(display, False);
    return sent;
}

bool PressButton(Session& session, Button button) {
    const bool sent = XTestFakeButtonEvent(session.connection, XButton(button), True, CurrentTime);
    XSync(session.connection, False);
    return sent;
}

bool ReleaseButton(Session& session, Button button) {
    const bool sent = XTestFakeButtonEvent(session.connection, XButton(button), False, CurrentTime);
    XSync(session.connection, False);
    return sent;
}

// The game samples the button state instead of reading click events, so a
// click is held until its effect shows rather than for a guessed time.
bool ClickUntil(Session& session, int x, int y, Button button, const FrameCheck& seen,
                Frame& last) {
    if (!MovePointer(session, x, y) || !PressButton(session, button)) return false;
    const bool shown = WaitForFrame(session, seen, kFrameTimeoutMs, last);
    const bool released = ReleaseButton(session, button);
    return shown && released;
}

bool PressKey(Session& session, XKeySym symbol) {
    Display* display = session.connection;
    const KeyCode code = XKeysymToKeycode(display, symbol);
    const int level = code == 0 ? -1 : KeyLevel(display, code, symbol);
    if (level < 0) return false;
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    const bool shifted = level == kShiftedLevel;
    bool sent = !shifted || FakeKey(display, shift, true);
    sent = sent && FakeKey(display, code, true) && FakeKey(display, code, false);
    if (shifted) sent = FakeKey(display, shift, false) && sent;
    return sent;
}

bool PressNamedKey(Session& session, const char* name) {
    const KeySym symbol = XStringToKeysym(name);
    return symbol != NoSymbol && PressKey(session, symbol);
}

namespace {

// The last key code the server knows, which no standard layout uses: the harness puts
// keysyms there that no key carries.
KeyCode SpareKey(Display* display) {
    int low = 0, high = 0;
    XDisplayKeycodes(display, &low, &high);
    return static_cast<KeyCode>(high);
}

// The game's window learns of the new mapping from a MappingNotify; a key pressed before it
// has read that would still carry the old symbol.
constexpr std::chrono::milliseconds kMappingSettles{200};

// Xlib keeps its own copy of the mapping, which the new one must replace.
bool PutOnSpareKey(Display* display, KeySym symbol) {
    KeySym symbols[] = {symbol, symbol};
    const KeyCode spare = SpareKey(display);
    XChangeKeyboardMapping(display, spare, 2, symbols, 1);
    XSync(display, False);
    XMappingEvent changed{};
    changed.type = MappingNotify;
    changed.display = display;
    changed.request = MappingKeyboard;
    changed.first_keycode = spare;
    changed.count = 1;
    XRefreshKeyboardMapping(&changed);
    std::this_thread::sleep_for(kMappingSettles);
    return XKeysymToKeycode(display, symbol) != 0;
}

}  // namespace

bool TypeKeysyms(Session& session, const std::vector<XKeySym>& symbols, int pauseMs) {
    for (const XKeySym symbol : symbols) {
        if (XKeysymToKeycode(session.connection, symbol) == 0 &&
            !PutOnSpareKey(session.connection, symbol)) {
            return false;
        }
        if (!PressKey(session, symbol)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    return true;
}

// Printable ASCII characters are their own Latin-1 keysyms.
bool TypeText(Session& session, std::string_view text, int pauseMs) {
    for (const char c : text) {
        const auto symbol = static_cast<KeySym>(static_cast<unsigned char>(c));
        if (symbol < kFirstPrintable || symbol > kLastPrintable) return false;
        if (!PressKey(session, symbol)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    return true;
}

}  // namespace e2e
