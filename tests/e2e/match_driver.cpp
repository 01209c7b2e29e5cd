// The steps of a network match as a player takes them, and what the windows
// must show after each.
#include "tests/e2e/match_driver.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "tests/e2e/frame_compare.h"

namespace e2e {
namespace {

constexpr int kKeyPauseMs = 20;
constexpr int kStatusPanelX = 340;
constexpr int kStatusPanelY = 172;
constexpr int kInputFieldX = 200;
constexpr int kInputFieldY = 290;
constexpr int kInputTextX = 127;
constexpr int kInputTextY = 286;
constexpr int kGlyphSide = 8;
constexpr int kCursorX = kInputTextX;  // the cursor of an empty line
constexpr int kCursorY = 289;
constexpr int kLogX = 127;
constexpr int kLogTopY = 304;
constexpr int kLogRowHeight = 10;
constexpr int kLogRows = 9;
constexpr int kComputerMatchTimeoutMs = 150000;

bool StatusShows(const Frame& f, const char* upper, int upperX, const char* lower, int lowerX,
                 std::uint32_t paper) {
    return TextShows(f, upperX, 165, upper, kBlackPixel, paper) &&
           TextShows(f, lowerX, 175, lower, kBlackPixel, paper);
}

bool ShipStands(const Frame& f, const Ship& ship) {
    for (int s = 0; s < ship.length; ++s) {
        const int column = ship.column + (ship.across ? s : 0);
        const int row = ship.row + (ship.across ? 0 : s);
        if (!BigCellIs(f, column, row, kGreyPixel)) return false;
    }
    return true;
}

}  // namespace

const std::vector<Ship> kServerFleet = {
    {1, 1, true, 5}, {1, 3, true, 4},   {1, 5, true, 4}, {1, 7, true, 3}, {1, 9, true, 3},
    {7, 1, true, 3}, {10, 3, false, 2}, {7, 5, true, 2}, {7, 7, true, 2}, {7, 9, true, 2},
};
const std::vector<Ship> kClientFleet = {
    {1, 1, false, 5}, {3, 1, false, 4}, {5, 1, false, 4}, {7, 1, false, 3}, {9, 1, false, 3},
    {1, 7, false, 3}, {3, 6, true, 2},  {6, 6, true, 2},  {9, 6, false, 2}, {4, 9, true, 2},
};

int CellCentre(int index) {
    return 25 * index + 12;
}

bool BigCellIs(const Frame& f, int column, int row, std::uint32_t colour) {
    return PixelAt(f, 25 * column + 1, 25 * row + 1) == colour &&
           PixelAt(f, 25 * column + 23, 25 * row + 23) == colour;
}

bool SmallCellIs(const Frame& f, int column, int row, std::uint32_t colour) {
    return PixelAt(f, 12 * column - 11, 12 * row + 269) == colour;
}

int CellsOn(const Frame& f, bool bigBoard, std::uint32_t colour) {
    int cells = 0;
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            const bool is = bigBoard ? BigCellIs(f, c, r, colour) : SmallCellIs(f, c, r, colour);
            cells += is ? 1 : 0;
        }
    }
    return cells;
}

bool InLobby(const Frame& f) {
    return TextShows(f, 296, 170, "IP eingeben", kBlackPixel, kWhitePixel);
}

bool Connected(const Frame& f) {
    return StatusShows(f, "Verbindung", 300, "hergestellt", 296, kWhitePixel);
}

bool Disconnected(const Frame& f) {
    return StatusShows(f, "Verbindung", 300, "getrennt", 308, kRedPixel);
}

bool PhaseShows(const Frame& f, int x, const char* label) {
    return TextShows(f, x, 240, label, kBlackPixel, kWhitePixel);
}

bool Placing(const Frame& f) {
    return PhaseShows(f, 284, "Schiffe setzen");
}

bool ResultShows(const Frame& f, bool won) {
    const std::uint32_t paper = won ? kBluePixel : kRedPixel;
    return PixelAt(f, 281, 211) == paper &&
           TextShows(f, 308, 240, won ? "Gewonnen" : "Verloren", kBlackPixel, paper);
}

bool PlayerDigitShows(const Frame& f, char digit) {
    return TextShows(f, 368, 98, std::string(1, digit), kBlackPixel, kWhitePixel);
}

bool LogShows(const Frame& f, std::string_view text, std::uint32_t colour) {
    for (int row = 0; row < kLogRows; ++row) {
        if (TextShows(f, kLogX, kLogTopY + kLogRowHeight * row, text, colour, kWhitePixel))
            return true;
    }
    return false;
}

int LogRowOf(const Frame& f, std::string_view text) {
    for (int row = 0; row < kLogRows; ++row) {
        if (TextShows(f, kLogX, kLogTopY + kLogRowHeight * row, text, kBlackPixel, kWhitePixel))
            return row;
    }
    return -1;
}

int LogRowMiddleY(int row) {
    return kLogTopY + kLogRowHeight * row + kGlyphSide / 2;
}

bool LastLogLineShows(const Frame& f, std::string_view text, std::uint32_t colour) {
    return TextShows(f, kLogX, kLogTopY + kLogRowHeight * (kLogRows - 1), text, colour,
                     kWhitePixel);
}

bool InputLineShows(const Frame& f, std::string_view text) {
    const int cursorX = kInputTextX + kGlyphSide * static_cast<int>(text.size());
    return TextShows(f, kInputTextX, kInputTextY, text, kBlackPixel, kWhitePixel) &&
           PixelAt(f, cursorX, kCursorY) == kBlackPixel;
}

std::vector<std::pair<int, int>> WaterOf(const std::vector<Ship>& fleet) {
    const auto ships = FleetCells(fleet);
    std::vector<std::pair<int, int>> water;
    for (int r = 1; r <= 10; ++r) {
        for (int c = 1; c <= 10; ++c) {
            if (std::find(ships.begin(), ships.end(), std::pair{c, r}) == ships.end())
                water.emplace_back(c, r);
        }
    }
    return water;
}

bool StartServerGame(Session& session, Frame& last) {
    const auto ready = [](const Frame& f) {
        return StatusShows(f, "Server bereit", 288, "Warte...", 308, kWhitePixel);
    };
    return WaitForFrame(session, InLobby, kFrameTimeoutMs, last) &&
           ClickUntil(session, kConnectButtonX, kConnectButtonY, Button::kLeft, ready, last);
}

bool StartClientGame(Session& session, Frame& last, std::string_view address) {
    const auto typing = [](const Frame& f) { return !InLobby(f); };
    return WaitForFrame(session, InLobby, kFrameTimeoutMs, last) &&
           ClickUntil(session, kStatusPanelX, kStatusPanelY, Button::kLeft, typing, last) &&
           TypeText(session, address, kKeyPauseMs) && PressNamedKey(session, "Return");
}

bool StartComputerGame(Session& session, Frame& last) {
    return StartClientGame(session, last, "KI") &&
           WaitForFrame(session, Placing, kNextGameTimeoutMs, last);
}

bool AwaitConnection(Session& session, char digit, Frame& last) {
    return WaitForFrame(
        session,
        [digit](const Frame& f) {
            return Connected(f) && PlayerDigitShows(f, digit) && Placing(f);
        },
        kConnectTimeoutMs, last);
}

bool PlaceShips(Session& session, const std::vector<Ship>& fleet, Frame& last) {
    for (const Ship& ship : fleet) {
        const Button button = ship.across ? Button::kLeft : Button::kRight;
        if (!ClickUntil(
                session, CellCentre(ship.column), CellCentre(ship.row), button,
                [&ship](const Frame& f) { return ShipStands(f, ship); }, last)) {
            return false;
        }
    }
    return true;
}

bool PlaceFleet(Session& session, const std::vector<Ship>& fleet, Frame& last) {
    return PlaceShips(session, fleet, last) && PressNamedKey(session, "Return");
}

bool OpenInputLine(Session& session, Frame& last) {
    const auto open = [](const Frame& f) { return PixelAt(f, kCursorX, kCursorY) == kBlackPixel; };
    return ClickUntil(session, kInputFieldX, kInputFieldY, Button::kLeft, open, last);
}

bool SendInputLine(Session& session, std::string_view text, Frame& last) {
    return OpenInputLine(session, last) && TypeText(session, text, kKeyPauseMs) &&
           PressNamedKey(session, "Return");
}

bool FireAt(Session& shooter, int column, int row, bool hit, Frame& last) {
    const std::uint32_t colour = hit ? kRedPixel : kBluePixel;
    return ClickUntil(
        shooter, CellCentre(column), CellCentre(row), Button::kLeft,
        [=](const Frame& f) { return BigCellIs(f, column, row, colour); }, last);
}

namespace {

bool AnyResult(const Frame& f) {
    return ResultShows(f, true) || ResultShows(f, false);
}

bool PlayersTurn(const Frame& f) {
    return AnyResult(f) || PixelAt(f, 2, 1) == kYellowPixel;
}

bool ComputersTurn(const Frame& f) {
    return AnyResult(f) || PixelAt(f, 2, 1) == kWhitePixel;
}

}  // namespace

bool FireUntilTheComputerMatchEnds(Session& session, Frame& last) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kComputerMatchTimeoutMs);
    for (int row = 1; row <= 10; ++row) {
        for (int column = 1; column <= 10; ++column) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (!WaitForFrame(session, PlayersTurn, kFrameTimeoutMs, last)) return false;
            if (AnyResult(last)) return true;
            const auto fired = [column, row](const Frame& f) {
                return AnyResult(f) || !BigCellIs(f, column, row, kWhitePixel);
            };
            if (!ClickUntil(session, CellCentre(column), CellCentre(row), Button::kLeft, fired,
                            last) ||
                !WaitForFrame(session, ComputersTurn, kFrameTimeoutMs, last)) {
                return false;
            }
            if (AnyResult(last)) return true;
        }
    }
    return WaitForFrame(session, AnyResult, kFrameTimeoutMs, last);
}

}  // namespace e2e
