// What this side knows of a game's exchange with the opponent: the shot awaiting
// its answer, whether our Ready counts, and whose turn it is on the other side
// as the messages sent so far tell it. From that it says whether a shot may go
// out, whether an answer counts, and whether a file chunk may be written now
// without the opponent taking its first bytes for a message it may receive.
// Its state is guarded by the screen mutex; it sends and draws nothing.
#pragma once

#include <cstdint>
#include <string_view>

#include "game/match_state.h"

namespace game {

// A shot whose answer has not come within this long counts as lost: it no
// longer keeps the shooter from firing again.
inline constexpr std::int64_t kShotAnswerTimeoutMs = 30000;

// A new connection: nothing sent yet; the opponent fires first when it is the
// client (`opponentFiresFirst`).
void StartExchange(bool opponentFiresFirst) REQUIRES(ScreenMutex);
// A new game on the same connection: the turn stays where the last one left it.
void NewGameExchange() REQUIRES(ScreenMutex);

void NoteReadySent() REQUIRES(ScreenMutex);
// Both sides have sent their Ready, so shots count.
bool GameRunning() REQUIRES(ScreenMutex);

// No shot awaits its answer, or the one that does counts as lost.
bool MayFire(std::int64_t nowMs) REQUIRES(ScreenMutex);
void NoteShotSent(std::string_view digits, std::int64_t nowMs) REQUIRES(ScreenMutex);
// Whether an answer names the shot that awaits it.
bool AnswersPendingShot(std::string_view digits) REQUIRES(ScreenMutex);
// The awaited answer came; `sunk` when it sank the opponent's last ship.
void NoteAnswerReceived(bool sunk) REQUIRES(ScreenMutex);
// We answer the opponent's shot; `sinksUs` when it hit our last ship.
void NoteAnswerSent(bool sinksUs) REQUIRES(ScreenMutex);

// Whether a file chunk that begins with `chunk` must not be written yet: the
// opponent, having read everything sent so far, could take its first bytes for
// a Ready, a Shot or an answer it may receive now.
bool ChunkMustWait(std::string_view chunk) REQUIRES(ScreenMutex);

}  // namespace game
