// The drawing and input layer: a 400 x 400 frame buffer with pixel-exact drawing
// and read-back, the shared key queue and mouse state, pauses, threads and mutexes.
// Every other module draws and reads input only through these procedures; the
// window system itself is reached through window.h alone.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "screen/thread_safety.h"

namespace screen {

inline constexpr int kWidth = 400;
inline constexpr int kHeight = 400;
inline constexpr int kColourDepth = 24;

// 0xRRGGBB; ReadPixel answers kNoPixel where there is no pixel to read.
using Colour = std::int32_t;
inline constexpr Colour kNoPixel = -1;
inline constexpr Colour kWhite = 0xFFFFFF;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kShipGrey = 0x696969;
inline constexpr Colour kHitRed = 0xEE0000;
inline constexpr Colour kWaterBlue = 0x0000FF;
inline constexpr Colour kTurnYellow = 0xFFFF00;

// Glyph 0xDB is a full block: runs of it in white erase text.
inline constexpr char kBlankChar = '\xDB';
// DrawText puts one glyph cell of 8 x 8 pixels after the other.
inline constexpr int kGlyphWidth = 8;

// Key codes are one byte, or 255 followed by a scan code for special keys.
inline constexpr char kSpecialKeyPrefix = '\xFF';
inline constexpr char kKeyEnter = 13;
inline constexpr char kKeyBackspace = 8;
inline constexpr char kKeyEscape = 27;
inline constexpr char kKeyTab = 9;
inline constexpr std::string_view kCloseRequest{
    "\xFF"
    "k",
    2};

inline constexpr int kButtonLeft = 1;
inline constexpr int kButtonRight = 2;
inline constexpr int kButtonMiddle = 4;

struct MouseSample {
    int flag;  // 0 when the sample is valid
    int x;
    int y;
    int buttons;
};

// A valid sample with the left button alone held.
constexpr bool IsLeftClick(const MouseSample& mouse) {
    return mouse.flag == 0 && mouse.buttons == kButtonLeft;
}
// A key code that is the one byte `code`.
constexpr bool IsKey(std::string_view key, char code) {
    return key.size() == 1 && key[0] == code;
}
// A key that types a character: one byte that is no control code. Enter, Backspace, Escape,
// Tab and the special keys (arrows, function keys, Delete, Home, ...) type none.
constexpr bool IsCharacterKey(std::string_view key) {
    constexpr unsigned char kFirstCharacter = 0x20;
    constexpr unsigned char kDelete = 0x7F;
    if (key.size() != 1) return false;
    const auto byte = static_cast<unsigned char>(key[0]);
    return byte >= kFirstCharacter && byte != kDelete;
}

void DrawText(int x, int y, std::string_view text, Colour colour);
void DrawLine(int x1, int y1, int x2, int y2, Colour colour);
void DrawBox(int x1, int y1, int x2, int y2, Colour colour);
void FillBox(int x1, int y1, int x2, int y2, Colour colour);
void FloodFill(int x, int y, Colour fill, Colour border);
Colour ReadPixel(int x, int y);
void BeginUpdate();
void EndUpdate();

MouseSample PollMouse();
// The oldest press of a button that nobody has taken yet, where it went down and
// with the buttons held then; the flag is 1 when none waits. Each press is taken
// once, however short it was, and a button held down is one press.
MouseSample TakePress();
// The same press, left waiting for whoever acts on it.
MouseSample PeekPress();
// Forgets the presses nobody has taken: a phase does not act on clicks made before it.
void DropPresses();
std::string ReadKey();
// Takes a waiting close request out of the queue, if there is one, and leaves
// every other key for its own reader.
bool TakeCloseRequest();
// Drops every key that waits, but a close request.
void DropTypedKeys();
void WaitMs(int ms);
void DelayMs(int ms);

// For loops that can only react to input: InputGeneration names the input seen
// so far; WaitForInputAfter sleeps until a key, focus or pointer change comes
// after it, and returns at once while keys or presses wait.
std::uint64_t InputGeneration();
void WaitForInputAfter(std::uint64_t generation);
// Sleeps until the input changes after `generation`, whatever waits unread: for loops that
// leave keys or presses to other readers.
void WaitForChangeAfter(std::uint64_t generation);
// Counts as an input change: wakes every such loop, so it can see a flag that
// another thread has just set.
void WakeInputWaiters();

// A non-recursive mutex the compiler's thread-safety analysis knows as a lock.
struct CAPABILITY("mutex") Mutex {
    std::mutex native;
};

// A thread of the game, started through the program's one way of starting threads (net/thread.h).
struct Thread;

// Handles may be "none" (nullptr): waiting on, locking or destroying none does nothing.
using ThreadHandle = Thread*;
using MutexHandle = Mutex*;
// None when the system refuses the thread.
ThreadHandle ThreadCreate(void (*procedure)());
void ThreadWait(ThreadHandle handle);
// The thread runs on for the rest of the program without anyone waiting for it.
void ThreadRelease(ThreadHandle handle);
MutexHandle MutexCreate();
void MutexLock(MutexHandle handle) ACQUIRE(handle);
void MutexUnlock(MutexHandle handle) RELEASE(handle);
void MutexDestroy(MutexHandle handle);

}  // namespace screen
