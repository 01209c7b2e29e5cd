// The state every thread of the game shares, at the bottom of game/: the screen mutex and its
// guard, the quit and stop flags, the slots of the game's own threads, and who the opponent of
// a network match is. Owns no drawing, no rules and no message bytes.
#pragma once

#include <atomic>
#include <cstdint>

#include "net/types.h"
#include "screen/graphics.h"
#include "screen/thread_safety.h"

namespace game {

// The game's one screen mutex: none until a network match is started. Locking none does
// nothing, so the match against the computer runs the same code without a lock.
extern screen::MutexHandle ScreenMutex;
// The mutex for network matches, made on the way to the first of them.
void CreateScreenMutex();

// Holds the screen mutex for its scope; the only way the game takes it.
class SCOPED_CAPABILITY ScreenGuard {
   public:
    ScreenGuard() ACQUIRE(ScreenMutex);
    ~ScreenGuard() RELEASE();
    ScreenGuard(const ScreenGuard&) = delete;
    ScreenGuard& operator=(const ScreenGuard&) = delete;
};

// Polled by several threads without a lock. QuitFlag ends the loops of a game, StopFlag says
// that the program is ending.
extern std::atomic<std::uint8_t> QuitFlag;
extern std::atomic<std::uint8_t> StopFlag;

inline bool Quitting() {
    return QuitFlag.load(std::memory_order_relaxed) == 1;
}
inline bool Stopping() {
    return StopFlag.load(std::memory_order_relaxed) == 1;
}

// Sets QuitFlag (and StopFlag when `stop`) and wakes the loops that sleep until the player does
// something, so they see it at once.
void RaiseQuitFlag(bool stop = false);
// QuitFlag and StopFlag under the screen mutex: the program is ending.
void RaiseStop() EXCLUDES(ScreenMutex);
// Counts every raise of QuitFlag, so a loop can tell one that came after it began.
std::uint32_t QuitGeneration();
// Sleeps up to `ms`, in short steps, and returns early once QuitFlag is raised.
void PauseUnlessQuitting(int ms);

// How the program ends: the entry's procedure, handed down to whoever may have to end it.
using ProgramEnd = void (*)();

// The game's own threads, one of each kind at a time.
enum class GameThread { kReady, kTurn, kFileSend };
// Starts `procedure` and keeps its handle in the slot.
void StartGameThread(GameThread slot, void (*procedure)()) EXCLUDES(ScreenMutex);
// Takes the handle out of the slot and waits for its thread; an empty slot is skipped.
void WaitForGameThread(GameThread slot) EXCLUDES(ScreenMutex);

inline constexpr std::int32_t kServerPlayer = 1;
inline constexpr std::int32_t kClientPlayer = 2;

// The network match's view of the connection.
extern std::int32_t PlayerNumber GUARDED_BY(ScreenMutex);  // 1 server, 2 client, 0 before
extern net::ConnId ServerId GUARDED_BY(ScreenMutex);
extern net::ConnId ClientId GUARDED_BY(ScreenMutex);
extern net::ConnId PeerId GUARDED_BY(ScreenMutex);  // the connection to the opponent
extern std::atomic<std::uint8_t> ConnectedFlag;
extern std::atomic<std::uint8_t> OpponentReady;
extern std::atomic<std::uint8_t> FirstGame;

}  // namespace game
