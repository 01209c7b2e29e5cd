// The game's own threads of a network match: one game's placement and ready
// signal, and one game's shooting, with the helpers that start and wait for
// them through the shared handles.
#pragma once

#include "screen/graphics.h"

namespace game {

// Placement, fleet copy, "SYST:R", then the TurnLoop. Ends without a Ready
// when the placement ended because QuitFlag was set.
void ReadyWorker();
// Waits for the opponent's Ready, then fires at clicked cells until QuitFlag.
void TurnLoop();

// Starts `procedure` and stores its handle in `slot`, under the screen mutex.
void StartGameThread(screen::ThreadHandle& slot, void (*procedure)());
// Takes the handle out of `slot` under the screen mutex and waits for its
// thread; a slot already waited for is skipped.
void WaitForGameThread(screen::ThreadHandle& slot);

}  // namespace game
