// Moving the game between placement and play: clearing the big board and
// copying the fleet placed on it onto the small board. Neither takes a lock;
// callers beside other drawing threads hold the screen mutex.
#pragma once

namespace screen {

// Paints every big-board cell white and forgets every shot fired.
void ClearTargetBoard();

// Paints every small-board cell white: the marks of the last match are gone.
void ClearFleetBoard();

// Reads the grey cells of the big board, draws them on the small board's grid
// and clears the big board for the exchange of fire.
void CopyFleetToFleetBoard();

}  // namespace screen
