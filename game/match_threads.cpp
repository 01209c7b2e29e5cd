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

void Lock() {
    screen::MutexLock(ScreenMutex);
}
void Unlock() {
    screen::MutexUnlock(ScreenMutex);
}

bool Quitting() {
    return QuitFlag.load(std::memory_order_relaxed) == 1;
}

bool LeftClick(const screen::MouseSample& mouse) {
    return mouse.flag == 0 && mouse.buttons == screen::kButtonLeft;
}

screen::MouseSample LockedPoll() {
    Lock();
    const screen::MouseSample mouse = screen::PollMouse();
    Unlock();
    return mouse;
}

// Reads one key per pass: a close request ends the game here. A click into the
// input field opens it.
void WaitForOpponent() {
    do {
        Lock();
        const std::string key = screen::ReadKey();
        const screen::MouseSample mouse = screen::PollMouse();
        if (key == screen::kCloseRequest) {
            RaiseQuitFlag(true);
            Unlock();
            return;
        }
        Unlock();
        if (LeftClick(mouse) && screen::InZone(screen::kInputLineClickZone, mouse.x, mouse.y)) {
            InputLine();
        }
        screen::DelayMs(kPollPauseMs);
    } while (OpponentReady.load(std::memory_order_relaxed) == 0 && !Quitting());
}

void StartPlaying() {
    Lock();
    screen::ShowPhaseLabel(kPlayingLabelX, "Spiel startet");
    if (PlayerNumber == kClientPlayer && FirstGame.load(std::memory_order_relaxed) == 1) {
        MyTurn.store(1, std::memory_order_relaxed);
        screen::PaintTurnIndicator(screen::kTurnYellow);
    }
    Unlock();
}

// A pixel on a grid line counts for the cell left of or above it.
int CellIndex(int pixel) {
    return (pixel - screen::kTargetCellSize - 1) / screen::kTargetCellSize;
}

void FireAtClick(const screen::MouseSample& mouse) {
    const int column = CellIndex(mouse.x);
    const int row = CellIndex(mouse.y);
    Lock();
    const bool repeated = Cell(PlayerShots, column + 1, row + 1) == 1;
    if (repeated) screen::LogLine(kRepeatedShot);
    Unlock();
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
    Lock();
    slot = screen::ThreadCreate(procedure);
    Unlock();
}

void WaitForGameThread(screen::ThreadHandle& slot) {
    Lock();
    const screen::ThreadHandle thread = slot;
    slot = nullptr;
    Unlock();
    screen::ThreadWait(thread);
}

void ReadyWorker() {
    Lock();
    screen::ShowPhaseLabel(kPlacementLabelX, "Schiffe setzen");
    Unlock();
    screen::PlacementScreen();
    if (Quitting()) return;
    Lock();
    screen::ShowPhaseLabel(kWaitingLabelX, "Warte...");
    screen::CopyFleetToFleetBoard();
    Unlock();
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
