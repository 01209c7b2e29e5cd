// The private X server, the game process on it and the lookup of its window.
// Owns the Xlib error handler of the test process, which lets every failed
// request report through its own return value instead of ending the test
// process. Never sends input; that is x_input.cpp.
#include "tests/e2e/x_harness.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/e2e/child_process.h"

namespace e2e {
namespace {

constexpr char kServerProgram[] = "Xvfb";
constexpr std::string_view kWindowsSuffix = ".exe";
constexpr char kWineRun[] = MAREVANT_WINE_RUN;
constexpr char kWindowsClass[] = "marevant.exe";
constexpr char kServerScreen[] = "640x480x24";
constexpr int kWindowPollMs = 10;
constexpr int kFilePollMs = 20;
constexpr int kServerPollMs = 10;
constexpr int kFirstDisplay = 10;  // below it, displays a developer's own session may use
constexpr int kDisplaysTried = 190;  // the relay's TCP displays begin at 200
constexpr char kLockPrefix[] = "/tmp/.X";
constexpr char kLockSuffix[] = "-lock";
constexpr unsigned long kCoverPixel = 0xFF0000;  // red on the 24-bit TrueColor screen
constexpr long kMaxPropertyLongs = 1 << 20;
constexpr char kScratchPattern[] = "marevant-e2e-XXXXXX";
constexpr int kOtherWindowX = 500;
constexpr int kOtherWindowY = 420;
constexpr unsigned int kOtherWindowSize = 40;

// Xlib's default handler exits the process; a window that vanishes while
// it is inspected is expected, and every caller checks its call's result.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

using Clock = std::chrono::steady_clock;

Clock::time_point Deadline(int timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool HasClass(Display* display, Window window, const char* resName, const char* resClass) {
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) == 0) return false;
    const bool match = hint.res_name != nullptr && hint.res_class != nullptr &&
                       std::string(hint.res_name) == resName &&
                       std::string(hint.res_class) == resClass;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

bool WindowViewable(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

// The viewable one: Wine gives the helper windows of a program the program's class too.
Window FindTopLevel(Display* display, const char* resName, const char* resClass) {
    Window root = 0, parent = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return 0;
    }
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        if (HasClass(display, children[i], resName, resClass) &&
            WindowViewable(display, children[i])) {
            found = children[i];
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

bool AcceptsDeleteWindow(Display* display, Window window) {
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom* protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(display, window, &protocols, &count) == 0) return false;
    bool found = false;
    for (int i = 0; i < count; ++i)
        found = found || protocols[i] == deleteWindow;
    XFree(protocols);
    return found;
}

void ReadNames(Display* display, Window window, WindowFacts& facts) {
    char* title = nullptr;
    if (XFetchName(display, window, &title) != 0 && title != nullptr) {
        facts.title = title;
        XFree(title);
    }
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) == 0) return;
    facts.resName = hint.res_name != nullptr ? hint.res_name : "";
    facts.resClass = hint.res_class != nullptr ? hint.res_class : "";
    XFree(hint.res_name);
    XFree(hint.res_class);
}

void ReadSizeHints(Display* display, Window window, WindowFacts& facts) {
    XSizeHints size{};
    long supplied = 0;
    if (XGetWMNormalHints(display, window, &size, &supplied) == 0) return;
    facts.hasMinSize = (size.flags & PMinSize) != 0;
    facts.hasMaxSize = (size.flags & PMaxSize) != 0;
    facts.minWidth = size.min_width;
    facts.minHeight = size.min_height;
    facts.maxWidth = size.max_width;
    facts.maxHeight = size.max_height;
}

// A format-32 property as the longs Xlib hands them out.
std::vector<long> ReadCardinals(Display* display, Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom property = XInternAtom(display, name, False);
    std::vector<long> values;
    if (XGetWindowProperty(display, window, property, 0, kMaxPropertyLongs, False, XA_CARDINAL,
                           &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == 32) {
        const long* longs = reinterpret_cast<const long*>(data);
        values.assign(longs, longs + count);
    }
    if (data != nullptr) XFree(data);
    return values;
}

void ReadDesktopFacts(Display* display, Window window, WindowFacts& facts) {
    const std::vector<long> icon = ReadCardinals(display, window, "_NET_WM_ICON");
    for (std::size_t at = 0; at + 2 <= icon.size();) {
        WindowFacts::Icon image{static_cast<int>(icon[at]), static_cast<int>(icon[at + 1]), {}};
        const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
        at += 2;
        if (at + count > icon.size()) break;
        for (std::size_t i = 0; i < count; ++i)
            image.pixels.push_back(static_cast<std::uint32_t>(icon[at + i]));
        at += count;
        facts.icons.push_back(std::move(image));
    }
    const std::vector<long> pid = ReadCardinals(display, window, "_NET_WM_PID");
    facts.pid = pid.empty() ? 0 : pid.front();
    XTextProperty machine{};
    if (XGetWMClientMachine(display, window, &machine) != 0 && machine.value != nullptr) {
        facts.clientMachine = reinterpret_cast<const char*>(machine.value);
        XFree(machine.value);
    }
}

}  // namespace

std::string MakeScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / kScratchPattern).string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::string MakeWorkingFolders(Session& server, Session& client) {
    const std::string base = MakeScratchDirectory();
    if (base.empty()) return base;
    const std::filesystem::path top = base;
    for (auto [session, name] : {std::pair{&server, "server"}, std::pair{&client, "client"}}) {
        std::filesystem::create_directory(top / name);
        session->directory = (top / name).string();
    }
    return base;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool FileBecomes(const std::string& path, const std::string& expected, int timeoutMs) {
    const auto deadline = Deadline(timeoutMs);
    for (; Clock::now() < deadline; Pause(kFilePollMs)) {
        if (std::filesystem::exists(path) && ReadWholeFile(path) == expected) return true;
    }
    return false;
}

// The pid in a display's lock file, or -1 while there is none to read.
pid_t LockOwner(int number) {
    std::ifstream lock(kLockPrefix + std::to_string(number) + kLockSuffix);
    pid_t owner = -1;
    return lock >> owner ? owner : -1;
}

// Ready once our server holds the display's lock and takes a connection. Connecting before the
// lock is ours could reach another namespace's server through the shared socket file.
bool AwaitXServer(pid_t& pid, int number) {
    const std::string name = ":" + std::to_string(number);
    for (const auto deadline = Deadline(kServerStartTimeoutMs); Clock::now() < deadline;
         Pause(kServerPollMs)) {
        if (WaitForChild(pid, 0) != kStillRunning) {
            pid = -1;  // reaped: no signal may reach a process that takes the number later
            return false;
        }
        if (LockOwner(number) != pid) continue;
        if (Display* probe = XOpenDisplay(name.c_str())) {
            XCloseDisplay(probe);
            return true;
        }
    }
    return false;
}

// Each server is given its display number: a server left to pick a free number itself takes
// no lock and may, from another network namespace, take over and then remove the socket file of
// a busy display, stranding that display's clients outside its namespace. A given number is
// locked before any socket is made; a server that finds it taken ends, and the next is tried.
// Without -noreset the readiness probe, leaving as the server's only client, would reset the
// server under the session's own first connection.
bool StartXServerOn(XServer& server, int number) {
    ChildOptions options;
    options.argv = {kServerProgram, ":" + std::to_string(number), "-screen", "0",
                    server.screen.empty() ? kServerScreen : server.screen,
                    "-nolisten", "tcp", "-noreset"};
    options.quiet = true;
    server.pid = StartChild(options);
    if (server.pid > 0 && AwaitXServer(server.pid, number)) {
        server.display = ":" + std::to_string(number);
        return true;
    }
    StopChild(server.pid, false);
    return false;
}

// A lock whose owner is gone (a server that was killed) is stale: the next server clears it.
bool DisplayFree(int number) {
    const pid_t owner = LockOwner(number);
    return owner <= 0 || (kill(owner, 0) != 0 && errno == ESRCH);
}

bool StartXServer(XServer& server) {
    for (int number = kFirstDisplay; number < kFirstDisplay + kDisplaysTried; ++number) {
        if (DisplayFree(number) && StartXServerOn(server, number)) return true;
    }
    return false;
}

bool ConnectToServer(Session& session) {
    XSetErrorHandler(IgnoreXError);
    session.connection = XOpenDisplay(session.server.display.c_str());
    if (session.connection == nullptr) return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return XTestQueryExtension(session.connection, &eventBase, &errorBase, &major, &minor) != 0;
}

bool IsWindowsProgram(std::string_view binary) {
    return binary.ends_with(kWindowsSuffix);
}

// A Windows program runs under Wine, in the project's own prefix.
bool StartGame(Session& session, const char* binary) {
    ChildOptions options;
    options.argv = IsWindowsProgram(binary) ? std::vector<std::string>{kWineRun, binary}
                                            : std::vector<std::string>{binary};
    options.display = session.server.display;
    options.directory = session.directory;
    options.networkNamespaceFd = session.networkNamespaceFd;
    session.game = StartChild(options);
    return session.game > 0;
}

bool FindWindowByClass(Session& session, const char* resName, const char* resClass) {
    const auto deadline = Deadline(kWindowTimeoutMs);
    while (Clock::now() < deadline) {
        const Window window = FindTopLevel(session.connection, resName, resClass);
        if (window != 0 && WindowViewable(session.connection, window)) {
            session.window = window;
            return true;
        }
        Pause(kWindowPollMs);
    }
    return false;
}

bool FocusWindow(Session& session) {
    XSetInputFocus(session.connection, session.window, RevertToPointerRoot, CurrentTime);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(session.connection, &focus, &revert);
    return focus == session.window;
}

bool FocusIsPointerRoot(const Session& session) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(session.connection, &focus, &revert);
    return focus == PointerRoot;
}

bool SetPointerRootFocus(Session& session) {
    XSetInputFocus(session.connection, PointerRoot, RevertToPointerRoot, CurrentTime);
    return FocusIsPointerRoot(session);
}

// Below the game window's corner on the 640 x 480 screen, so it covers nothing.
bool GiveFocusToAnotherWindow(Session& session) {
    Display* display = session.connection;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window other =
        XCreateWindow(display, DefaultRootWindow(display), kOtherWindowX, kOtherWindowY,
                      kOtherWindowSize, kOtherWindowSize, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(display, other);
    XSync(display, False);
    XSetInputFocus(display, other, RevertToPointerRoot, CurrentTime);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus == other;
}

bool ReadWindowFacts(const Session& session, WindowFacts& facts) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(session.connection, session.window, &attributes) == 0) return false;
    facts.width = attributes.width;
    facts.height = attributes.height;
    ReadNames(session.connection, session.window, facts);
    ReadSizeHints(session.connection, session.window, facts);
    facts.acceptsDeleteWindow = AcceptsDeleteWindow(session.connection, session.window);
    ReadDesktopFacts(session.connection, session.window, facts);
    return true;
}

bool WindowToRoot(const Session& session, int x, int y, int& rootX, int& rootY) {
    Window child = 0;
    return XTranslateCoordinates(session.connection, session.window,
                                 DefaultRootWindow(session.connection), x, y, &rootX, &rootY,
                                 &child) != 0;
}

// Override-redirect keeps the cover exactly where it is put, as no window
// manager would place it anyway; its red makes a missed repaint obvious.
bool CoverAndUncover(Session& session, int x, int y, int width, int height) {
    Display* display = session.connection;
    int rootX = 0, rootY = 0;
    if (!WindowToRoot(session, x, y, rootX, rootY)) return false;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = kCoverPixel;
    const Window cover = XCreateWindow(display, DefaultRootWindow(display), rootX, rootY,
                                       static_cast<unsigned>(width), static_cast<unsigned>(height),
                                       0, CopyFromParent, InputOutput, CopyFromParent,
                                       CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, cover);
    XSync(display, False);
    XDestroyWindow(display, cover);
    XSync(display, False);
    return true;
}

bool SendCloseRequest(Session& session) {
    Display* display = session.connection;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = session.window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    // An empty event mask delivers the message to the client that created the window.
    const Status sent = XSendEvent(display, session.window, False, NoEventMask, &event);
    XSync(display, False);
    return sent != 0;
}

int WaitForGameExit(Session& session, int timeoutMs) {
    const int result = WaitForChild(session.game, timeoutMs);
    if (result != kStillRunning) session.game = -1;
    return result;
}

// Wine names a program's windows after its file.
bool StartSession(Session& session, const char* binary) {
    const bool windows = IsWindowsProgram(binary);
    const char* name = windows ? kWindowsClass : "marevant";
    const char* klass = windows ? kWindowsClass : "Marevant";
    return StartXServer(session.server) && ConnectToServer(session) && StartGame(session, binary) &&
           FindWindowByClass(session, name, klass) && FocusWindow(session);
}

// The connection closes before the server stops: Xlib ends the process when
// its server goes away under an open connection.
void DisconnectFromServer(Session& session) {
    if (session.connection != nullptr) XCloseDisplay(session.connection);
    session.connection = nullptr;
    session.window = 0;
}

void EndSession(Session& session) {
    StopChild(session.game, false);
    DisconnectFromServer(session);
    StopChild(session.server.pid, true);
}

}  // namespace e2e
