// Board clearing and fleet copy. Reads and writes the PlayerShots board of the
// game, which serves as the scratch copy of the fleet while it moves.
#include "screen/fleet_copy.h"

#include "game/core/board.h"
#include "screen/graphics.h"
#include "screen/layout.h"

namespace screen {
namespace {

constexpr int kFleetGridLines = 10;  // lines 0 to 10 in each direction

void DrawFleetGrid() {
    for (int i = 0; i <= kFleetGridLines; ++i) {
        DrawLine(kFleetCellSize * i, kFleetTop, kFleetCellSize * i, kFleetGridBottom, kBlack);
    }
    for (int i = 0; i <= kFleetGridLines; ++i) {
        const int y = kFleetTop + kFleetCellSize * i;
        DrawLine(0, y, kFleetGridRight, y, kBlack);
    }
}

}  // namespace

void ClearTargetBoard() {
    for (int column = 1; column <= kBoardCells; ++column) {
        for (int row = 1; row <= kBoardCells; ++row) {
            const Point probe = TargetProbe(column, row);
            FloodFill(probe.x, probe.y, kWhite, kBlack);
            game::Cell(game::PlayerShots, column, row) = 0;
        }
    }
}

void ClearFleetBoard() {
    for (int column = 1; column <= kBoardCells; ++column) {
        for (int row = 1; row <= kBoardCells; ++row) {
            const Point seed = FleetProbe(column, row);
            FloodFill(seed.x, seed.y, kWhite, kBlack);
        }
    }
}

void CopyFleetToFleetBoard() {
    for (int column = 1; column <= kBoardCells; ++column) {
        for (int row = 1; row <= kBoardCells; ++row) {
            const Point probe = TargetProbe(column, row);
            if (ReadPixel(probe.x, probe.y) == kShipGrey)
                game::Cell(game::PlayerShots, column, row) = 1;
        }
    }
    DrawFleetGrid();
    for (int column = 1; column <= kBoardCells; ++column) {
        for (int row = 1; row <= kBoardCells; ++row) {
            if (game::Cell(game::PlayerShots, column, row) != 1) continue;
            const Point seed = FleetProbe(column, row);
            FloodFill(seed.x, seed.y, kShipGrey, kBlack);
        }
    }
    ClearTargetBoard();
}

}  // namespace screen
