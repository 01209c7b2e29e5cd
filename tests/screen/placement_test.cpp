// Ship placement in offscreen mode: single clicks judged by PlaceShip, and the
// whole placement screen driven by injected clicks and keys on its own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "game/core/board.h"
#include "game/match/input_line.h"
#include "game/match/lobby.h"
#include "screen/font_cp437.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "screen/placement.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using testing_support::CountColour;
using testing_support::NewestLogLine;
using testing_support::WaitUntil;

const std::string kOnALine = "Bitte f\x81r ein Feld entscheiden!";
const std::string kOverTheEdge =
    "Dieses Schiff w\x81rde \x81"
    "ber den Rand hinausgehen!";
const std::string kCellTaken = "Hier liegt schon ein Schiff!";
const std::string kTouching = "Schiffe d\x81rfen sich nicht direkt  ber\x81hren!";

// Whole placements under a sanitizer on a busy machine take their time.
constexpr std::chrono::milliseconds kSlowWait{30000};

// A pixel inside cell (column, row), away from the probe corner.
Point Inside(int column, int row) {
    return {25 * column + 12, 25 * row + 9};
}

bool IsGreyCell(int column, int row) {
    const Point p = TargetProbe(column, row);
    return CountColour(p.x, p.y, p.x + 23, p.y + 23, kShipGrey) == 24 * 24;
}

// Cheap enough to poll while another thread draws: one pixel a cell.
int GreyProbes() {
    int cells = 0;
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            const Point p = TargetProbe(c, r);
            cells += ReadPixel(p.x, p.y) == kShipGrey ? 1 : 0;
        }
    }
    return cells;
}

int GreyCells() {
    int cells = 0;
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r)
            cells += IsGreyCell(c, r) ? 1 : 0;
    }
    return cells;
}

// The log belongs to whoever holds the screen mutex, like every other reader.
std::string Slot(int slot) {
    MutexLock(game::ScreenMutex);
    std::string text = LogSlot(slot);
    MutexUnlock(game::ScreenMutex);
    return text;
}

// Everything above the small board and the log: the board and the panels.
std::vector<Colour> BoardPixels() {
    std::vector<Colour> pixels;
    for (int y = 0; y < 280; ++y) {
        for (int x = 0; x < kWidth; ++x)
            pixels.push_back(ReadPixel(x, y));
    }
    return pixels;
}

// A set pixel of the column label "A" drawn at (35, 10).
Point LabelPixel() {
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            if (kFontCp437[static_cast<unsigned char>('A')][row] & (0x80 >> column)) return {35 + column, 10 + row};
        }
    }
    return {0, 0};
}

// True when `message` was the last text logged; a text longer than a row
// continues on the next one.
bool LoggedLast(const std::string& message) {
    int last = kLogSlots - 1;
    while (last > 0 && Slot(last).empty())
        --last;
    const int rows = static_cast<int>((message.size() + kLogColumns - 1) / kLogColumns);
    return last - rows + 1 >= 0 && Slot(last - rows + 1) == message;
}

class Placing : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        DrawStaticScreen();
        ResetInput();
        SetPausesEnabled(false);
        game::ScreenMutex = MutexCreate();
        game::QuitFlag.store(0);
        game::StopFlag.store(0);
        LogLine("-");  // marks where this test's messages begin
    }
    void TearDown() override {
        // A failed assertion leaves the screen running: end it before cleaning up.
        if (worker.joinable()) {
            game::RaiseQuitFlag();
            worker.join();
        }
        ResetInput();
        SetPausesEnabled(true);
        MutexDestroy(game::ScreenMutex);
        game::ScreenMutex = nullptr;
    }
    // A click that must be refused with `message`, leaving the board as it was.
    void ExpectRefused(Point at, int length, int horizontal, const std::string& message) {
        const auto before = BoardPixels();
        LogLine("-");
        EXPECT_EQ(PlaceShip(at.x, at.y, length, horizontal, game::InputLine), 0);
        EXPECT_TRUE(LoggedLast(message)) << at.x << "," << at.y;
        EXPECT_EQ(BoardPixels(), before) << at.x << "," << at.y;
    }
    std::thread worker;
};

TEST_F(Placing, ALeftClickPlacesToTheRightAndARightClickDownwards) {
    EXPECT_EQ(PlaceShip(Inside(6, 1).x, Inside(6, 1).y, 5, 1, game::InputLine), 1);
    for (int c = 6; c <= 10; ++c)
        EXPECT_TRUE(IsGreyCell(c, 1)) << c;
    EXPECT_EQ(PlaceShip(Inside(2, 4).x, Inside(2, 4).y, 3, 0, game::InputLine), 1);
    for (int r = 4; r <= 6; ++r)
        EXPECT_TRUE(IsGreyCell(2, r)) << r;
    EXPECT_EQ(GreyCells(), 8);
    EXPECT_EQ(NewestLogLine(game::ScreenMutex), "-");
}

TEST_F(Placing, ClicksOnBlackPixelsAskForACell) {
    ExpectRefused({25, 40}, 2, 1, kOnALine);  // grid line
    ExpectRefused(LabelPixel(), 2, 1, kOnALine);
    ExpectRefused({280, 100}, 2, 1, kOnALine);  // box outline
}

TEST_F(Placing, ShipsThatWouldLeaveTheBoardAreRefused) {
    ExpectRefused(Inside(7, 1), 5, 1, kOverTheEdge);
    ExpectRefused(Inside(10, 10), 2, 0, kOverTheEdge);
    ExpectRefused({278, 100}, 2, 1, kOverTheEdge);  // white margin right of the board
    ExpectRefused({340, 120}, 2, 1, kOverTheEdge);  // inside a panel on the right
    ExpectRefused({12, 40}, 2, 1, kOverTheEdge);    // row label column
    EXPECT_EQ(PlaceShip(Inside(9, 1).x, Inside(9, 1).y, 2, 1, game::InputLine), 1);  // ends in column 10
}

TEST_F(Placing, AnOccupiedCellAndTouchingShipsAreRefusedButCornersAllowed) {
    ASSERT_EQ(PlaceShip(Inside(3, 5).x, Inside(3, 5).y, 3, 1, game::InputLine), 1);  // (3,5)..(5,5)
    ExpectRefused(Inside(4, 5), 2, 0, kCellTaken);
    ExpectRefused(Inside(6, 5), 2, 1, kTouching);                   // right after the end
    ExpectRefused(Inside(1, 5), 2, 1, kTouching);                   // ends right before the start
    ExpectRefused(Inside(6, 4), 2, 0, kTouching);                   // beside the last cell
    ExpectRefused(Inside(4, 3), 3, 0, kTouching);                   // would cross the ship
    EXPECT_EQ(PlaceShip(Inside(6, 6).x, Inside(6, 6).y, 2, 0, game::InputLine), 1);  // corner contact
    EXPECT_EQ(GreyCells(), 5);
}

// The input line it opens closes at once on the button held outside the field.
TEST_F(Placing, AClickIntoTheInputLinePlacesNothing) {
    InjectMouse(10, 390, kButtonLeft);
    EXPECT_EQ(PlaceShip(200, 290, 5, 1, game::InputLine), 0);
    EXPECT_EQ(PlaceShip(200, 290, 5, 0, game::InputLine), 0);
    EXPECT_EQ(NewestLogLine(game::ScreenMutex), "-");
    EXPECT_EQ(GreyCells(), 0);
}

const std::vector<std::pair<int, int>> kFleet = {{1, 1}, {1, 3}, {1, 5}, {1, 7}, {1, 9},
                                                 {7, 1}, {7, 3}, {7, 5}, {7, 7}, {7, 9}};
const int kLengths[] = {5, 4, 4, 3, 3, 3, 2, 2, 2, 2};

int CellsOfFirst(int ships) {
    int cells = 0;
    for (int i = 0; i < ships; ++i)
        cells += kLengths[i];
    return cells;
}

// Clicks each ship's first cell once the placement has begun, and waits until the ship stands.
void PlaceFleetByClicks() {
    ASSERT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    for (int i = 0; i < 10; ++i) {
        const Point p = Inside(kFleet[i].first, kFleet[i].second);
        InjectClick(p.x, p.y, kButtonLeft);
        ASSERT_TRUE(WaitUntil([i] { return GreyProbes() == CellsOfFirst(i + 1); }, kSlowWait)) << i;
    }
    InjectMouseAway();
    ASSERT_TRUE(WaitUntil(
        [] { return NewestLogLine(game::ScreenMutex) == " " && Slot(7) == "mit ESC l\x94schen"; }));
}

TEST_F(Placing, TheScreenPlacesTenShipsInOrderAndEnterConfirms) {
    worker = std::thread(PlacementScreen, game::InputLine);
    ASSERT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    EXPECT_EQ(Slot(1), "ein Schlachtschiff (5 Felder)");
    EXPECT_EQ(Slot(2), "zwei Zerst\x94rer (4 Felder)");
    EXPECT_EQ(Slot(6), "Linke Maustaste: waagerecht setzen");
    EXPECT_EQ(Slot(8), " ");
    PlaceFleetByClicks();
    InjectKey(std::string(1, kKeyEnter));
    worker.join();
    EXPECT_EQ(GreyCells(), 30);
    EXPECT_EQ(Slot(6), "Auswahl mit ENTER best\x84tigen,");
    EXPECT_EQ(game::QuitFlag.load(), 0);
}

TEST_F(Placing, EscapeAfterTheTenthShipStartsAgainWithTheLongestShip) {
    worker = std::thread(PlacementScreen, game::InputLine);
    PlaceFleetByClicks();
    InjectKey(std::string(1, kKeyEscape));
    ASSERT_TRUE(WaitUntil([] { return GreyProbes() == 0; }, kSlowWait));
    EXPECT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    PlaceFleetByClicks();  // starts with the 5-cell ship again
    InjectKey(std::string(1, kKeyEnter));
    worker.join();
    EXPECT_EQ(GreyCells(), 30);
}

// Nine legal ships that leave no legal place for the last two-cell ship.
struct Click {
    int column;
    int row;
    int buttons;
    int cells;  // grey cells once this ship stands
};
constexpr Click kDeadEnd[] = {
    {4, 1, kButtonRight, 5},  {7, 4, kButtonRight, 9},   {7, 2, kButtonLeft, 13},
    {2, 7, kButtonRight, 16}, {7, 9, kButtonLeft, 19},   {5, 8, kButtonRight, 22},
    {1, 2, kButtonRight, 24}, {10, 5, kButtonRight, 26}, {2, 4, kButtonRight, 28},
};

TEST_F(Placing, EscapeStartsAgainAtAnyPointEvenFromADeadEnd) {
    worker = std::thread(PlacementScreen, game::InputLine);
    ASSERT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    for (const Click& click : kDeadEnd) {
        const Point p = Inside(click.column, click.row);
        InjectClick(p.x, p.y, click.buttons);
        ASSERT_TRUE(WaitUntil([&click] { return GreyProbes() == click.cells; }, kSlowWait))
            << click.column << "," << click.row;
    }
    InjectMouseAway();
    InjectKey(std::string(1, kKeyEscape));
    ASSERT_TRUE(WaitUntil([] { return GreyProbes() == 0; }, kSlowWait));
    EXPECT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    EXPECT_EQ(Slot(1), "ein Schlachtschiff (5 Felder)");
    PlaceFleetByClicks();  // starts with the 5-cell ship again
    InjectKey(std::string(1, kKeyEnter));
    worker.join();
    EXPECT_EQ(GreyCells(), 30);
    EXPECT_EQ(game::QuitFlag.load(), 0);
}

// The mutex is not fair: a placement pass that gave it up only for an instant
// between two long holds would keep a thread that draws a received message
// waiting for many seconds. Each wait here is bounded by one pass of 80 ms.
TEST_F(Placing, AnotherThreadGetsTheScreenMutexDuringEveryPass) {
    SetPausesEnabled(true);
    worker = std::thread(PlacementScreen, game::InputLine);
    ASSERT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    // The pointer moving over the window without a button keeps the passes going.
    std::atomic<bool> moving{true};
    std::thread mover([&moving] {
        for (int x = 0; moving.load(); x = (x + 1) % 200) {
            InjectMouse(30 + x, 100, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    constexpr auto kLongestFairWait = std::chrono::seconds(1);
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        MutexLock(game::ScreenMutex);
        const auto waited = std::chrono::steady_clock::now() - start;
        MutexUnlock(game::ScreenMutex);
        EXPECT_LT(waited, kLongestFairWait) << "round " << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    moving.store(false);
    mover.join();
    InjectMouseAway();
}

TEST_F(Placing, TwoButtonsAtOncePlaceNothing) {
    worker = std::thread(PlacementScreen, game::InputLine);
    const Point p = Inside(2, 2);
    InjectMouse(p.x, p.y, kButtonLeft | kButtonRight);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    InjectKey(kCloseRequest);
    worker.join();
    EXPECT_EQ(GreyCells(), 0);
}

TEST_F(Placing, ACloseRequestEndsPlacementWithBothFlagsAndKeepsTheShips) {
    worker = std::thread(PlacementScreen, game::InputLine);
    ASSERT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    const Point p = Inside(1, 1);
    InjectClick(p.x, p.y, kButtonLeft);
    ASSERT_TRUE(WaitUntil([] { return GreyProbes() == 5; }, kSlowWait));
    InjectMouseAway();
    InjectKey(kCloseRequest);
    worker.join();
    EXPECT_EQ(game::QuitFlag.load(), 1);
    EXPECT_EQ(game::StopFlag.load(), 1);
    EXPECT_EQ(GreyCells(), 5);
}

TEST_F(Placing, ACloseRequestDuringConfirmationAlsoEndsWithBothFlags) {
    worker = std::thread(PlacementScreen, game::InputLine);
    PlaceFleetByClicks();
    InjectKey(kCloseRequest);
    worker.join();
    EXPECT_EQ(game::QuitFlag.load(), 1);
    EXPECT_EQ(game::StopFlag.load(), 1);
    EXPECT_EQ(GreyCells(), 30);
}

TEST_F(Placing, AQuitFlagSetElsewhereEndsThePlacementSoon) {
    worker = std::thread(PlacementScreen, game::InputLine);
    ASSERT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    game::RaiseQuitFlag();
    worker.join();
    EXPECT_EQ(GreyCells(), 0);
    EXPECT_EQ(game::StopFlag.load(), 0);
}

TEST_F(Placing, AClickIntoTheInputLineKeepsTheCurrentShip) {
    worker = std::thread(PlacementScreen, game::InputLine);
    ASSERT_TRUE(WaitUntil([] { return Slot(7) == "Rechte Maustaste: senkrecht setzen"; }));
    InjectClick(200, 290, kButtonLeft);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const Point p = Inside(1, 1);
    InjectClick(p.x, p.y, kButtonLeft);
    ASSERT_TRUE(WaitUntil([] { return GreyProbes() == 5; }, kSlowWait));
    InjectMouseAway();
    InjectKey(kCloseRequest);
    worker.join();
    for (int c = 1; c <= 5; ++c)
        EXPECT_TRUE(IsGreyCell(c, 1));
}

}  // namespace
