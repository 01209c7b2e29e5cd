// The floor for the Windows benchmark: the least a Win32 program with a 400 x 400 window does,
// a window class, the window and a message loop that ends on close. What Wine costs any window
// costs this one too; the game's figures are read beside it.
#include <windows.h>

namespace {

constexpr int kSide = 400;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"Floor";
    RegisterClassW(&windowClass);
    RECT outer{0, 0, kSide, kSide};
    AdjustWindowRect(&outer, kStyle, FALSE);
    CreateWindowExW(0, L"Floor", L"Floor", kStyle | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                    outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance,
                    nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
