// End-to-end test support: a private X server per test, the real game binary
// running on it, synthetic pointer and key input through XTest, and the game
// window's pixels read back. Owns only the processes and the display
// connection it opens itself; never reaches into the game's memory and never
// talks to any X server but its own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Xlib's connection type, declared here so that users of the harness need not
// include Xlib, whose macros collide with common names.
struct _XDisplay;

namespace e2e {

using XWindowId = unsigned long;
using XKeySym = unsigned long;

inline constexpr int kFrameWidth = 400;
inline constexpr int kFrameHeight = 400;

// Generous upper bounds: the suite runs two tests at a time on two cores,
// possibly beside sanitizer builds, so a slow machine must not fail a test.
inline constexpr int kServerStartTimeoutMs = 15000;
inline constexpr int kWindowTimeoutMs = 15000;
inline constexpr int kFrameTimeoutMs = 10000;
inline constexpr int kExitTimeoutMs = 10000;

// Pixels as 0xRRGGBB, row after row, kFrameWidth * kFrameHeight of them.
using Frame = std::vector<std::uint32_t>;
using FrameCheck = std::function<bool(const Frame&)>;

struct XServer {
    pid_t pid = -1;
    std::string display;  // ":N", as DISPLAY names it
    std::string screen;   // WxHxD of its screen; empty takes the harness's default
};

struct Session {
    std::string directory;        // the game's working directory; empty keeps the test's
    int networkNamespaceFd = -1;  // the game's network namespace; -1 keeps the test's
    XServer server;
    _XDisplay* connection = nullptr;
    pid_t game = -1;
    XWindowId window = 0;
};

// What the game tells a window manager about its window, and its size.
struct WindowFacts {
    std::string title;
    std::string resName;
    std::string resClass;
    bool hasMinSize = false;  // the size hints name a minimum size
    bool hasMaxSize = false;
    int minWidth = 0;
    int minHeight = 0;
    int maxWidth = 0;
    int maxHeight = 0;
    int width = 0;
    int height = 0;
    bool acceptsDeleteWindow = false;
    // _NET_WM_ICON: each image as width, height and 0xAARRGGBB pixels.
    struct Icon {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels;
    };
    std::vector<Icon> icons;
    long pid = 0;               // _NET_WM_PID
    std::string clientMachine;  // WM_CLIENT_MACHINE
};

enum class Button { kLeft, kRight };

// x_harness.cpp: the server, the game process and its window.
// A new empty folder below the system's temporary folder, for a game to work in.
std::string MakeScratchDirectory();
// A scratch folder with a "server" and a "client" folder in it, the two sessions' working
// folders; returns the scratch folder, empty on failure.
std::string MakeWorkingFolders(Session& server, Session& client);
// A whole file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Waits until the file holds exactly `expected`, whatever it held on the way.
bool FileBecomes(const std::string& path, const std::string& expected, int timeoutMs);
bool StartXServer(XServer& server);
bool ConnectToServer(Session& session);
// A binary whose name ends in .exe is the Windows program: it runs under Wine.
bool IsWindowsProgram(std::string_view binary);
bool StartGame(Session& session, const char* binary);
// Finds the top-level window with the given WM_CLASS and waits until it is viewable.
bool FindWindowByClass(Session& session, const char* resName, const char* resClass);
// Gives the window the input focus, as a window manager would on a click.
bool FocusWindow(Session& session);
// Without a window manager the focus follows the pointer ("PointerRoot").
bool FocusIsPointerRoot(const Session& session);
bool SetPointerRootFocus(Session& session);
// Maps a small window beside the game window and gives it the input focus.
bool GiveFocusToAnotherWindow(Session& session);
bool ReadWindowFacts(const Session& session, WindowFacts& facts);
// Screen coordinates of a point given in the game window's coordinates.
bool WindowToRoot(const Session& session, int x, int y, int& rootX, int& rootY);
// Maps another window over part of the game window and destroys it again, so
// the game has to repaint the uncovered part when the server asks for it.
bool CoverAndUncover(Session& session, int x, int y, int width, int height);
// Sends WM_DELETE_WINDOW in a WM_PROTOCOLS client message, as a window manager does.
bool SendCloseRequest(Session& session);
// The game's exit status, or kStillRunning / kEndedBySignal (child_process.h).
int WaitForGameExit(Session& session, int timeoutMs);
// Server, game process and window found and focused, in one step.
bool StartSession(Session& session, const char* binary);
// Closes the harness's own connection, before a test takes the server away.
void DisconnectFromServer(Session& session);
// Kills the game and the server and closes the connection; safe on any state.
void EndSession(Session& session);

// x_input.cpp: pointer and keys at window coordinates, through XTest.
bool MovePointer(Session& session, int x, int y);
bool PressButton(Session& session, Button button);
bool ReleaseButton(Session& session, Button button);
// Moves, presses, holds the button until `seen` holds for the window's
// frame (or the time-out passes) and always releases it.
bool ClickUntil(Session& session, int x, int y, Button button, const FrameCheck& seen, Frame& last);
// Presses and releases the key of `symbol`, with Shift when the symbol needs it.
bool PressKey(Session& session, XKeySym symbol);
// A key by its X name: "Return", "BackSpace", "Escape", ...
bool PressNamedKey(Session& session, const char* name);
// Printable ASCII only, with a pause after each key.
bool TypeText(Session& session, std::string_view text, int pauseMs);
// Any keysyms, with a pause after each: one that no key carries is first put on a spare key,
// as a keyboard layout with that letter would have it.
bool TypeKeysyms(Session& session, const std::vector<XKeySym>& symbols, int pauseMs);

// x_frame.cpp: the window's pixels.
bool ReadFrame(Session& session, Frame& frame);
// A rectangle of the window's pixels, row after row, whatever the window's size.
bool ReadWindowRegion(Session& session, int x, int y, int width, int height,
                      std::vector<std::uint32_t>& pixels);
bool WindowSize(Session& session, int& width, int& height);
// Resizes the window as a window manager maximising it would, and waits until it has.
bool ResizeWindow(Session& session, int width, int height);
// The Xft.dpi resource on the server's root window, read by programs started after it.
bool SetDisplayDpi(Session& session, int dpi);
// One pixel of the window as 0xRRGGBB: far cheaper than a whole frame.
bool ReadOnePixel(Session& session, int x, int y, std::uint32_t& rgb);
// Writes a frame as docs/NAME for the README, so its pictures show the real
// game as the tests last saw it.
bool SaveDocPicture(const std::string& name, const Frame& frame);
// Reads frames until `done` holds or timeoutMs passes; `last` keeps the last frame read.
bool WaitForFrame(Session& session, const FrameCheck& done, int timeoutMs, Frame& last);

}  // namespace e2e
