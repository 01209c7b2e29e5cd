// The game's own threads of a network match: one game's placement and ready
// signal, and one game's shooting.
#pragma once

#include "game/core/match_state.h"

namespace game {

// Placement, fleet copy, "SYST:R", then the TurnLoop. Ends without a Ready
// when the placement ended because QuitFlag was set.
void ReadyWorker() EXCLUDES(ScreenMutex);
// Waits for the opponent's Ready, then fires at clicked cells until QuitFlag.
void TurnLoop() EXCLUDES(ScreenMutex);

}  // namespace game
