// Expected pictures of the game window, drawn in the test process with the
// game's own drawing layer on an offscreen frame buffer: the lobby as it
// starts, and the lobby with a typed address in the status panel. Never
// talks to an X server and never runs the lobby loop.
#pragma once

#include <string_view>
#include <vector>

#include "tests/e2e/x_harness.h"

namespace e2e {

// A ship as the test places it: from its first cell to the right when
// `across`, else downwards.
struct Ship {
    int column;
    int row;
    bool across;
    int length;
};

// The cells a fleet covers, as (column, row) from 1 to 10.
std::vector<std::pair<int, int>> FleetCells(const std::vector<Ship>& fleet);

// The offscreen frame holding only the static screen, for a test to draw on.
void StartExpectedFrame();
// Draws the small board's grid and the fleet's cells in grey onto the
// offscreen frame, from the board's own geometry.
void DrawExpectedFleet(const std::vector<Ship>& fleet);
// The offscreen frame's pixels.
Frame CaptureOffscreen();

// The static screen with the help lines in the message log.
Frame ExpectedLobby();

// The lobby with `address` drawn in the status panel the way the address
// entry shows it: one centred row up to 14 characters, two rows from 15 on
// (the first eight above).
Frame ExpectedLobbyWithAddress(std::string_view address);

}  // namespace e2e
