// The ship placement screen: ten ships placed by mouse clicks on the big board,
// judged by reading pixels, then confirmed or started again. The placed fleet
// exists only as grey cells on the big board; this module keeps no copy.
#include "screen/placement.h"

#include <string>
#include <string_view>

#include "game/core/board.h"
#include "game/core/match_state.h"
#include "screen/fleet_copy.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace screen {
namespace {

constexpr int kPassPauseMs = 80;
constexpr int kPlaceShipPauseMs = 40;
constexpr int kConfirmPauseMs = 10;

// Texts are code page 437: 0x81 is u-umlaut, 0x84 a-umlaut, 0x94 o-umlaut.
constexpr std::string_view kStartTexts[] = {
    "Zu positionierende Schiffe:",
    " ",
    "ein Schlachtschiff (5 Felder)",
    "zwei Zerst\x94rer (4 Felder)",
    "drei Kreuzer (3 Felder)",
    "vier U-Boote (2 Felder)",
    " ",
    "Linke Maustaste: waagerecht setzen",
    "Rechte Maustaste: senkrecht setzen",
    " ",
};
constexpr std::string_view kConfirmTexts[] = {
    " ",
    "Auswahl mit ENTER best\x84tigen,",
    "mit ESC l\x94schen",
    " ",
};
constexpr std::string_view kOnALine = "Bitte f\x81r ein Feld entscheiden!";
constexpr std::string_view kOverTheEdge =
    "Dieses Schiff w\x81rde \x81"
    "ber den Rand hinausgehen!";
constexpr std::string_view kCellTaken = "Hier liegt schon ein Schiff!";
constexpr std::string_view kTouching = "Schiffe d\x81rfen sich nicht direkt  ber\x81hren!";

enum class Confirmation { kConfirmed, kRestart, kEnded };

bool IsGrey(int x, int y) {
    return ReadPixel(x, y) == kShipGrey;
}

bool LeavesTheBoard(int x, int y, int length, bool horizontal) {
    const int extent = kTargetCellSize * (length - 1);
    if (x < kTargetCellSize || y < kTargetCellSize) return true;
    if (horizontal) return x > kTargetGridEnd - extent || y > kTargetGridEnd;
    return x > kTargetGridEnd || y > kTargetGridEnd - extent;
}

// Probes both end neighbours first, then the cells on both sides of every ship
// cell; diagonal neighbours are never probed.
bool TouchesAShip(int x, int y, int length, bool horizontal) {
    const int dx = horizontal ? kTargetCellSize : 0;
    const int dy = horizontal ? 0 : kTargetCellSize;
    if (IsGrey(x - dx, y - dy) || IsGrey(x + dx * length, y + dy * length)) return true;
    for (int s = 0; s < length; ++s) {
        const int cx = x + dx * s;
        const int cy = y + dy * s;
        if (IsGrey(cx + dy, cy + dx) || IsGrey(cx - dy, cy - dx)) return true;
    }
    return false;
}

// The first failing check names the refusal; an empty answer means the ship fits.
std::string_view Refusal(int x, int y, int length, bool horizontal) {
    if (ReadPixel(x, y) == kBlack) return kOnALine;
    if (LeavesTheBoard(x, y, length, horizontal)) return kOverTheEdge;
    if (IsGrey(x, y)) return kCellTaken;
    if (TouchesAShip(x, y, length, horizontal)) return kTouching;
    return {};
}

void PaintShip(int x, int y, int length, bool horizontal) {
    for (int s = 0; s < length; ++s) {
        const int offset = kTargetCellSize * s;
        FloodFill(horizontal ? x + offset : x, horizontal ? y : y + offset, kShipGrey, kBlack);
    }
}

template <std::size_t N>
void LogAll(const std::string_view (&texts)[N]) EXCLUDES(game::ScreenMutex) {
    game::ScreenGuard guard;
    for (std::string_view text : texts)
        LogLine(text);
}

std::string LockedReadKey() EXCLUDES(game::ScreenMutex) {
    game::ScreenGuard guard;
    return ReadKey();
}

// One placement pass: a key, the pause and a press. The pause is taken
// without the lock: the mutex is not fair, and a lock given up for an instant
// between two long holds would keep other threads (the received messages
// among them) waiting for seconds.
std::string PlacementPass(MouseSample& press) EXCLUDES(game::ScreenMutex) {
    std::string key = LockedReadKey();
    WaitMs(kPassPauseMs);
    game::ScreenGuard guard;
    press = TakePress();
    return key;
}

enum class ShipOutcome { kPlaced, kClosed, kRestart };

// Places ship n. Escape starts the placement again at any point, since the
// ships placed so far may leave no room for the rest.
ShipOutcome PlaceOneShip(int length, InputLineProcedure inputLine) EXCLUDES(game::ScreenMutex) {
    for (;;) {
        const std::uint64_t seen = InputGeneration();
        MouseSample press{};
        const std::string key = PlacementPass(press);
        if (IsKey(key, kKeyEscape)) return ShipOutcome::kRestart;
        const bool pressed =
            press.flag == 0 && (press.buttons == kButtonLeft || press.buttons == kButtonRight);
        const bool placed = pressed && PlaceShip(press.x, press.y, length,
                                                 press.buttons == kButtonLeft ? 1 : 0, inputLine);
        if (key == kCloseRequest) return ShipOutcome::kClosed;
        if (placed || game::Quitting()) return ShipOutcome::kPlaced;
        // Nothing to act on until the player moves, clicks or types, or
        // another thread raises QuitFlag: sleep instead of polling.
        if (press.flag != 0 && key.empty()) WaitForInputAfter(seen);
    }
}

// A close request here ends the program as it does while ships are placed,
// rather than being swallowed by the confirmation.
Confirmation AwaitConfirmation() EXCLUDES(game::ScreenMutex) {
    for (;;) {
        const std::uint64_t seen = InputGeneration();
        const std::string key = LockedReadKey();
        if (IsKey(key, kKeyEnter)) return Confirmation::kConfirmed;
        if (IsKey(key, kKeyEscape)) return Confirmation::kRestart;
        WaitMs(kConfirmPauseMs);
        if (key == kCloseRequest) {
            game::RaiseStop();
            return Confirmation::kEnded;
        }
        if (game::Quitting()) return Confirmation::kEnded;
        if (key.empty()) WaitForInputAfter(seen);
    }
}

// One run from the start texts to the confirmation; Escape asks for another.
Confirmation PlacementRun(InputLineProcedure inputLine) EXCLUDES(game::ScreenMutex) {
    {
        game::ScreenGuard guard;
        for (std::string_view text : kStartTexts)
            LogLine(text);
        ClearTargetBoard();
    }
    for (std::uint8_t length : game::kShipLengths) {
        if (game::Quitting()) return Confirmation::kEnded;
        const ShipOutcome outcome = PlaceOneShip(length, inputLine);
        if (outcome == ShipOutcome::kRestart) return Confirmation::kRestart;
        if (outcome == ShipOutcome::kClosed) {
            game::RaiseStop();
            return Confirmation::kEnded;
        }
    }
    LogAll(kConfirmTexts);
    return AwaitConfirmation();
}

}  // namespace

void PlacementScreen(InputLineProcedure inputLine) {
    while (PlacementRun(inputLine) == Confirmation::kRestart) {
    }
}

int PlaceShip(int x, int y, int length, int horizontal, InputLineProcedure inputLine) {
    if (InZone(kInputLineClickZone, x, y)) {
        inputLine();
        WaitMs(kPlaceShipPauseMs);
        return 0;
    }
    bool placed = false;
    {
        game::ScreenGuard guard;
        const std::string_view refusal = Refusal(x, y, length, horizontal != 0);
        placed = refusal.empty();
        if (placed) {
            PaintShip(x, y, length, horizontal != 0);
        } else {
            LogLine(refusal);
        }
    }
    WaitMs(kPlaceShipPauseMs);
    return placed ? 1 : 0;
}

}  // namespace screen
