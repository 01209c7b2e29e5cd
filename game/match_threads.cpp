// The ReadyWorker and the TurnLoop of a network match. They draw, poll and
// change shared state only under the screen mutex, and release it before the
// placement screen, the input line and every send.
#include "game/match_threads.h"

#include <string>

#include "game/board.h"
#include "game/dispatcher.h"
#include "game/input_line.h"
#include "screen/fleet_copy.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/placement.h"

namespace game {
namespace {

constexpr int kPollPauseMs = 50;
constexpr int kRepeatedShotPauseMs = 100;
constexpr std::string_view kRepeatedShot = "Das Feld wurde bereits beschossen";

screen::MouseSample LockedPoll() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    return screen::PollMouse();
}

// Reads one key per pass: a close request ends the game here. A click into the
// input field opens it.
void WaitForOpponent() EXCLUDES(ScreenMutex) {
    do {
        screen::MouseSample mouse{};
        {
            ScreenGuard guard;
            const std::string key = screen::ReadKey();
            mouse = screen::PollMouse();
            if (key == screen::kCloseRequest) {
                RaiseQuitFlag(true);
                return;
            }
        }
        if (screen::IsLeftClick(mouse) &&
            screen::InZone(screen::kInputLineClickZone, mouse.x, mouse.y)) {
            InputLine();
        }
        screen::DelayMs(kPollPauseMs);
    } while (OpponentReady.load(std::memory_order_relaxed) == 0 && !Quitting());
}

void StartPlaying() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    screen::ShowPhaseLabel(screen::kPhasePlaying);
    if (PlayerNumber == kClientPlayer && FirstGame.load(std::memory_order_relaxed) == 1) {
        MyTurn.store(1, std::memory_order_relaxed);
        screen::PaintTurnIndicator(screen::kTurnYellow);
    }
}

void FireAtClick(const screen::MouseSample& mouse) EXCLUDES(ScreenMutex) {
    const int column = screen::TargetCellAt(mouse.x) - 1;
    const int row = screen::TargetCellAt(mouse.y) - 1;
    bool repeated = false;
    {
        ScreenGuard guard;
        repeated = Cell(PlayerShots, column + 1, row + 1) == 1;
        if (repeated) screen::LogLine(kRepeatedShot);
    }
    if (repeated) {
        screen::WaitMs(kRepeatedShotPauseMs);
    } else {
        SendShot(column, row);
    }
}

// The field stays open for the next line until the player clicks elsewhere.
void KeepInputLineOpen() EXCLUDES(ScreenMutex) {
    while (!Quitting()) {
        InputLine();
        if (screen::IsLeftClick(LockedPoll())) return;
        screen::DelayMs(kPollPauseMs);
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

void TurnLoop() {
    WaitForOpponent();
    if (Quitting()) return;
    StartPlaying();
    while (!Quitting()) {
        const screen::MouseSample mouse = LockedPoll();
        if (screen::IsLeftClick(mouse)) {
            if (screen::InZone(screen::kTargetClickZone, mouse.x, mouse.y)) {
                if (MyTurn.load(std::memory_order_relaxed) == 1) FireAtClick(mouse);
            } else if (screen::InZone(screen::kInputLineClickZone, mouse.x, mouse.y)) {
                KeepInputLineOpen();
            }
        }
        screen::DelayMs(kPollPauseMs);
    }
}

}  // namespace game
