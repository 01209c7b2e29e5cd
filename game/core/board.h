// The game's data: the Board type, the fixed fleet, the boards, counters and
// the turn flag both match flows share, the computer's placement rule and the
// shot bookkeeping. No drawing, no input and no threads happen here.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace game {

inline constexpr int kBoardSize = 10;
inline constexpr int kFleetSize = 10;
inline constexpr int kFleetCells = 30;
inline constexpr int kShortestShip = 2;
inline constexpr int kLongestShip = 5;
// Ship lengths in the order of the ship numbers 1 to 10, longest first.
inline constexpr std::array<std::uint8_t, kFleetSize> kShipLengths = {5, 4, 4, 3, 3, 3, 2, 2, 2, 2};
// How many ships of each length a fleet holds, indexed by length.
inline constexpr std::array<std::uint8_t, kLongestShip + 1> kShipsOfLength = {0, 0, 4, 3, 2, 1};

inline constexpr std::uint8_t kVertical = 0;
inline constexpr std::uint8_t kHorizontal = 1;

// 10 x 10 one-byte cells addressed (column, row), both counted 1 to 10.
struct Board {
    std::uint8_t cells[kBoardSize][kBoardSize];
};

constexpr bool OnBoard(int column, int row) {
    return column >= 1 && column <= kBoardSize && row >= 1 && row <= kBoardSize;
}
inline std::uint8_t& Cell(Board& board, int column, int row) {
    return board.cells[column - 1][row - 1];
}
inline std::uint8_t Cell(const Board& board, int column, int row) {
    return board.cells[column - 1][row - 1];
}
// Off-board cells read as 0, the way the neighbour rule treats them.
inline std::uint8_t CellOrZero(const Board& board, int column, int row) {
    return OnBoard(column, row) ? Cell(board, column, row) : 0;
}
void ClearBoard(Board& board);

extern Board ComputerFleet;
extern Board PlayerShots;
extern Board PlayerFleet;
extern Board ComputerKnowledge;
// Ships of the player the computer has not yet counted as sunk, indexed by length.
extern std::array<std::uint8_t, kLongestShip + 1> RemainingShips;
extern std::int32_t PlacementAttempts;
extern std::uint8_t EnemyCellsLeft;
extern std::uint8_t OwnCellsLeft;
// 1 while the local player may fire; polled by several threads without a lock.
extern std::atomic<std::uint8_t> MyTurn;

// Places a ship on ComputerFleet when the neighbour rule allows it; returns 1
// when placed, 0 when not; a length outside 2..5 is never placed. Every call
// counts in PlacementAttempts.
std::uint8_t TryPlaceShip(std::uint8_t column, std::uint8_t row, std::uint8_t length,
                          std::uint8_t orientation);

enum class Shot { kRepeated, kWater, kHit };

// Fires at one cell: records it on `firedAt`, judges it against `fleet` and
// lowers `cellsLeft` on a hit. A cell fired at before changes nothing.
Shot FireShot(Board& firedAt, const Board& fleet, std::uint8_t& cellsLeft, int column, int row);

inline bool FleetSunk(std::uint8_t cellsLeft) {
    return cellsLeft == 0;
}

}  // namespace game
