// The ReadyWorker and the TurnLoop of a network match. They draw, poll and
// change shared state only under the screen mutex, and release it before the
// placement screen, the input line and every send.
#include "game/match_threads.h"

#include <string>

#include "game/board.h"
#include "game/input_line.h"
#include "game/lobby.h"
#include "game/network_match.h"
#include "game/protocol.h"
#include "screen/fleet_copy.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/placement.h"

namespace game {
namespace {

constexpr int kPollPauseMs = 50;
constexpr int kRepeatedShotPauseMs = 100;
constexpr int kPlacementLabelX = 284;
constexpr int kWaitingLabelX = 308;
constexpr int kPlayingLabelX = 288;
constexpr std::string_view kRepeatedShot = "Das Feld wurde bereits beschossen";

bool LeftClick(const screen::MouseSample& mouse) {
    return mouse.flag == 0 && mouse.buttons == screen::kButtonLeft;
}

screen::MouseSample LockedPoll() {
    LockScreen();
    const screen::MouseSample mouse = screen::PollMouse();
    UnlockScreen();
    return mouse;
}

// Reads one key per pass: a close request ends the game here. A click into the
// input field opens it.
void WaitForOpponent() {
    do {
        LockScreen();
        const std::string key = screen::ReadKey();
        const screen::MouseSample mouse = screen::PollMouse();
        if (key == screen::kCloseRequest) {
            RaiseQuitFlag(true);
            UnlockScreen();
            return;
        }
        UnlockScreen();
        if (LeftClick(mouse) && screen::InZone(screen::kInputLineClickZone, mouse.x, mouse.y)) {
            InputLine();
        }
        screen::DelayMs(kPollPauseMs);
    } while (OpponentReady.load(std::memory_order_relaxed) == 0 && !Quitting());
}

void StartPlaying() {
    LockScreen();
    screen::ShowPhaseLabel(kPlayingLabelX, "Spiel startet");
    if (PlayerNumber == kClientPlayer && FirstGame.load(std::memory_order_relaxed) == 1) {
        MyTurn.store(1, std::memory_order_relaxed);
        screen::PaintTurnIndicator(screen::kTurnYellow);
    }
    UnlockScreen();
}

// A pixel on a grid line counts for the cell left of or above it.
int CellIndex(int pixel) {
    return (pixel - screen::kTargetCellSize - 1) / screen::kTargetCellSize;
}

void FireAtClick(const screen::MouseSample& mouse) {
    const int column = CellIndex(mouse.x);
    const int row = CellIndex(mouse.y);
    LockScreen();
    const bool repeated = Cell(PlayerShots, column + 1, row + 1) == 1;
    if (repeated) screen::LogLine(kRepeatedShot);
    UnlockScreen();
    if (repeated) {
        screen::WaitMs(kRepeatedShotPauseMs);
    } else {
        SendShot(column, row);
    }
}

// The field stays open for the next line until the player clicks elsewhere.
void KeepInputLineOpen() {
    while (!Quitting()) {
        InputLine();
        if (LeftClick(LockedPoll())) return;
        screen::DelayMs(kPollPauseMs);
    }
}

}  // namespace

void StartGameThread(screen::ThreadHandle& slot, void (*procedure)()) {
    LockScreen();
    slot = screen::ThreadCreate(procedure);
    UnlockScreen();
}

void WaitForGameThread(screen::ThreadHandle& slot) {
    LockScreen();
    const screen::ThreadHandle thread = slot;
    slot = nullptr;
    UnlockScreen();
    screen::ThreadWait(thread);
}

void ReadyWorker() {
    LockScreen();
    screen::ShowPhaseLabel(kPlacementLabelX, "Schiffe setzen");
    UnlockScreen();
    screen::PlacementScreen();
    if (Quitting()) return;
    LockScreen();
    screen::ShowPhaseLabel(kWaitingLabelX, "Warte...");
    screen::CopyFleetToFleetBoard();
    UnlockScreen();
    SendReady();
    if (!Quitting()) StartGameThread(TurnThread, TurnLoop);
}

void TurnLoop() {
    WaitForOpponent();
    if (Quitting()) return;
    StartPlaying();
    while (!Quitting()) {
        const screen::MouseSample mouse = LockedPoll();
        if (LeftClick(mouse)) {
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
