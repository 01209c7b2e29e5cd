// What this side knows of a game's exchange with the opponent: the shot awaiting
// its answer, whether our Ready counts, and whose turn it is on the other side
// as the messages sent so far tell it. From that it says whether a shot may go
// out and whether an answer counts.
// Its state is guarded by the screen mutex; it sends and draws nothing.
#pragma once

#include <cstdint>
#include <string_view>

#include "game/core/match_state.h"

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

// A shot of the opponent counts: the game runs and it is the opponent's turn.
bool OpponentMayFire() REQUIRES(ScreenMutex);
// No shot awaits its answer, or the one that does counts as lost.
bool MayFire(std::int64_t nowMs) REQUIRES(ScreenMutex);
void NoteShotSent(std::string_view digits, std::int64_t nowMs) REQUIRES(ScreenMutex);
// Whether an answer names the shot that awaits it.
bool AnswersPendingShot(std::string_view digits) REQUIRES(ScreenMutex);
// The awaited answer came; `sunk` when it sank the opponent's last ship.
void NoteAnswerReceived(bool sunk) REQUIRES(ScreenMutex);
// We answer the opponent's shot; `sinksUs` when it hit our last ship.
void NoteAnswerSent(bool sinksUs) REQUIRES(ScreenMutex);

// The opponent counts our Ready: it has read it, and no game ended on its side since.
bool PeerKnowsReady() REQUIRES(ScreenMutex);
// A shot of ours awaits its answer.
bool ShotAwaitsAnswer() REQUIRES(ScreenMutex);
// The opponent's own turn flag, as the shots and answers we sent have set it.
bool PeerHasTurn() REQUIRES(ScreenMutex);

}  // namespace game
