// The window on Windows: the only file of screen/ that includes windows.h. One thread creates
// the window and runs its message loop, turns the window's messages into the layer's key queue
// (the key codes come from keys.h), presses and mouse state, and copies the frame buffer to the
// window pixel for pixel (SetDIBitsToDevice) at most about 60 times a second when it has
// changed. It never draws into the frame buffer itself. The program declares no DPI awareness,
// so a high-resolution screen shows the window scaled up rather than tiny.
#include "screen/window.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "screen/frame_internal.h"
#include "screen/graphics.h"
#include "screen/keys.h"
#include "screen/refresh_plan.h"

namespace screen {
namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kClassName[] = L"Marevant";
constexpr wchar_t kWindowTitle[] = L"Marevant";
// A fixed size: no frame to drag and no maximise button.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr UINT kFrameChanged = WM_APP + 1;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr WORD kIconResource = 1;
constexpr int kBitsPerPixel = 32;

enum class StartState { kStarting, kOpen, kFailed };

struct WindowState {
    // Start-up hand-over between OpenWindow and the window thread.
    std::mutex startLock;
    std::condition_variable startSignal;
    StartState start = StartState::kStarting;
    std::string problem;
    // Set before the start is reported; drawing threads only post to it.
    HWND window = nullptr;
    // Owned by the window thread: the last complete frame shown, and when the next may be.
    std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(kWidth * kHeight);
    BITMAPINFO bitmap{};
    bool timerSet = false;
    RefreshPace pace;
};

WindowState win;

struct VirtualKey {
    unsigned virtualKey;
    SpecialKey key;
};

constexpr VirtualKey kSpecialKeys[] = {
    {VK_UP, SpecialKey::kUp},         {VK_DOWN, SpecialKey::kDown},
    {VK_LEFT, SpecialKey::kLeft},     {VK_RIGHT, SpecialKey::kRight},
    {VK_INSERT, SpecialKey::kInsert}, {VK_DELETE, SpecialKey::kDelete},
    {VK_HOME, SpecialKey::kHome},     {VK_END, SpecialKey::kEnd},
    {VK_PRIOR, SpecialKey::kPageUp},  {VK_NEXT, SpecialKey::kPageDown},
    {VK_F1, SpecialKey::kF1},         {VK_F2, SpecialKey::kF2},
    {VK_F3, SpecialKey::kF3},         {VK_F4, SpecialKey::kF4},
    {VK_F5, SpecialKey::kF5},         {VK_F6, SpecialKey::kF6},
    {VK_F7, SpecialKey::kF7},         {VK_F8, SpecialKey::kF8},
    {VK_F9, SpecialKey::kF9},         {VK_F10, SpecialKey::kF10},
};

std::string KeyCodeForVirtualKey(unsigned virtualKey) {
    for (const VirtualKey& entry : kSpecialKeys) {
        if (entry.virtualKey == virtualKey) return SpecialKeyCode(entry.key);
    }
    return {};
}

int MaskFromKeys(WPARAM keys) {
    return ((keys & MK_LBUTTON) ? kButtonLeft : 0) | ((keys & MK_RBUTTON) ? kButtonRight : 0) |
           ((keys & MK_MBUTTON) ? kButtonMiddle : 0);
}

int PointerX(LPARAM position) {
    return static_cast<short>(LOWORD(position));
}

int PointerY(LPARAM position) {
    return static_cast<short>(HIWORD(position));
}

// Runs on whatever thread draws, under the frame's lock: a posted message never waits.
void AnnounceChange() {
    PostMessageW(win.window, kFrameChanged, 0, 0);
}

// Shows a change when the pace allows, so a burst of drawing costs few copies; a change that
// comes too early is shown when the timer says it is due.
void RefreshWhenDue(HWND window) {
    const auto now = Clock::now();
    const auto wait = WaitBeforeRefresh(win.pace, now);
    if (wait.count() > 0) {
        if (!win.timerSet) {
            SetTimer(window, kRefreshTimer, static_cast<UINT>(wait.count()), nullptr);
            win.timerSet = true;
        }
        return;
    }
    if (!CopyFrameIfChanged(win.frame.data())) return;
    NoteRefresh(win.pace, now);
    InvalidateRect(window, nullptr, FALSE);
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC device = BeginPaint(window, &paint);
    SetDIBitsToDevice(device, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, win.frame.data(),
                      &win.bitmap, DIB_RGB_COLORS);
    EndPaint(window, &paint);
}

// Windows reports the pointer leaving only to a window that asks with a timer running all the
// while, so a pointer counts as inside until the window loses the focus; nothing acts on a
// pointer that merely hovers.
void ShowPointer(WPARAM keys, LPARAM position) {
    SetPointer(true, PointerX(position), PointerY(position), MaskFromKeys(keys));
}

void HandleKeyDown(WPARAM virtualKey) {
    const std::string code = KeyCodeForVirtualKey(static_cast<unsigned>(virtualKey));
    if (!code.empty()) PushKey(code);
}

void HandleCharacter(WPARAM character) {
    const std::string code = KeyCodeForCharacter(static_cast<char32_t>(character));
    if (!code.empty()) PushKey(code);
}

// Input messages; false for those the window procedure leaves to Windows.
bool HandleInput(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            ShowPointer(wParam, lParam);
            return true;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            ShowPointer(wParam, lParam);
            PushPress(PointerX(lParam), PointerY(lParam), MaskFromKeys(wParam));
            return true;
        case WM_KEYDOWN:
            HandleKeyDown(wParam);
            return true;
        case WM_SYSKEYDOWN:
            // F10 would open the window's menu; Alt with other keys stays with Windows.
            if (wParam != VK_F10) return false;
            HandleKeyDown(wParam);
            return true;
        case WM_CHAR:
            HandleCharacter(wParam);
            return true;
        default:
            return false;
    }
}

// The close button is the user's close request: the window stays until the game ends.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandleInput(message, wParam, lParam)) return 0;
    switch (message) {
        case kFrameChanged:
            RefreshWhenDue(window);
            return 0;
        case WM_TIMER:
            KillTimer(window, kRefreshTimer);
            win.timerSet = false;
            RefreshWhenDue(window);
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_SETFOCUS:
            SetFocus(true);
            return 0;
        case WM_KILLFOCUS:
            SetFocus(false);
            SetPointer(false, -1, -1, 0);
            return 0;
        case WM_CLOSE:
            PushKey(kCloseRequest);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ReportStart(StartState state, const std::string& problem = {}) {
    std::lock_guard guard(win.startLock);
    win.problem = problem;
    win.start = state;
    win.startSignal.notify_all();
}

void DescribeFrame() {
    BITMAPINFOHEADER& header = win.bitmap.bmiHeader;
    header.biSize = sizeof header;
    header.biWidth = kWidth;
    header.biHeight = -kHeight;  // top row first, as in the frame buffer
    header.biPlanes = 1;
    header.biBitCount = kBitsPerPixel;
    header.biCompression = BI_RGB;
}

// The client area is exactly the frame; the frame around it is added to the window's size.
HWND CreateGameWindow(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) == 0) return nullptr;
    RECT outer{0, 0, kWidth, kHeight};
    AdjustWindowRect(&outer, kWindowStyle, FALSE);
    return CreateWindowExW(0, kClassName, kWindowTitle, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                           instance, nullptr);
}

void WindowThread() {
    DescribeFrame();
    win.window = CreateGameWindow(GetModuleHandleW(nullptr));
    if (win.window == nullptr) {
        ReportStart(StartState::kFailed,
                    "cannot open a window (error " + std::to_string(GetLastError()) + ")");
        return;
    }
    SetFrameChangeListener(AnnounceChange);
    ShowWindow(win.window, SW_SHOW);
    UpdateWindow(win.window);
    ReportStart(StartState::kOpen);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

bool OpenWindow(int, std::string& problem) {
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
