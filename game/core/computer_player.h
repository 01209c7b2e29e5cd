// The computer opponent: random placement of its fleet under the neighbour
// rule, and one hunt-and-target shot per turn at the player's fleet. Runs on
// the main thread inside the match against the computer and takes no locks.
#pragma once

#include <cstdint>

#include "game/core/match_state.h"

namespace game {

struct CellRef {
    std::uint8_t column;
    std::uint8_t row;
};

// What the computer knows about the ship it is finishing. Directions: 1 left,
// 2 right, 3 up, 4 down; 0 while unknown.
struct TargetState {
    CellRef TargetAnchor;
    std::uint8_t TargetHits;
    std::uint8_t TargetDirection;
    std::uint8_t BackSteps;
    std::uint8_t TurnDone;
    std::uint8_t LargestLeft;
    std::uint8_t SmallestLeft;
};

// Seeds the random generator from the wall clock and starts the computer's
// knowledge afresh: PlayerFleet, ComputerKnowledge, RemainingShips and the
// target state.
void StartComputerOpponent();

// Fills ComputerFleet with the whole fleet; ends the program through `end` on a
// close request.
void PlaceComputerFleet(ProgramEnd end);

// Fires exactly one shot at PlayerFleet and reports it in the log and on the
// small board.
void ComputerTurn();

}  // namespace game
