// The ship placement screen on the big board, run by both match flows.
// The caller must not hold the screen mutex; this module takes it itself.
#pragma once

#include "game/core/match_state.h"

namespace screen {

// What a click into the input line opens while ships are placed.
using InputLineProcedure = void (*)();

// Lets the player place the ten ships and confirm them with Enter. Returns
// early with QuitFlag and StopFlag set after a close request, or after the pass
// that finds QuitFlag set by another thread.
void PlacementScreen(InputLineProcedure inputLine) EXCLUDES(game::ScreenMutex);

// Places a ship of `length` anchored at the clicked pixel, to the right when
// `horizontal` is 1, downwards when 0. Returns 1 when painted, 0 when refused
// (the reason goes to the message log). A click into the input line runs
// `inputLine` instead. Always pauses 40 ms before returning.
int PlaceShip(int x, int y, int length, int horizontal, InputLineProcedure inputLine)
    EXCLUDES(game::ScreenMutex);

}  // namespace screen
