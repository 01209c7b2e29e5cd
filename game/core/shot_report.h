// How a shot shows, against the computer and over the network alike: the line each side logs,
// the colour of the cell, the line for a cell fired at before, and the pauses after that line
// and after a game's result. Draws only; the caller holds the screen mutex where one exists.
#pragma once

namespace game {

// The player waits this long after a cell fired at before, and the result stays this long.
inline constexpr int kRepeatedShotPauseMs = 100;
inline constexpr int kResultPauseMs = 2000;

// Our shot at the big board's cell (column and row from 1) hit a ship or fell into the water.
void ShowOurShot(int column, int row, bool hit);
// The opponent's shot at our small board's cell; a cell that keeps its colour (one marked
// before) is not painted again.
void ShowTheirShot(int column, int row, bool hit, bool paint);
// The player clicked a cell fired at before.
void ShowRepeatedShot();

}  // namespace game
