// What each message received from the opponent does, and the two messages of a
// game whose sending changes what this side accepts (Ready and Shot). The
// exchange of a game itself is kept in exchange.h; the shared boards, counters
// and flags it changes are the match's.
#pragma once

#include <string_view>

#include "game/core/match_state.h"

namespace game {

// Ends a game on this side: 1 won, 0 lost. Called without the screen mutex.
using GameEnd = void (*)(int result);

// Marks this side ready for the game and sends "SYST:R".
void SendReady() EXCLUDES(ScreenMutex);
// Fires at the 0-based cell unless an earlier shot still waits for its answer;
// marks the cell in PlayerShots. Returns whether the shot went out.
bool SendShot(int column, int row) EXCLUDES(ScreenMutex);
// The turn indicator and MyTurn for this side.
void PassTurn(bool toUs) REQUIRES(ScreenMutex);

// Acts on every message completed by one receive from the opponent; a game that
// ends on this side ends through `gameOver`. Runs on the connection's worker and
// takes the screen mutex for each step itself.
void MessageDispatcher(std::string_view received, GameEnd gameOver) EXCLUDES(ScreenMutex);

}  // namespace game
