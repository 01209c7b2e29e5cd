// The match flow against the computer: computer placement, player placement,
// the exchange of fire and the result. Works on the shared boards, counters and
// flags; the computer's own decisions live in computer_player.cpp.
#include "game/match/computer_match.h"

#include <string_view>

#include "game/core/board.h"
#include "game/core/computer_player.h"
#include "game/core/shot_report.h"
#include "game/match/input_line.h"
#include "game/match/score.h"
#include "screen/fleet_copy.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/placement.h"

namespace game {
namespace {

constexpr int kPlayerPollPauseMs = 60;
constexpr int kBeforeComputerPauseMs = 500;

void EndOnCloseRequest(ProgramEnd end) {
    if (screen::ReadKey() == screen::kCloseRequest) end();
}

// The placed fleet is read off the big board's pixels before they are cleared.
void ReadPlayerFleet() {
    for (int column = 1; column <= kBoardSize; ++column) {
        for (int row = 1; row <= kBoardSize; ++row) {
            const screen::Point probe = screen::TargetProbe(column, row);
            if (screen::ReadPixel(probe.x, probe.y) == screen::kShipGrey) {
                Cell(PlayerFleet, column, row) = 1;
            }
        }
    }
}

void PrepareMatch(ProgramEnd end) {
    StartComputerOpponent();
    screen::ShowPhaseLabel(screen::kPhaseStarting);
    PlaceComputerFleet(end);
    // Presses made during the last result or the computer's placement do not place ships.
    screen::DropPresses();
    screen::ShowPhaseLabel(screen::kPhasePlacing);
    screen::ClearFleetBoard();
    screen::PlacementScreen(InputLine);
    if (Quitting()) end();
    ReadPlayerFleet();
    screen::CopyFleetToFleetBoard();
    screen::ShowPhaseLabel(screen::kPhasePlaying);
    screen::DropPresses();
}

// Returns true when the click fired; a cell fired at before costs no turn.
bool FireAtClick(int x, int y) {
    const int column = screen::TargetCellAt(x);
    const int row = screen::TargetCellAt(y);
    const Shot shot = FireShot(PlayerShots, ComputerFleet, EnemyCellsLeft, column, row);
    if (shot == Shot::kRepeated) {
        ShowRepeatedShot();
        screen::WaitMs(kRepeatedShotPauseMs);
        return false;
    }
    ShowOurShot(column, row, shot == Shot::kHit);
    return true;
}

void ComputerPhase() {
    screen::PaintTurnIndicator(screen::kWhite);
    screen::WaitMs(kBeforeComputerPauseMs);
    MyTurn.store(0, std::memory_order_relaxed);
    ComputerTurn();
    MyTurn.store(1, std::memory_order_relaxed);
    // Presses made while the computer fired do not count.
    screen::DropPresses();
}

}  // namespace

// Between presses the phase sleeps until input comes instead of polling.
void PlayerPhase(ProgramEnd end) {
    screen::PaintTurnIndicator(screen::kTurnYellow);
    do {
        const std::uint64_t seen = screen::InputGeneration();
        EndOnCloseRequest(end);
        const screen::MouseSample press = screen::TakePress();
        if (screen::IsLeftClick(press) &&
            screen::InZone(screen::kTargetClickZone, press.x, press.y) &&
            FireAtClick(press.x, press.y)) {
            return;
        }
        screen::WaitMs(kPlayerPollPauseMs);
        if (press.flag != 0 && MyTurn.load(std::memory_order_relaxed) == 1)
            screen::WaitForInputAfter(seen);
    } while (MyTurn.load(std::memory_order_relaxed) == 1);
}

void ExchangeFire(ProgramEnd end) {
    for (;;) {
        PlayerPhase(end);
        if (FleetSunk(EnemyCellsLeft)) return;
        ComputerPhase();
        if (FleetSunk(EnemyCellsLeft) || FleetSunk(OwnCellsLeft)) return;
    }
}

// The loser of a match fires first in the next one.
void FinishMatch() {
    const bool won = FleetSunk(EnemyCellsLeft);
    ShowGameResult(won);
    MyTurn.store(won ? 0 : 1, std::memory_order_relaxed);
    OwnCellsLeft = kFleetCells;
    EnemyCellsLeft = kFleetCells;
    screen::PaintTurnIndicator(screen::kWhite);
    screen::WaitMs(kResultPauseMs);
    screen::ClearPhaseBackground();
}

void RunComputerMatch(ProgramEnd end) {
    for (;;) {
        PrepareMatch(end);
        ExchangeFire(end);
        FinishMatch();
    }
}

}  // namespace game
