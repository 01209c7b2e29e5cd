// The computer opponent's placement and shooting. Owns the random generator
// and the target state; works on ComputerFleet, PlayerFleet, ComputerKnowledge,
// RemainingShips and OwnCellsLeft, and draws only the marks of its own shots.
#include "game/core/computer_player.h"
#include "game/core/computer_player_testing.h"

#include <chrono>
#include <random>
#include <string_view>

#include "game/core/board.h"
#include "game/core/shot_report.h"
#include "screen/graphics.h"

namespace game {
namespace {

constexpr int kMaxAttemptsPerCycle = 200;
constexpr int kFailedAttemptPauseMs = 1;
constexpr int kRedrawPauseMs = 10;
constexpr int kPassPauseMs = 10;
constexpr int kDirections = 4;
constexpr int kOrientations = 2;
constexpr double kUnitScale = 0x1.0p-53;  // 53 random bits give a double in [0, 1)
constexpr int kSpareBits = 11;

enum Direction : std::uint8_t { kNone = 0, kLeft = 1, kRight = 2, kUp = 3, kDown = 4 };

struct OpponentState {
    std::mt19937_64 generator;
    double (*scriptedSource)() = nullptr;
    TargetState target{};
    std::uint64_t shots = 0;
    CellRef lastShot{};
};

OpponentState opponent;
TargetState& target = opponent.target;

double Random() {
    if (opponent.scriptedSource != nullptr) return opponent.scriptedSource();
    return static_cast<double>(opponent.generator() >> kSpareBits) * kUnitScale;
}

int Draw(int n) {
    return static_cast<int>(Random() * n);
}
std::uint8_t DrawCoordinate() {
    return static_cast<std::uint8_t>(Draw(kBoardSize) + 1);
}

struct Offset {
    int column;
    int row;
};

Offset StepOf(std::uint8_t direction) {
    switch (direction) {
        case kLeft:
            return {-1, 0};
        case kRight:
            return {1, 0};
        case kUp:
            return {0, -1};
        case kDown:
            return {0, 1};
        default:
            return {0, 0};
    }
}

std::uint8_t Opposite(std::uint8_t direction) {
    return direction == kLeft    ? kRight
           : direction == kRight ? kLeft
           : direction == kUp    ? kDown
                                 : kUp;
}

bool Horizontal(std::uint8_t direction) {
    return direction == kLeft || direction == kRight;
}

Offset Anchor() {
    return {target.TargetAnchor.column, target.TargetAnchor.row};
}

// The cell k steps from the anchor in `direction`; negative k steps backwards.
Offset FromAnchor(std::uint8_t direction, int k) {
    const Offset step = StepOf(direction);
    const Offset anchor = Anchor();
    return {anchor.column + k * step.column, anchor.row + k * step.row};
}

bool Known(Offset cell) {
    return Cell(ComputerKnowledge, cell.column, cell.row) != 0;
}
bool Open(Offset cell) {
    return OnBoard(cell.column, cell.row) && !Known(cell);
}

void MarkKnown(Offset cell) {
    if (OnBoard(cell.column, cell.row)) Cell(ComputerKnowledge, cell.column, cell.row) = 1;
}

// Fires and reports: first the log line, then the mark on the small board.
bool Fire(Offset cell) {
    const Shot shot = FireShot(ComputerKnowledge, PlayerFleet, OwnCellsLeft, cell.column, cell.row);
    const bool hit = shot == Shot::kHit;
    ++opponent.shots;
    opponent.lastShot = {static_cast<std::uint8_t>(cell.column),
                         static_cast<std::uint8_t>(cell.row)};
    ShowTheirShot(cell.column, cell.row, hit, true);
    return hit;
}

void FindLengthsLeft() {
    for (int length = kLongestShip; length >= kShortestShip; --length) {
        if (RemainingShips[length] >= 1) {
            target.LargestLeft = static_cast<std::uint8_t>(length);
            break;
        }
    }
    for (int length = kShortestShip; length <= kLongestShip; ++length) {
        if (RemainingShips[length] >= 1) {
            target.SmallestLeft = static_cast<std::uint8_t>(length);
            break;
        }
    }
}

// Unknown cells in a row from (column, row) in one direction, at most `limit`.
int FreeRun(int column, int row, Offset step, int limit) {
    int run = 0;
    for (int k = 1; k <= limit; ++k) {
        const Offset cell{column + k * step.column, row + k * step.row};
        if (!Open(cell)) break;
        ++run;
    }
    return run;
}

// Marks every unknown cell that no ship left could cover, in either direction.
void SweepDeadCells() {
    const int shortest = target.SmallestLeft;
    for (int column = 1; column <= kBoardSize; ++column) {
        for (int row = 1; row <= kBoardSize; ++row) {
            if (Cell(ComputerKnowledge, column, row) != 0) continue;
            const int across = 1 + FreeRun(column, row, StepOf(kLeft), shortest - 1) +
                               FreeRun(column, row, StepOf(kRight), shortest - 1);
            const int down = 1 + FreeRun(column, row, StepOf(kUp), shortest - 1) +
                             FreeRun(column, row, StepOf(kDown), shortest - 1);
            if (across < shortest && down < shortest) Cell(ComputerKnowledge, column, row) = 1;
        }
    }
}

// Ships never touch along an edge, so the cells beside a finished ship are water.
void MarkSides() {
    const int h = target.TargetHits;
    const int b = target.BackSteps;
    const std::uint8_t d = target.TargetDirection;
    const int first = b == 0 ? 0 : -(h - b);
    const int last = b == 0 ? h - 1 : b - 1;
    const Offset side = Horizontal(d) ? Offset{0, 1} : Offset{1, 0};
    for (int k = first; k <= last; ++k) {
        const Offset cell = FromAnchor(d, k);
        MarkKnown({cell.column + side.column, cell.row + side.row});
        MarkKnown({cell.column - side.column, cell.row - side.row});
    }
}

void CountSunk(int length) {
    if (length <= kLongestShip && RemainingShips[length] > 0) --RemainingShips[length];
}

void CloseTarget() {
    target.TargetHits = 0;
    target.BackSteps = 0;
    target.TargetDirection = kNone;
}

void Hunt() {
    for (;;) {
        target.TargetAnchor = {DrawCoordinate(), DrawCoordinate()};
        if (!Known(Anchor())) break;
        screen::WaitMs(kRedrawPauseMs);
    }
    if (Fire(Anchor())) target.TargetHits = 1;
}

void SecondHitSearch() {
    std::uint8_t direction = kNone;
    for (;;) {
        direction = static_cast<std::uint8_t>(Draw(kDirections) + 1);
        if (Open(FromAnchor(direction, 1))) break;
        screen::WaitMs(kRedrawPauseMs);
    }
    if (Fire(FromAnchor(direction, 1))) {
        target.TargetDirection = direction;
        ++target.TargetHits;
    }
}

void CompleteTarget() {
    MarkSides();
    CountSunk(target.TargetHits);
    CloseTarget();
}

void FollowSecondDirection() {
    const Offset next = FromAnchor(target.TargetDirection, target.BackSteps);
    if (!Open(next)) {
        CompleteTarget();
        target.TurnDone = 0;
        return;
    }
    if (Fire(next)) {
        ++target.TargetHits;
        ++target.BackSteps;
    } else {
        CompleteTarget();
    }
}

void TurnToSecondDirection() {
    target.TargetDirection = Opposite(target.TargetDirection);
    target.BackSteps = 1;
}

void FollowLine() {
    if (target.BackSteps != 0) {
        FollowSecondDirection();
        return;
    }
    const Offset next = FromAnchor(target.TargetDirection, target.TargetHits);
    if (!Open(next)) {
        TurnToSecondDirection();
        screen::WaitMs(kRedrawPauseMs);
        FollowSecondDirection();
        return;
    }
    if (Fire(next)) {
        ++target.TargetHits;
    } else {
        TurnToSecondDirection();
    }
}

// No ship left is longer, so the target is complete without another shot.
void SunkByLength() {
    const std::uint8_t d = target.TargetDirection;
    if (target.BackSteps == 0) {
        MarkKnown(FromAnchor(d, target.TargetHits));
        MarkKnown(FromAnchor(d, -1));
    } else {
        MarkKnown(FromAnchor(d, target.BackSteps));
    }
    MarkSides();
    CountSunk(target.LargestLeft);
    CloseTarget();
    target.TurnDone = 0;
}

void RunPass() {
    if (target.TargetHits == 0) SweepDeadCells();
    target.TurnDone = 1;
    if (target.TargetHits == 0) {
        Hunt();
    } else if (target.TargetHits == target.LargestLeft) {
        SunkByLength();
    } else if (target.TargetDirection == kNone) {
        SecondHitSearch();
    } else {
        FollowLine();
    }
    screen::WaitMs(kPassPauseMs);
}

// One placement cycle; false when it ran out of attempts and must start over.
bool PlaceFleetInOneCycle(ProgramEnd end) {
    PlacementAttempts = 0;
    for (std::uint8_t length : kShipLengths) {
        const auto orientation = static_cast<std::uint8_t>(Draw(kOrientations));
        for (;;) {
            if (screen::ReadKey() == screen::kCloseRequest) end();
            const std::uint8_t column = DrawCoordinate();
            const std::uint8_t row = DrawCoordinate();
            const bool placed = TryPlaceShip(column, row, length, orientation) == 1;
            if (!placed) screen::WaitMs(kFailedAttemptPauseMs);
            if (PlacementAttempts > kMaxAttemptsPerCycle) return false;
            if (placed) break;
        }
    }
    return true;
}

}  // namespace

void StartComputerOpponent() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    opponent.generator.seed(static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
    ClearBoard(PlayerFleet);
    ClearBoard(ComputerKnowledge);
    RemainingShips = kShipsOfLength;
    target = TargetState{};
}

void PlaceComputerFleet(ProgramEnd end) {
    ClearBoard(ComputerFleet);
    while (!PlaceFleetInOneCycle(end))
        ClearBoard(ComputerFleet);
}

void ComputerTurn() {
    FindLengthsLeft();
    do {
        RunPass();
    } while (target.TurnDone != 1);
}

void SeedComputerRandom(std::uint64_t seed) {
    opponent.generator.seed(seed);
}
void SetComputerRandomSource(double (*source)()) {
    opponent.scriptedSource = source;
}
TargetState GetTargetState() {
    return target;
}
void SetTargetState(const TargetState& state) {
    target = state;
}
std::uint64_t ComputerShotCount() {
    return opponent.shots;
}
CellRef LastComputerShot() {
    return opponent.lastShot;
}

}  // namespace game
