// The computer opponent: scripted scenarios that pin down each step of its
// placement and shooting, and seeded simulations that check its promises over
// thousands of whole matches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "game/core/board.h"
#include "game/core/computer_player.h"
#include "game/core/computer_player_testing.h"
#include "game/match/program.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace game;

// Draws in [0, 1) handed out in order; a draw beyond the script fails the test.
std::deque<double> script;
double Scripted() {
    if (script.empty()) {
        ADD_FAILURE() << "the computer drew more numbers than scripted";
        return 0.0;
    }
    const double r = script.front();
    script.pop_front();
    return r;
}

// The draw that selects coordinate (1 to 10) or choice (0 to n - 1).
double Coordinate(int value) {
    return (value - 1) / 10.0 + 0.01;
}
double Choice(int value, int of) {
    return (value + 0.5) / of;
}

void ScriptCell(int column, int row) {
    script.push_back(Coordinate(column));
    script.push_back(Coordinate(row));
}

void PlaceOnPlayerFleet(int column, int row, int length, int orientation) {
    for (int s = 0; s < length; ++s) {
        Cell(PlayerFleet, column + (orientation == kHorizontal ? s : 0),
             row + (orientation == kHorizontal ? 0 : s)) = 1;
    }
}

void SetKnown(std::initializer_list<std::pair<int, int>> cells) {
    for (auto [c, r] : cells)
        Cell(ComputerKnowledge, c, r) = 1;
}

class Opponent : public ::testing::Test {
   protected:
    void SetUp() override {
        screen::SetPausesEnabled(false);
        screen::ResetInput();
        StartComputerOpponent();
        OwnCellsLeft = kFleetCells;
        script.clear();
        SetComputerRandomSource(Scripted);
    }
    void TearDown() override {
        EXPECT_TRUE(script.empty()) << script.size() << " scripted draws left unused";
        SetComputerRandomSource(nullptr);
        screen::SetPausesEnabled(true);
    }
    // Runs one turn and checks that it fired exactly one shot.
    CellRef Turn() {
        const auto before = ComputerShotCount();
        ComputerTurn();
        EXPECT_EQ(ComputerShotCount(), before + 1);
        return LastComputerShot();
    }
};

void ExpectShot(CellRef shot, int column, int row) {
    EXPECT_EQ(shot.column, column);
    EXPECT_EQ(shot.row, row);
}

TEST_F(Opponent, SweepWithSmallestTwoMarksOnlyCellsBoxedInOnAllFourSides) {
    RemainingShips = {0, 0, 1, 0, 0, 0};
    SetKnown({{4, 5}, {6, 5}, {5, 4}, {5, 6}});  // (5,5) boxed in
    SetKnown({{2, 1}, {1, 2}});                  // (1,1) boxed in by the corner
    SetKnown({{8, 5}, {9, 4}, {9, 6}});          // (9,5) still open to the right
    ScriptCell(1, 10);
    ExpectShot(Turn(), 1, 10);
    EXPECT_EQ(Cell(ComputerKnowledge, 5, 5), 1);
    EXPECT_EQ(Cell(ComputerKnowledge, 1, 1), 1);
    EXPECT_EQ(Cell(ComputerKnowledge, 9, 5), 0);
    EXPECT_EQ(Cell(ComputerKnowledge, 10, 5), 0);
}

TEST_F(Opponent, SweepWithSmallestThreeCountsRoomUpToTheShortestShip) {
    RemainingShips = {0, 0, 0, 1, 0, 0};
    // Everything known except a row along the bottom and two short columns.
    for (int c = 1; c <= kBoardSize; ++c) {
        for (int r = 1; r <= 9; ++r)
            Cell(ComputerKnowledge, c, r) = 1;
    }
    Cell(ComputerKnowledge, 3, 3) = Cell(ComputerKnowledge, 3, 4) = 0;  // room 2 down
    Cell(ComputerKnowledge, 7, 3) = Cell(ComputerKnowledge, 7, 4) = 0;
    Cell(ComputerKnowledge, 7, 5) = 0;  // room 3 down
    ScriptCell(5, 10);
    ExpectShot(Turn(), 5, 10);
    EXPECT_EQ(Cell(ComputerKnowledge, 3, 3), 1);
    EXPECT_EQ(Cell(ComputerKnowledge, 3, 4), 1);
    EXPECT_EQ(Cell(ComputerKnowledge, 7, 3), 0);
    EXPECT_EQ(Cell(ComputerKnowledge, 7, 5), 0);
    EXPECT_EQ(Cell(ComputerKnowledge, 1, 10), 0);
}

TEST_F(Opponent, TheSweepWaitsWhileATargetIsOpen) {
    PlaceOnPlayerFleet(5, 2, 2, kHorizontal);
    SetKnown({{4, 5}, {6, 5}, {5, 4}, {5, 7}});  // (5,5) has room 2, downwards
    ScriptCell(5, 2);
    ExpectShot(Turn(), 5, 2);
    ASSERT_EQ(GetTargetState().TargetHits, 1);
    ASSERT_EQ(Cell(ComputerKnowledge, 5, 5), 0);
    RemainingShips = {0, 0, 0, 1, 0, 0};  // room 2 is too little now, if the sweep ran
    script.push_back(Choice(1, 4));       // direction 2: right
    ExpectShot(Turn(), 6, 2);
    EXPECT_EQ(Cell(ComputerKnowledge, 5, 5), 0);
}

TEST_F(Opponent, ATargetAsLongAsTheLongestShipLeftIsClosedAndTheTurnStillFires) {
    RemainingShips = {0, 0, 4, 3, 0, 0};
    PlaceOnPlayerFleet(4, 5, 3, kHorizontal);
    SetKnown({{4, 5}, {5, 5}, {6, 5}});
    SetTargetState(TargetState{{4, 5}, 3, 2, 0, 0, 0, 0});
    ScriptCell(1, 10);
    ExpectShot(Turn(), 1, 10);
    for (int c : {3, 7})
        EXPECT_EQ(Cell(ComputerKnowledge, c, 5), 1) << c;
    for (int c = 4; c <= 6; ++c) {
        EXPECT_EQ(Cell(ComputerKnowledge, c, 4), 1) << c;
        EXPECT_EQ(Cell(ComputerKnowledge, c, 6), 1) << c;
    }
    for (int c : {3, 7}) {
        EXPECT_EQ(Cell(ComputerKnowledge, c, 4), 0) << "diagonal " << c;
        EXPECT_EQ(Cell(ComputerKnowledge, c, 6), 0) << "diagonal " << c;
    }
    EXPECT_EQ(RemainingShips[3], 2);
    EXPECT_EQ(GetTargetState().TargetHits, 0);
}

TEST_F(Opponent, AnAnchorInTheLastColumnIsFollowedLeftThenClosedAtTheEdge) {
    PlaceOnPlayerFleet(8, 3, 3, kHorizontal);
    ScriptCell(10, 3);
    ExpectShot(Turn(), 10, 3);
    script.push_back(Choice(1, 4));  // right: off the board, drawn again
    script.push_back(Choice(0, 4));  // left
    ExpectShot(Turn(), 9, 3);
    ExpectShot(Turn(), 8, 3);
    ExpectShot(Turn(), 7, 3);  // water: turn to the right, one step from the anchor
    TargetState state = GetTargetState();
    EXPECT_EQ(state.TargetDirection, 2);
    EXPECT_EQ(state.BackSteps, 1);
    ScriptCell(1, 10);  // (11,3) is off the board: the ship is done, a hunt follows
    ExpectShot(Turn(), 1, 10);
    EXPECT_EQ(RemainingShips[3], 2);
    for (int c = 8; c <= 10; ++c) {
        EXPECT_EQ(Cell(ComputerKnowledge, c, 2), 1);
        EXPECT_EQ(Cell(ComputerKnowledge, c, 4), 1);
    }
    EXPECT_EQ(OwnCellsLeft, kFleetCells - 3);
}

TEST_F(Opponent, ASecondHitSearchSkipsCellsFiredAtAndTheShipEndsThere) {
    PlaceOnPlayerFleet(5, 5, 2, kHorizontal);
    ScriptCell(5, 5);
    ExpectShot(Turn(), 5, 5);
    script.push_back(Choice(0, 4));  // left: water
    ExpectShot(Turn(), 4, 5);
    script.push_back(Choice(0, 4));  // left again: fired at already, drawn again
    script.push_back(Choice(1, 4));  // right: hit
    ExpectShot(Turn(), 6, 5);
    ExpectShot(Turn(), 7, 5);  // water beyond the far end
    ScriptCell(1, 1);          // left of the anchor was fired at: done at once, then hunt
    ExpectShot(Turn(), 1, 1);
    EXPECT_EQ(RemainingShips[2], 3);
    for (int c = 5; c <= 6; ++c) {
        EXPECT_EQ(Cell(ComputerKnowledge, c, 4), 1);
        EXPECT_EQ(Cell(ComputerKnowledge, c, 6), 1);
    }
}

TEST_F(Opponent, LengthsLeftAreTakenOnceATurnEvenWhenAPassSinksAShip) {
    // The last 2-cell ship is finished without a shot in this turn's first pass;
    // the hunting pass after it still sweeps with the smallest length of 2.
    RemainingShips = {0, 0, 1, 1, 0, 0};
    PlaceOnPlayerFleet(9, 9, 2, kHorizontal);
    SetKnown({{9, 9}, {10, 9}, {8, 9}});
    SetTargetState(TargetState{{9, 9}, 2, 1, 1, 0, 0, 0});  // second direction: left
    // (2,2) has room 2 across: dead for a 3-cell ship, not for a 2-cell one.
    SetKnown({{2, 1}, {2, 3}, {1, 2}, {4, 2}});
    ScriptCell(5, 5);
    ExpectShot(Turn(), 5, 5);
    EXPECT_EQ(RemainingShips[2], 0);
    EXPECT_EQ(Cell(ComputerKnowledge, 2, 2), 0);
    ScriptCell(6, 6);
    ExpectShot(Turn(), 6, 6);  // the next turn counts the 3-cell ship alone
    EXPECT_EQ(Cell(ComputerKnowledge, 2, 2), 1);
}

TEST_F(Opponent, HuntingRedrawsCellsItKnows) {
    SetKnown({{2, 2}, {3, 3}});
    ScriptCell(2, 2);
    ScriptCell(3, 3);
    ScriptCell(4, 4);
    ExpectShot(Turn(), 4, 4);
}

TEST_F(Opponent, EveryShotIsReportedInTheLogThenOnTheSmallBoard) {
    screen::OpenOffscreen();
    screen::FillBox(0, 0, 399, 399, screen::kWhite);
    screen::DrawBox(0, 280, 120, 399, screen::kBlack);
    for (int i = 0; i <= 10; ++i) {
        screen::DrawLine(12 * i, 280, 12 * i, 400, screen::kBlack);
        screen::DrawLine(0, 280 + 12 * i, 120, 280 + 12 * i, screen::kBlack);
    }
    PlaceOnPlayerFleet(3, 4, 2, kVertical);
    ScriptCell(3, 4);
    ExpectShot(Turn(), 3, 4);
    EXPECT_EQ(testing_support::NewestLogLine(), "Dein Schiff wurde getroffen");
    EXPECT_EQ(testing_support::CountColour(25, 317, 35, 327, screen::kHitRed), 11 * 11);
    EXPECT_EQ(testing_support::CountColour(0, 0, 399, 399, screen::kHitRed), 11 * 11);
    script.push_back(Choice(0, 4));  // left: (2,4) water
    ExpectShot(Turn(), 2, 4);
    EXPECT_EQ(testing_support::NewestLogLine(), "Dein Gegner hat nichts getroffen");
    EXPECT_EQ(testing_support::CountColour(13, 317, 23, 327, screen::kWaterBlue), 11 * 11);
    EXPECT_EQ(OwnCellsLeft, kFleetCells - 1);
}

// Placement: a whole fleet scripted cell by cell, horizontal ships only.
void ScriptShip(int column, int row) {
    script.push_back(Choice(kHorizontal, 2));
    ScriptCell(column, row);
}

TEST_F(Opponent, PlacementAbandonsACycleThatNeedsA201stAttempt) {
    script.push_back(Choice(kHorizontal, 2));
    for (int attempt = 0; attempt < 200; ++attempt)
        ScriptCell(7, 1);  // too long to fit
    ScriptCell(1, 10);     // would fit, but it is attempt 201
    const std::pair<int, int> fleet[] = {{1, 1}, {1, 3}, {1, 5}, {1, 7}, {1, 9},
                                         {7, 1}, {7, 3}, {7, 5}, {7, 7}, {7, 9}};
    script.push_back(Choice(kHorizontal, 2));
    ScriptCell(7, 1);  // a refused attempt keeps the orientation: no new draw
    ScriptCell(fleet[0].first, fleet[0].second);
    for (int i = 1; i < kFleetSize; ++i)
        ScriptShip(fleet[i].first, fleet[i].second);
    screen::InjectKey("x");  // keys other than a close request are dropped
    PlaceComputerFleet(EndProgram);
    EXPECT_EQ(PlacementAttempts, 11);
    Board expected{};
    for (int i = 0; i < kFleetSize; ++i) {
        for (int s = 0; s < kShipLengths[i]; ++s) {
            Cell(expected, fleet[i].first + s, fleet[i].second) = 1;
        }
    }
    for (int c = 1; c <= kBoardSize; ++c) {
        for (int r = 1; r <= kBoardSize; ++r) {
            EXPECT_EQ(Cell(ComputerFleet, c, r), Cell(expected, c, r)) << c << "," << r;
        }
    }
    EXPECT_EQ(screen::QueuedKeyCount(), 0);
}

TEST(OpponentPlacement, ACloseRequestEndsTheProgramWithStatusZero) {
    testing_support::UseFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            screen::InjectKey(screen::kCloseRequest);
            PlaceComputerFleet(EndProgram);
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Ships of a fleet as lists of cells; ships never touch, so each group of
// edge-connected cells is one ship.
std::vector<std::vector<std::pair<int, int>>> ShipsOf(const Board& fleet) {
    std::vector<std::vector<std::pair<int, int>>> ships;
    Board seen{};
    for (int c = 1; c <= kBoardSize; ++c) {
        for (int r = 1; r <= kBoardSize; ++r) {
            if (!Cell(fleet, c, r) || Cell(seen, c, r)) continue;
            std::vector<std::pair<int, int>> ship;
            for (int cc = c; cc <= kBoardSize && Cell(fleet, cc, r); ++cc)
                ship.emplace_back(cc, r);
            if (ship.size() == 1) {
                for (int rr = r + 1; rr <= kBoardSize && Cell(fleet, c, rr); ++rr)
                    ship.emplace_back(c, rr);
            }
            for (auto [sc, sr] : ship)
                Cell(seen, sc, sr) = 1;
            ships.push_back(ship);
        }
    }
    return ships;
}

class Simulation : public ::testing::Test {
   protected:
    void SetUp() override { screen::SetPausesEnabled(false); }
    void TearDown() override { screen::SetPausesEnabled(true); }
};

// Plays one seeded match and checks every promise after every turn.
void PlayCheckedMatch(std::uint64_t seed) {
    SeedComputerRandom(seed);
    PlaceComputerFleet(EndProgram);  // a random legal fleet for the player
    StartComputerOpponent();
    SeedComputerRandom(seed * 7919 + 1);
    PlayerFleet = ComputerFleet;
    OwnCellsLeft = kFleetCells;
    const auto ships = ShipsOf(PlayerFleet);
    ASSERT_EQ(ships.size(), static_cast<std::size_t>(kFleetSize));
    Board fired{};
    int shots = 0;
    while (OwnCellsLeft > 0) {
        ASSERT_LT(shots, 100) << "seed " << seed;
        const auto before = ComputerShotCount();
        ComputerTurn();
        ASSERT_EQ(ComputerShotCount(), before + 1) << "seed " << seed;
        const CellRef shot = LastComputerShot();
        ASSERT_EQ(Cell(fired, shot.column, shot.row), 0) << "seed " << seed << " fired twice";
        Cell(fired, shot.column, shot.row) = 1;
        ++shots;
        for (int c = 1; c <= kBoardSize; ++c) {
            for (int r = 1; r <= kBoardSize; ++r) {
                const bool unhitShip = Cell(PlayerFleet, c, r) && !Cell(fired, c, r);
                ASSERT_FALSE(unhitShip && Cell(ComputerKnowledge, c, r))
                    << "seed " << seed << " marked a ship cell " << c << "," << r;
            }
        }
        if (GetTargetState().TargetHits != 0) continue;
        std::array<int, kLongestShip + 1> afloat{};
        for (const auto& ship : ships) {
            bool sunk = true;
            for (auto [c, r] : ship)
                sunk = sunk && Cell(fired, c, r);
            if (!sunk) ++afloat[ship.size()];
        }
        for (int length = kShortestShip; length <= kLongestShip; ++length) {
            ASSERT_EQ(RemainingShips[length], afloat[length]) << "seed " << seed;
        }
    }
}

TEST_F(Simulation, ThousandsOfMatchesKeepEveryPromise) {
    for (std::uint64_t seed = 1; seed <= 3000; ++seed) {
        PlayCheckedMatch(seed);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
