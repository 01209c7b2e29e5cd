// The placement rule of the computer's fleet and the bookkeeping of shots.
#include <gtest/gtest.h>

#include "game/core/board.h"

namespace {

using namespace game;

class Placement : public ::testing::Test {
   protected:
    void SetUp() override {
        ClearBoard(ComputerFleet);
        PlacementAttempts = 0;
    }
};

int ShipCells() {
    int cells = 0;
    for (int c = 1; c <= kBoardSize; ++c) {
        for (int r = 1; r <= kBoardSize; ++r)
            cells += Cell(ComputerFleet, c, r);
    }
    return cells;
}

TEST_F(Placement, ShipsMustStayOnTheBoardAndFailedCallsStillCount) {
    EXPECT_EQ(TryPlaceShip(7, 1, 5, kHorizontal), 0);
    EXPECT_EQ(PlacementAttempts, 1);
    EXPECT_EQ(TryPlaceShip(10, 10, 2, kVertical), 0);
    EXPECT_EQ(ShipCells(), 0);
    EXPECT_EQ(TryPlaceShip(6, 1, 5, kHorizontal), 1);
    EXPECT_EQ(TryPlaceShip(10, 9, 2, kVertical), 1);
    EXPECT_EQ(PlacementAttempts, 4);
    EXPECT_EQ(ShipCells(), 7);
    for (int c = 6; c <= 10; ++c)
        EXPECT_EQ(Cell(ComputerFleet, c, 1), 1);
    EXPECT_EQ(Cell(ComputerFleet, 10, 10), 1);
}

TEST_F(Placement, EdgesCountAsWater) {
    EXPECT_EQ(TryPlaceShip(1, 1, 4, kVertical), 1);
    EXPECT_EQ(TryPlaceShip(7, 10, 4, kHorizontal), 1);
    EXPECT_EQ(TryPlaceShip(10, 1, 3, kVertical), 1);
}

TEST_F(Placement, SideAndEndNeighboursRefuseButCornersAreAllowed) {
    ASSERT_EQ(TryPlaceShip(3, 5, 3, kHorizontal), 1);  // (3,5)..(5,5)
    EXPECT_EQ(TryPlaceShip(6, 4, 2, kVertical), 0);    // (6,5) is beside (5,5)
    EXPECT_EQ(TryPlaceShip(6, 5, 2, kHorizontal), 0);  // starts right after the end
    EXPECT_EQ(TryPlaceShip(1, 5, 2, kHorizontal), 0);  // ends right before the start
    EXPECT_EQ(TryPlaceShip(4, 3, 2, kVertical), 0);    // ends right above (4,5)
    EXPECT_EQ(TryPlaceShip(4, 6, 2, kVertical), 0);    // starts right below (4,5)
    EXPECT_EQ(ShipCells(), 3);
    EXPECT_EQ(TryPlaceShip(6, 6, 2, kVertical), 1);    // touches (5,5) at a corner only
    EXPECT_EQ(TryPlaceShip(1, 4, 2, kHorizontal), 1);  // (2,4) is diagonal to (3,5)
    EXPECT_EQ(ShipCells(), 7);
}

TEST_F(Placement, AnOccupiedStartCellRefusesWhateverTheRestLooksLike) {
    ASSERT_EQ(TryPlaceShip(2, 2, 4, kVertical), 1);
    EXPECT_EQ(TryPlaceShip(2, 3, 2, kHorizontal), 0);
    EXPECT_EQ(TryPlaceShip(2, 5, 2, kVertical), 0);
    EXPECT_EQ(ShipCells(), 4);
}

TEST_F(Placement, OutOfRangeStartCellsAndLengthsAreRefusedSafely) {
    EXPECT_EQ(TryPlaceShip(0, 5, 2, kHorizontal), 0);
    EXPECT_EQ(TryPlaceShip(5, 0, 2, kVertical), 0);
    EXPECT_EQ(TryPlaceShip(11, 5, 2, kVertical), 0);
    // Length 0 would let column 11 through and read past the board.
    EXPECT_EQ(TryPlaceShip(11, 1, 0, kHorizontal), 0);
    EXPECT_EQ(TryPlaceShip(5, 5, 1, kHorizontal), 0);
    EXPECT_EQ(TryPlaceShip(1, 1, 6, kHorizontal), 0);
    EXPECT_EQ(TryPlaceShip(1, 1, 255, kVertical), 0);
    EXPECT_EQ(ShipCells(), 0);
    EXPECT_EQ(PlacementAttempts, 7);
}

TEST(Shots, RecordJudgeAndCountEachCellOnce) {
    Board fired{}, fleet{};
    Cell(fleet, 4, 4) = 1;
    std::uint8_t left = 2;
    EXPECT_EQ(FireShot(fired, fleet, left, 4, 4), Shot::kHit);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(FireShot(fired, fleet, left, 4, 4), Shot::kRepeated);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(FireShot(fired, fleet, left, 4, 5), Shot::kWater);
    EXPECT_EQ(FireShot(fired, fleet, left, 4, 5), Shot::kRepeated);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(Cell(fired, 4, 4), 1);
    EXPECT_EQ(Cell(fired, 4, 5), 1);
}

TEST(Shots, ThirtyHitsSinkTheFleetAndNoMoreCanLowerTheCounter) {
    Board fired{}, fleet{};
    for (int i = 0; i < kFleetCells; ++i)
        Cell(fleet, 1 + i % 10, 1 + i / 10) = 1;
    std::uint8_t left = kFleetCells;
    for (int pass = 0; pass < 2; ++pass) {
        for (int c = 1; c <= kBoardSize; ++c) {
            for (int r = 1; r <= kBoardSize; ++r)
                FireShot(fired, fleet, left, c, r);
        }
    }
    EXPECT_EQ(left, 0);
    EXPECT_TRUE(FleetSunk(left));
}

}  // namespace
