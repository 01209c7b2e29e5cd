// The ReadyWorker and the TurnLoop of a network match. They draw, read input
// and change shared state only under the screen mutex, and release it before
// the placement screen, the input line and every send. Between presses and
// keys they sleep: a press, a key, the opponent's Ready or QuitFlag wakes them.
#include "game/match/match_threads.h"

#include <string>

#include "game/core/board.h"
#include "game/core/shot_report.h"
#include "game/match/dispatcher.h"
#include "game/match/input_line.h"
#include "screen/fleet_copy.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/placement.h"

namespace game {
namespace {

screen::MouseSample LockedTakePress() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    return screen::TakePress();
}

bool OnInputLine(const screen::MouseSample& press) {
    return screen::IsLeftClick(press) &&
           screen::InZone(screen::kInputLineClickZone, press.x, press.y);
}

// Reads one key per pass: a close request ends the game here. A click into the
// input field opens it; other presses do nothing while the opponent places.
void WaitForOpponent() EXCLUDES(ScreenMutex) {
    for (;;) {
        const std::uint64_t seen = screen::InputGeneration();
        if (OpponentReady.load(std::memory_order_relaxed) == 1 || Quitting()) return;
        screen::MouseSample press{};
        std::string key;
        {
            ScreenGuard guard;
            key = screen::ReadKey();
            press = screen::TakePress();
            if (key == screen::kCloseRequest) {
                RaiseQuitFlag(true);
                return;
            }
        }
        if (OnInputLine(press)) InputLine();
        if (key.empty() && press.flag != 0) screen::WaitForInputAfter(seen);
    }
}

void StartPlaying() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    screen::ShowPhaseLabel(screen::kPhasePlaying);
    if (PlayerNumber == kClientPlayer && FirstGame.load(std::memory_order_relaxed) == 1) {
        MyTurn.store(1, std::memory_order_relaxed);
        screen::PaintTurnIndicator(screen::kTurnYellow);
    }
}

void FireAtPress(const screen::MouseSample& mouse) EXCLUDES(ScreenMutex) {
    const int column = screen::TargetCellAt(mouse.x) - 1;
    const int row = screen::TargetCellAt(mouse.y) - 1;
    bool repeated = false;
    {
        ScreenGuard guard;
        repeated = Cell(PlayerShots, column + 1, row + 1) == 1;
        if (repeated) ShowRepeatedShot();
    }
    if (repeated) {
        screen::WaitMs(kRepeatedShotPauseMs);
    } else {
        SendShot(column, row);
    }
}

// The field stays open for the next line until the player clicks elsewhere.
void KeepInputLineOpen() EXCLUDES(ScreenMutex) {
    while (!Quitting() && RunInputLine() == LineEnd::kSent) {
    }
}

}  // namespace

void ReadyWorker() {
    {
        ScreenGuard guard;
        screen::ShowPhaseLabel(screen::kPhasePlacing);
    }
    screen::PlacementScreen(InputLine);
    if (Quitting()) return;
    {
        ScreenGuard guard;
        screen::ShowPhaseLabel(screen::kPhaseWaiting);
        screen::CopyFleetToFleetBoard();
    }
    SendReady();
    if (!Quitting()) StartGameThread(GameThread::kTurn, TurnLoop);
}

// A press on the big board out of turn does nothing; it is not kept for later.
void TurnLoop() {
    WaitForOpponent();
    if (Quitting()) return;
    StartPlaying();
    for (;;) {
        const std::uint64_t seen = screen::InputGeneration();
        if (Quitting()) return;
        const screen::MouseSample press = LockedTakePress();
        if (screen::IsLeftClick(press) &&
            screen::InZone(screen::kTargetClickZone, press.x, press.y)) {
            if (MyTurn.load(std::memory_order_relaxed) == 1) FireAtPress(press);
        } else if (OnInputLine(press)) {
            KeepInputLineOpen();
        } else if (press.flag != 0) {
            // Keys wait for the input line: only a change may end this sleep.
            screen::WaitForChangeAfter(seen);
        }
    }
}

}  // namespace game
