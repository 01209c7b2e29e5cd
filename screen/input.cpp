// Keyboard and mouse as the game sees them: the shared key queue with its
// arrival flag, the polled mouse state, the presses kept until someone takes
// them, and the two kinds of pause. Fed by the window thread or by tests; never
// touches pixels or the window system.
#include "screen/graphics.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "screen/frame_internal.h"

namespace screen {
namespace {

constexpr std::size_t kKeyQueueCapacity = 15;
constexpr std::size_t kPressQueueCapacity = 15;
constexpr MouseSample kNoSample{1, -1, -1, -1};
// A lost display repeats its close request until the game ends; this bounds the count.
constexpr std::uint32_t kMaxPendingCloseRequests = 1000;
// Pauses of at least this length end early, at their next step, when a key arrives.
constexpr int kInterruptibleWaitMs = 100;
constexpr int kWaitStepMs = 50;

struct InputState {
    std::mutex lock;  // guards the queue and the mouse fields
    std::deque<std::string> keys;
    // Close requests wait beside the queue, so no burst of keys can push one
    // out; every ReadKey hands them out before any other key.
    std::uint32_t closeRequests = 0;
    bool focused = false;
    bool inside = false;
    int x = -1;
    int y = -1;
    int buttons = 0;
    // Each press where it went down, with the buttons held then: a click shorter
    // than any poll is still seen, and a button held down is one press.
    std::deque<MouseSample> presses;
    // Counts every change of keys, focus or pointer, so an idle loop can sleep
    // until something happens instead of polling.
    std::uint64_t generation = 0;
    std::condition_variable changed;
    std::atomic<std::uint8_t> keyArrived{0};
    std::atomic<std::uint8_t> pausesEnabled{1};
};

InputState input;

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Caller holds the input lock.
void NoteChange() {
    ++input.generation;
    input.changed.notify_all();
}

// Caller holds the input lock.
bool InputWaiting() {
    return input.closeRequests > 0 || !input.keys.empty() || !input.presses.empty();
}

bool OnFrame(int x, int y) {
    return x >= 0 && x < kWidth && y >= 0 && y < kHeight;
}

bool PausesEnabled() {
    return input.pausesEnabled.load(std::memory_order_relaxed) != 0;
}

}  // namespace

void PushKey(std::string_view code) {
    std::lock_guard guard(input.lock);
    if (code == kCloseRequest) {
        if (input.closeRequests < kMaxPendingCloseRequests) ++input.closeRequests;
    } else {
        if (input.keys.size() == kKeyQueueCapacity) input.keys.pop_front();
        input.keys.emplace_back(code);
    }
    // Set under the lock, so a ReadKey that takes this key also clears its mark.
    input.keyArrived.store(1, std::memory_order_relaxed);
    NoteChange();
}

// As with PollMouse, a window without the focus takes no clicks, and a press off the frame
// is no press on it.
void PushPress(int x, int y, int buttons) {
    std::lock_guard guard(input.lock);
    if (!input.focused || !OnFrame(x, y)) return;
    if (input.presses.size() == kPressQueueCapacity) input.presses.pop_front();
    input.presses.push_back({0, x, y, buttons});
    NoteChange();
}

void SetFocus(bool focused) {
    std::lock_guard guard(input.lock);
    input.focused = focused;
    NoteChange();
}

void SetPointer(bool inside, int x, int y, int buttons) {
    std::lock_guard guard(input.lock);
    input.inside = inside;
    input.x = x;
    input.y = y;
    input.buttons = buttons;
    NoteChange();
}

MouseSample PollMouse() {
    std::lock_guard guard(input.lock);
    const bool onWindow = input.inside && OnFrame(input.x, input.y);
    if (!input.focused || !onWindow) return kNoSample;
    return MouseSample{0, input.x, input.y, input.buttons};
}

MouseSample PeekPress() {
    std::lock_guard guard(input.lock);
    return input.presses.empty() ? kNoSample : input.presses.front();
}

MouseSample TakePress() {
    std::lock_guard guard(input.lock);
    if (input.presses.empty()) return kNoSample;
    const MouseSample press = input.presses.front();
    input.presses.pop_front();
    return press;
}

void DropPresses() {
    std::lock_guard guard(input.lock);
    input.presses.clear();
}

std::string ReadKey() {
    std::lock_guard guard(input.lock);
    input.keyArrived.store(0, std::memory_order_relaxed);
    if (input.closeRequests > 0) {
        --input.closeRequests;
        return std::string(kCloseRequest);
    }
    if (input.keys.empty()) return {};
    std::string code = std::move(input.keys.front());
    input.keys.pop_front();
    return code;
}

bool TakeCloseRequest() {
    std::lock_guard guard(input.lock);
    if (input.closeRequests == 0) return false;
    --input.closeRequests;
    return true;
}

void DropTypedKeys() {
    std::lock_guard guard(input.lock);
    input.keys.clear();
}

std::uint64_t InputGeneration() {
    std::lock_guard guard(input.lock);
    return input.generation;
}

void WaitForInputAfter(std::uint64_t generation) {
    std::unique_lock guard(input.lock);
    input.changed.wait(guard,
                       [generation] { return input.generation != generation || InputWaiting(); });
}

void WaitForChangeAfter(std::uint64_t generation) {
    std::unique_lock guard(input.lock);
    input.changed.wait(guard, [generation] { return input.generation != generation; });
}

void WakeInputWaiters() {
    std::lock_guard guard(input.lock);
    NoteChange();
}

void WaitMs(int ms) {
    if (!PausesEnabled()) return;
    if (ms >= kInterruptibleWaitMs) {
        while (ms > kWaitStepMs) {
            if (input.keyArrived.exchange(0, std::memory_order_relaxed) != 0) return;
            Sleep(kWaitStepMs);
            ms -= kWaitStepMs;
        }
    }
    Sleep(ms);
}

void DelayMs(int ms) {
    if (PausesEnabled()) Sleep(ms);
}

int PendingKeyCount() {
    std::lock_guard guard(input.lock);
    return static_cast<int>(input.keys.size() + input.closeRequests);
}

void SetPauses(bool enabled) {
    input.pausesEnabled.store(enabled ? 1 : 0, std::memory_order_relaxed);
}

}  // namespace screen
