// Whole matches of the local player against the computer, one after another,
// on the main thread. No lock is taken: no other game thread exists here.
#pragma once

#include "game/core/match_state.h"

namespace game {

// Plays match after match; ends the program through `end` on a close request.
[[noreturn]] void RunComputerMatch(ProgramEnd end);

// Stages of one match, reachable for tests.
// Lights the turn indicator and polls the mouse, once and again while MyTurn
// is 1, until the player has fired at a new cell.
void PlayerPhase(ProgramEnd end);
// The player's and the computer's phases in turn until one fleet is sunk.
void ExchangeFire(ProgramEnd end);
// Shows the result for two seconds and prepares the counters and turn order
// for the next match.
void FinishMatch();

}  // namespace game
