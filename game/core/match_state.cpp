// Storage of the shared match state, the screen mutex's guard and the thread slots.
#include "game/core/match_state.h"

#include <algorithm>

namespace game {

screen::MutexHandle ScreenMutex = nullptr;
std::atomic<std::uint8_t> QuitFlag{0};
std::atomic<std::uint8_t> StopFlag{0};
std::int32_t PlayerNumber = 0;
net::ConnId ServerId = net::kNoConnection;
net::ConnId ClientId = net::kNoConnection;
net::ConnId PeerId = net::kNoConnection;
std::atomic<std::uint8_t> ConnectedFlag{0};
std::atomic<std::uint8_t> OpponentReady{0};
std::atomic<std::uint8_t> FirstGame{1};

namespace {

constexpr int kStopCheckMs = 50;
constexpr int kGameThreadKinds = 3;

struct SharedState {
    // The latest ReadyWorker, TurnLoop and FileSendWorker; a newer thread replaces the handle.
    screen::ThreadHandle handles[kGameThreadKinds] GUARDED_BY(ScreenMutex) = {};
    std::atomic<std::uint32_t> quitGeneration{0};
};

SharedState shared;

}  // namespace

// One mutex for the whole run: a start given up may leave a thread behind that still takes it.
void CreateScreenMutex() {
    if (ScreenMutex == nullptr) ScreenMutex = screen::MutexCreate();
}

ScreenGuard::ScreenGuard() {
    screen::MutexLock(ScreenMutex);
}

ScreenGuard::~ScreenGuard() {
    screen::MutexUnlock(ScreenMutex);
}

void RaiseQuitFlag(bool stop) {
    shared.quitGeneration.fetch_add(1, std::memory_order_relaxed);
    QuitFlag.store(1, std::memory_order_relaxed);
    if (stop) StopFlag.store(1, std::memory_order_relaxed);
    screen::WakeInputWaiters();
}

void RaiseStop() {
    ScreenGuard guard;
    RaiseQuitFlag(true);
}

std::uint32_t QuitGeneration() {
    return shared.quitGeneration.load(std::memory_order_relaxed);
}

void PauseUnlessQuitting(int ms) {
    for (int waited = 0; waited < ms && !Quitting(); waited += kStopCheckMs)
        screen::DelayMs(std::min(kStopCheckMs, ms - waited));
}

void StartGameThread(GameThread slot, void (*procedure)()) {
    ScreenGuard guard;
    shared.handles[static_cast<int>(slot)] = screen::ThreadCreate(procedure);
}

void WaitForGameThread(GameThread slot) {
    screen::ThreadHandle thread = nullptr;
    {
        ScreenGuard guard;
        std::swap(thread, shared.handles[static_cast<int>(slot)]);
    }
    screen::ThreadWait(thread);
}

}  // namespace game
