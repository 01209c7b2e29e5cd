// The window on the X server: the only file that includes Xlib. One thread opens the display,
// owns every Xlib call, turns X events into the layer's key queue (the key codes come from
// keys.h), presses and mouse state, and copies the rows of the frame buffer that changed to the
// window when the pace allows (refresh_plan.h), at the largest whole scale the window's size
// allows and clipped to a smaller one (window_fit.h). It never draws into the frame buffer.
#include "screen/window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "screen/frame_internal.h"
#include "screen/graphics.h"
#include "screen/icon.h"
#include "screen/keys.h"
#include "screen/refresh_plan.h"
#include "screen/window_fit.h"

namespace screen {
namespace {

constexpr int kWaitForever = -1;
constexpr int kLostWindowRepeatMs = 300;
constexpr int kWakeBufferBytes = 64;
constexpr int kImageBitsPerPixel = 32;
constexpr int kBytesPerPixel = kImageBitsPerPixel / 8;
constexpr char kWindowTitle[] = "Marevant";
constexpr char kClassName[] = "marevant";
constexpr char kClassClass[] = "Marevant";
constexpr int kIconSizes[] = {32, 48};
constexpr int kHostNameBytes = 256;
// A display set to this many dots per inch or more gets the window at twice the size.
constexpr double kHighDpi = 192.0;
constexpr int kHighDpiScale = 2;
constexpr char kDpiResource[] = "Xft.dpi:";
constexpr std::uint32_t kBorderPixel = 0x000000;
constexpr long kEventMask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | EnterWindowMask | LeaveWindowMask |
                            FocusChangeMask | StructureNotifyMask;

using Clock = std::chrono::steady_clock;

enum class StartState { kStarting, kOpen, kFailed };

struct WindowState {
    // Start-up hand-over between OpenWindow and the window thread.
    std::mutex startLock;
    std::condition_variable startSignal;
    StartState start = StartState::kStarting;
    std::string problem;  // why the start failed, for the user
    int depth = 0;        // of the colours asked for; set before the window thread starts
    // Owned by the window thread once it runs.
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    XVisualInfo visual{};
    XImage* image = nullptr;  // the whole window's picture
    bool directCopy = false;  // the image's pixel layout is 0x00RRGGBB
    std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(kWidth * kHeight);
    // The frame as the window shows it, once the window shows one: only rows that differ go out.
    std::vector<std::uint32_t> shown = std::vector<std::uint32_t>(kWidth * kHeight);
    bool shownValid = false;
    FrameFit placement = FitFrame(kWidth, kHeight);
    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    bool pointerInside = false;
    // Keys reach the window when it holds the focus itself, or when the focus
    // is on an ancestor (the root under PointerRoot, with no window manager)
    // and the pointer is inside it.
    bool focusOwned = false;
    bool focusThroughPointer = false;
    bool exposed = false;
    // Drawing threads announce frame changes through this pipe.
    int wakePipe[2] = {-1, -1};
    bool changePending = false;
    RefreshPace pace;
};

WindowState win;

struct KeypadKey {
    KeySym symbol;
    SpecialKey key;
};

constexpr KeypadKey kSpecialKeys[] = {
    {XK_Up, SpecialKey::kUp},
    {XK_Down, SpecialKey::kDown},
    {XK_Left, SpecialKey::kLeft},
    {XK_Right, SpecialKey::kRight},
    {XK_Insert, SpecialKey::kInsert},
    {XK_Delete, SpecialKey::kDelete},
    {XK_Home, SpecialKey::kHome},
    {XK_End, SpecialKey::kEnd},
    {XK_Prior, SpecialKey::kPageUp},
    {XK_Next, SpecialKey::kPageDown},
    {XK_KP_Up, SpecialKey::kUp},
    {XK_KP_Down, SpecialKey::kDown},
    {XK_KP_Left, SpecialKey::kLeft},
    {XK_KP_Right, SpecialKey::kRight},
    {XK_KP_Insert, SpecialKey::kInsert},
    {XK_KP_Delete, SpecialKey::kDelete},
    {XK_KP_Home, SpecialKey::kHome},
    {XK_KP_End, SpecialKey::kEnd},
    {XK_KP_Prior, SpecialKey::kPageUp},
    {XK_KP_Next, SpecialKey::kPageDown},
    {XK_F1, SpecialKey::kF1},
    {XK_F2, SpecialKey::kF2},
    {XK_F3, SpecialKey::kF3},
    {XK_F4, SpecialKey::kF4},
    {XK_F5, SpecialKey::kF5},
    {XK_F6, SpecialKey::kF6},
    {XK_F7, SpecialKey::kF7},
    {XK_F8, SpecialKey::kF8},
    {XK_F9, SpecialKey::kF9},
    {XK_F10, SpecialKey::kF10},
};

constexpr KeySym kLatin1First = 0x20;
constexpr KeySym kLatin1Last = 0xFF;
// Keysyms of other Unicode characters carry the code point below this flag.
constexpr KeySym kUnicodeKeysymFlag = 0x01000000;
// Keypad symbols that lie 0xFF80 above the ASCII of the character they type.
constexpr KeySym kKeypadAsciiFirst = XK_KP_Multiply;
constexpr KeySym kKeypadAsciiLast = XK_KP_9;
constexpr KeySym kKeypadOffset = 0xFF80;

// The character a keysym types; 0 for none.
char32_t CharacterOf(KeySym symbol) {
    switch (symbol) {
        case XK_Return:
        case XK_KP_Enter:
            return '\r';
        case XK_BackSpace:
            return '\b';
        case XK_Escape:
            return 0x1B;
        case XK_Tab:
        case XK_ISO_Left_Tab:
        case XK_KP_Tab:
            return '\t';
        case XK_KP_Space:
            return ' ';
        case XK_KP_Equal:
            return '=';
        default:
            break;
    }
    if (symbol >= kLatin1First && symbol <= kLatin1Last) return static_cast<char32_t>(symbol);
    if ((symbol & kUnicodeKeysymFlag) != 0)
        return static_cast<char32_t>(symbol & ~kUnicodeKeysymFlag);
    if (symbol >= kKeypadAsciiFirst && symbol <= kKeypadAsciiLast)
        return static_cast<char32_t>(symbol - kKeypadOffset);
    return 0;
}

// A special key by its table, a character as the code page 437 byte that shows it; nothing
// for a key the game ignores or a character the code page lacks.
std::string KeyCodeForKeysym(KeySym symbol) {
    for (const KeypadKey& entry : kSpecialKeys) {
        if (entry.symbol == symbol) return SpecialKeyCode(entry.key);
    }
    const char32_t character = CharacterOf(symbol);
    return character == 0 ? std::string() : KeyCodeForCharacter(character);
}

int MaskFromState(unsigned int state) {
    return ((state & Button1Mask) ? kButtonLeft : 0) | ((state & Button3Mask) ? kButtonRight : 0) |
           ((state & Button2Mask) ? kButtonMiddle : 0);
}

int MaskForButton(unsigned int button) {
    switch (button) {
        case Button1:
            return kButtonLeft;
        case Button3:
            return kButtonRight;
        case Button2:
            return kButtonMiddle;
        default:
            return 0;
    }
}

// The icon in two sizes, the process and the host, so task bars and window
// lists show the window as this program's. Format-32 properties travel as longs.
void SetDesktopProperties() {
    std::vector<long> icon;
    for (int size : kIconSizes) {
        icon.push_back(size);
        icon.push_back(size);
        for (std::uint32_t pixel : RenderIcon(size))
            icon.push_back(static_cast<long>(pixel));
    }
    const Atom netWmIcon = XInternAtom(win.display, "_NET_WM_ICON", False);
    XChangeProperty(win.display, win.window, netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(icon.data()), static_cast<int>(icon.size()));
    const long pid = getpid();
    const Atom netWmPid = XInternAtom(win.display, "_NET_WM_PID", False);
    XChangeProperty(win.display, win.window, netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    char host[kHostNameBytes] = {};
    if (gethostname(host, sizeof host - 1) != 0) return;
    char* hostList[] = {host};
    XTextProperty machine{};
    if (XStringListToTextProperty(hostList, 1, &machine) == 0) return;
    XSetWMClientMachine(win.display, win.window, &machine);
    XFree(machine.value);
}

// No maximum size: a window manager may maximise the window or show it full screen, and the
// picture then grows by whole steps.
void SetWindowProperties() {
    XSizeHints* size = XAllocSizeHints();
    size->flags = PMinSize;
    size->min_width = kWidth;
    size->min_height = kHeight;
    XSetWMNormalHints(win.display, win.window, size);
    XFree(size);
    XWMHints* wm = XAllocWMHints();
    wm->flags = InputHint;
    wm->input = True;
    XSetWMHints(win.display, win.window, wm);
    XFree(wm);
    XClassHint* cls = XAllocClassHint();
    std::string name = kClassName, klass = kClassClass;
    cls->res_name = name.data();
    cls->res_class = klass.data();
    XSetClassHint(win.display, win.window, cls);
    XFree(cls);
    XStoreName(win.display, win.window, kWindowTitle);
    SetDesktopProperties();
    win.wmProtocols = XInternAtom(win.display, "WM_PROTOCOLS", False);
    win.wmDeleteWindow = XInternAtom(win.display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(win.display, win.window, &win.wmDeleteWindow, 1);
}

void DestroyImage() {
    if (win.image != nullptr) XDestroyImage(win.image);
    win.image = nullptr;
}

// An image as large as the window; Xlib frees its pixels with it. Without memory for a new one
// the old image stays, with the placement it was made for.
bool CreateImage(int width, int height) {
    auto* data =
        static_cast<char*>(std::calloc(static_cast<std::size_t>(width) * height, kBytesPerPixel));
    if (data == nullptr) return false;
    XImage* image = XCreateImage(win.display, win.visual.visual, win.visual.depth, ZPixmap, 0, data,
                                 width, height, kImageBitsPerPixel, 0);
    if (image == nullptr) {
        std::free(data);
        return false;
    }
    DestroyImage();
    win.image = image;
    win.directCopy = win.image->bits_per_pixel == kImageBitsPerPixel &&
                     win.image->byte_order == LSBFirst && win.image->red_mask == 0xFF0000 &&
                     win.image->green_mask == 0x00FF00 && win.image->blue_mask == 0x0000FF;
    return true;
}

// Window coordinates to frame coordinates; false over the black border or outside the picture.
bool ToFrame(int& x, int& y) {
    return WindowToFrame(win.placement, x, y);
}

// The first report counts: a display lost while the window is being set up
// fails the start, and later reports change nothing.
void ReportStart(StartState state) {
    std::lock_guard guard(win.startLock);
    if (win.start != StartState::kStarting) return;
    win.start = state;
    win.startSignal.notify_all();
}

// The connection to the X server is gone, so no picture and no input will come
// again. The game hears it as the user closing the window, repeatedly, because
// some loops take a close request without ending the program. Returning would
// let Xlib end the process at once, with threads still running. During set-up
// the window counts as opened and lost at once.
int WindowLost(Display*) {
    ReportStart(StartState::kOpen);
    SetFocus(false);
    SetPointer(false, -1, -1, 0);
    for (;;) {
        PushKey(kCloseRequest);
        std::this_thread::sleep_for(std::chrono::milliseconds(kLostWindowRepeatMs));
    }
}

// The Xft.dpi resource, as desktops set it for their high-resolution screens; 0 when unset.
double DisplayDpi() {
    const char* resources = XResourceManagerString(win.display);
    if (resources == nullptr) return 0;
    const char* entry = std::strstr(resources, kDpiResource);
    return entry == nullptr ? 0 : std::strtod(entry + std::strlen(kDpiResource), nullptr);
}

bool Fail(const std::string& problem) {
    win.problem = problem;
    return false;
}

bool OpenDisplayWindow(int depth) {
    XSetIOErrorHandler(WindowLost);
    win.display = XOpenDisplay(nullptr);
    if (win.display == nullptr) {
        const std::string name = XDisplayName(nullptr);
        return Fail(name.empty() ? "no X display to open: DISPLAY is not set"
                                 : "cannot open the X display \"" + name + "\"");
    }
    const int screenNumber = DefaultScreen(win.display);
    const Window root = RootWindow(win.display, screenNumber);
    if (!XMatchVisualInfo(win.display, screenNumber, depth, TrueColor, &win.visual)) {
        XCloseDisplay(win.display);
        return Fail("the X display has no " + std::to_string(depth) + "-bit colour");
    }
    const int scale = DisplayDpi() >= kHighDpi ? kHighDpiScale : 1;
    win.placement = FitFrame(kWidth * scale, kHeight * scale);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(win.display, root, win.visual.visual, AllocNone);
    attributes.event_mask = kEventMask;
    win.window = XCreateWindow(win.display, root, 0, 0, win.placement.width, win.placement.height,
                               0, win.visual.depth, InputOutput, win.visual.visual,
                               CWColormap | CWBorderPixel | CWEventMask, &attributes);
    SetWindowProperties();
    win.gc = XCreateGC(win.display, win.window, 0, nullptr);
    if (!CreateImage(win.placement.width, win.placement.height)) {
        XCloseDisplay(win.display);
        return Fail("no memory for the window's picture");
    }
    XMapWindow(win.display, win.window);
    XFlush(win.display);
    return true;
}

std::uint32_t ToImagePixel(std::uint32_t rgb) {
    const XImage& image = *win.image;
    const auto place = [](std::uint32_t channel, unsigned long mask) {
        return (channel << std::countr_zero(mask)) & mask;
    };
    return place(rgb >> 16 & 0xFF, image.red_mask) | place(rgb >> 8 & 0xFF, image.green_mask) |
           place(rgb & 0xFF, image.blue_mask);
}

void PutPixel(int x, int y, std::uint32_t rgb) {
    if (win.directCopy) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(win.image->data + y * win.image->bytes_per_line);
        row[x] = rgb;
    } else {
        XPutPixel(win.image, x, y, ToImagePixel(rgb));
    }
}

// Draws frame rows [first, end) into the window's image, each pixel as a square of `scale`
// pixels, clipped to the part of the picture that fits; returns the image rows drawn.
RowBand RenderRows(int first, int end) {
    const FrameFit& p = win.placement;
    const int top = std::min(first * p.scale, p.shownHeight);
    const int bottom = std::min(end * p.scale, p.shownHeight);
    for (int y = top; y < bottom; ++y) {
        const std::uint32_t* source = &win.frame[(y / p.scale) * kWidth];
        for (int x = 0; x < p.shownWidth; ++x)
            PutPixel(p.left + x, p.top + y, source[x / p.scale]);
    }
    return {p.top + top, p.top + bottom};
}

// The whole image: the last complete frame on black. The image is exactly the placement's size.
void RenderImage() {
    const FrameFit& p = win.placement;
    const bool bordered = p.shownWidth < p.width || p.shownHeight < p.height;
    for (int y = 0; y < p.height && bordered; ++y) {
        for (int x = 0; x < p.width; ++x)
            PutPixel(x, y, kBorderPixel);
    }
    RenderRows(0, kHeight);
}

void PutImageRows(const RowBand& rows) {
    if (rows.end <= rows.first) return;
    XPutImage(win.display, win.window, win.gc, win.image, 0, rows.first, 0, rows.first,
              win.image->width, rows.end - rows.first);
}

// An expose repaints the last complete frame shown, never a half-drawn group. Otherwise only
// the rows that changed go to the X server: a progress bar's step is a few rows, not the
// whole picture.
void Refresh() {
    const bool changed = CopyFrameIfChanged(win.frame.data());
    if (!changed && !win.exposed) return;
    if (win.exposed || !win.shownValid) {
        win.exposed = false;
        RenderImage();
        PutImageRows({0, win.image->height});
    } else {
        for (const RowBand& band : ChangedRows(win.shown.data(), win.frame.data()))
            PutImageRows(RenderRows(band.first, band.end));
    }
    win.shown = win.frame;
    win.shownValid = true;
    XFlush(win.display);
}

// A new size takes a new image; the next refresh draws it whole.
void HandleResize(int width, int height) {
    const FrameFit fit = FitFrame(width, height);
    if (fit.width == win.placement.width && fit.height == win.placement.height) return;
    if (!CreateImage(fit.width, fit.height)) return;
    win.placement = fit;
    win.exposed = true;
}

void ShowPointer(bool inside, int x, int y, int buttons) {
    const bool onFrame = ToFrame(x, y);
    SetPointer(inside && onFrame, onFrame ? x : -1, onFrame ? y : -1, buttons);
}

void HandleButton(const XButtonEvent& b, bool pressed) {
    const int change = MaskForButton(b.button);
    const int held = MaskFromState(b.state);
    const int mask = pressed ? held | change : held & ~change;
    ShowPointer(win.pointerInside, b.x, b.y, mask);
    int x = b.x;
    int y = b.y;
    if (pressed && change != 0 && ToFrame(x, y)) PushPress(x, y, mask);
}

void HandleKey(XKeyEvent& event) {
    char text[8];
    KeySym symbol = NoSymbol;
    XLookupString(&event, text, sizeof text, &symbol, nullptr);
    const std::string code = KeyCodeForKeysym(symbol);
    if (!code.empty()) PushKey(code);
}

void ShowFocus() {
    SetFocus(win.focusOwned || win.focusThroughPointer);
}

// A crossing event says whether the focus lies on this window or one of its
// ancestors; once the pointer has left, keys no longer come through it.
void HandleCrossing(const XCrossingEvent& crossing) {
    win.pointerInside = crossing.type == EnterNotify;
    win.focusThroughPointer = win.pointerInside && crossing.focus != False;
    ShowPointer(win.pointerInside, crossing.x, crossing.y, MaskFromState(crossing.state));
    ShowFocus();
}

// NotifyPointer events tell that keys start or stop coming through the
// pointer; the others, that the focus window itself is or is no longer ours.
void HandleFocusChange(const XFocusChangeEvent& change) {
    const bool gained = change.type == FocusIn;
    if (change.detail == NotifyPointer) {
        win.focusThroughPointer = gained;
    } else if (gained || change.detail != NotifyInferior) {
        win.focusOwned = gained;
    }
    ShowFocus();
}

void HandleEvent(XEvent& event) {
    switch (event.type) {
        case KeyPress:
            HandleKey(event.xkey);
            break;
        case ButtonPress:
        case ButtonRelease:
            HandleButton(event.xbutton, event.type == ButtonPress);
            break;
        case MotionNotify:
            ShowPointer(win.pointerInside, event.xmotion.x, event.xmotion.y,
                        MaskFromState(event.xmotion.state));
            break;
        case ConfigureNotify:
            HandleResize(event.xconfigure.width, event.xconfigure.height);
            break;
        case EnterNotify:
        case LeaveNotify:
            HandleCrossing(event.xcrossing);
            break;
        case FocusIn:
        case FocusOut:
            HandleFocusChange(event.xfocus);
            break;
        case Expose:
            win.exposed = win.exposed || event.xexpose.count == 0;
            break;
        case MappingNotify:
            XRefreshKeyboardMapping(&event.xmapping);
            break;
        case ClientMessage:
            if (event.xclient.message_type == win.wmProtocols &&
                static_cast<Atom>(event.xclient.data.l[0]) == win.wmDeleteWindow) {
                PushKey(kCloseRequest);
            }
            break;
        default:
            break;
    }
}

// Runs on whatever thread draws, under the frame's lock: one byte wakes the
// window thread; a full pipe already holds a wake-up, so a failed write is fine.
void WakeForChange() {
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = write(win.wakePipe[1], &wake, 1);
}

void DrainWakePipe() {
    char bytes[kWakeBufferBytes];
    while (read(win.wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

void HandlePendingEvents() {
    while (XPending(win.display) > 0) {
        XEvent event;
        XNextEvent(win.display, &event);
        HandleEvent(event);
    }
}

// Shows a change when the pace allows, so a burst of drawing costs few copies; returns how
// long to sleep before the next copy is due.
int RefreshWhenDue() {
    if (!win.changePending && !win.exposed) return kWaitForever;
    const auto now = Clock::now();
    const auto wait = WaitBeforeRefresh(win.pace, now);
    if (wait.count() > 0) return static_cast<int>(wait.count());
    win.changePending = false;
    Refresh();
    NoteRefresh(win.pace, now);
    return kWaitForever;
}

// Sleeps until an X event arrives or the frame changes: an idle game wakes
// this thread not at all.
void RunEventLoop() {
    pollfd sources[] = {{ConnectionNumber(win.display), POLLIN, 0}, {win.wakePipe[0], POLLIN, 0}};
    for (;;) {
        HandlePendingEvents();
        int timeout = RefreshWhenDue();
        if (XEventsQueued(win.display, QueuedAlready) > 0) timeout = 0;
        poll(sources, std::size(sources), timeout);
        if (sources[1].revents & POLLIN) {
            DrainWakePipe();
            win.changePending = true;
        }
    }
}

void WindowThread() {
    const int depth = win.depth;
    if (pipe2(win.wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) Fail("no pipe for the window thread");
    if (!win.problem.empty() || !OpenDisplayWindow(depth)) {
        ReportStart(StartState::kFailed);
        return;
    }
    SetFrameChangeListener(WakeForChange);
    ReportStart(StartState::kOpen);
    RunEventLoop();
}

}  // namespace

bool OpenWindow(int depth, std::string& problem) {
    win.depth = depth;
    ThreadRelease(ThreadCreate(WindowThread));
    std::unique_lock lock(win.startLock);
    win.startSignal.wait(lock, [] { return win.start != StartState::kStarting; });
    if (win.start != StartState::kOpen) {
        problem = win.problem;
        return false;
    }
    AttachFrame();
    return true;
}

}  // namespace screen
