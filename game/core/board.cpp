// Storage of the shared boards, counters and flags, the placement rule of the
// computer's fleet and the bookkeeping of a single shot.
#include "game/core/board.h"

#include <cstring>

namespace game {

Board ComputerFleet{};
Board PlayerShots{};
Board PlayerFleet{};
Board ComputerKnowledge{};
std::array<std::uint8_t, kLongestShip + 1> RemainingShips = kShipsOfLength;
std::int32_t PlacementAttempts = 0;
std::uint8_t EnemyCellsLeft = kFleetCells;
std::uint8_t OwnCellsLeft = kFleetCells;
std::atomic<std::uint8_t> MyTurn{0};

namespace {

bool FitsOnBoard(int column, int row, int length, int orientation) {
    if (length < kShortestShip || length > kLongestShip) return false;
    if (column < 1 || row < 1) return false;
    if (orientation == kHorizontal) return column <= kBoardSize + 1 - length && row <= kBoardSize;
    return column <= kBoardSize && row <= kBoardSize + 1 - length;
}

// The cells at both ends and along both sides of the ship are free; diagonal
// contact is allowed.
bool NeighboursFree(int column, int row, int length, int orientation) {
    const int dc = orientation == kHorizontal ? 1 : 0;
    const int dr = 1 - dc;
    if (CellOrZero(ComputerFleet, column - dc, row - dr) != 0) return false;
    if (CellOrZero(ComputerFleet, column + dc * length, row + dr * length) != 0) return false;
    for (int s = 0; s < length; ++s) {
        const int c = column + dc * s;
        const int r = row + dr * s;
        if (CellOrZero(ComputerFleet, c - dr, r - dc) != 0) return false;
        if (CellOrZero(ComputerFleet, c + dr, r + dc) != 0) return false;
    }
    return true;
}

}  // namespace

void ClearBoard(Board& board) {
    std::memset(board.cells, 0, sizeof board.cells);
}

// Only the start cell is tested for an existing ship: ships come longest first,
// so any other overlap also touches an end or side neighbour.
std::uint8_t TryPlaceShip(std::uint8_t column, std::uint8_t row, std::uint8_t length,
                          std::uint8_t orientation) {
    ++PlacementAttempts;
    if (!FitsOnBoard(column, row, length, orientation)) return 0;
    if (Cell(ComputerFleet, column, row) != 0) return 0;
    if (!NeighboursFree(column, row, length, orientation)) return 0;
    const int dc = orientation == kHorizontal ? 1 : 0;
    for (int s = 0; s < length; ++s)
        Cell(ComputerFleet, column + dc * s, row + (1 - dc) * s) = 1;
    return 1;
}

Shot FireShot(Board& firedAt, const Board& fleet, std::uint8_t& cellsLeft, int column, int row) {
    std::uint8_t& fired = Cell(firedAt, column, row);
    if (fired != 0) return Shot::kRepeated;
    fired = 1;
    if (Cell(fleet, column, row) == 0) return Shot::kWater;
    --cellsLeft;
    return Shot::kHit;
}

}  // namespace game
