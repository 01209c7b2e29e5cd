// Clearing the big board and copying the placed fleet to the small one.
#include <gtest/gtest.h>

#include "game/core/board.h"
#include "screen/fleet_copy.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using testing_support::CountColour;

void PaintCell(int column, int row, Colour colour) {
    const Point p = TargetProbe(column, row);
    FloodFill(p.x, p.y, colour, kBlack);
}

bool TargetBoardAllWhite() {
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            const Point p = TargetProbe(c, r);
            if (CountColour(p.x, p.y, p.x + 23, p.y + 23, kWhite) != 24 * 24) return false;
        }
    }
    return true;
}

bool NoShots() {
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            if (game::Cell(game::PlayerShots, c, r) != 0) return false;
        }
    }
    return true;
}

// The last row ends on the frame's bottom line at y 399, one pixel short.
int CellPixels(int row) {
    return row == 10 ? 11 * 10 : 11 * 11;
}

class FleetCopy : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        DrawStaticScreen();
    }
};

TEST_F(FleetCopy, ClearingWhitensEveryCellAndForgetsTheShotsButKeepsTheRest) {
    PaintCell(1, 1, kShipGrey);
    PaintCell(5, 5, kHitRed);
    PaintCell(10, 10, kWaterBlue);
    PaintTurnIndicator(kTurnYellow);
    game::Cell(game::PlayerShots, 5, 5) = 1;
    game::Cell(game::PlayerShots, 10, 10) = 1;
    const int blackBefore = CountColour(0, 0, 279, 279, kBlack);
    ClearTargetBoard();
    EXPECT_TRUE(TargetBoardAllWhite());
    EXPECT_TRUE(NoShots());
    EXPECT_EQ(CountColour(0, 0, 279, 279, kBlack), blackBefore);  // lines and labels
    EXPECT_EQ(CountColour(0, 0, 25, 25, kTurnYellow), 24 * 24 - 24);
}

// The small board's cell (column, row) from its own geometry: 12-pixel cells
// from (0, 280); the returned point is the first pixel inside the lines.
Point SmallCellInside(int column, int row) {
    return {12 * (column - 1) + 1, 280 + 12 * (row - 1) + 1};
}

// No symmetry about the diagonal, so a column taken for a row shows.
struct Ship {
    int column;
    int row;
    int length;
    bool across;
};
constexpr Ship kShips[] = {{1, 1, 5, true}, {10, 3, 4, false}, {3, 8, 2, true}, {6, 5, 3, false}};

bool ShipCell(int column, int row) {
    for (const Ship& ship : kShips) {
        for (int s = 0; s < ship.length; ++s) {
            const int c = ship.column + (ship.across ? s : 0);
            const int r = ship.row + (ship.across ? 0 : s);
            if (c == column && r == row) return true;
        }
    }
    return false;
}

TEST_F(FleetCopy, OnlyExactlyGreyCellsArriveOnTheSmallBoardAtTheirOwnPlace) {
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            if (ShipCell(c, r)) PaintCell(c, r, kShipGrey);
        }
    }
    PaintCell(1, 2, 0x696968);  // almost grey is not a ship
    CopyFleetToFleetBoard();
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            const Point p = SmallCellInside(c, r);
            const Colour expected = ShipCell(c, r) ? kShipGrey : kWhite;
            EXPECT_EQ(CountColour(p.x, p.y, p.x + 10, p.y + 10, expected), CellPixels(r))
                << c << "," << r;
        }
    }
    EXPECT_TRUE(TargetBoardAllWhite());
    EXPECT_TRUE(NoShots());
}

TEST_F(FleetCopy, TheSmallBoardGetsItsGridAndKeepsItOnTheNextCopy) {
    CopyFleetToFleetBoard();
    for (int i = 0; i <= 10; ++i) {
        EXPECT_EQ(CountColour(12 * i, 280, 12 * i, 399, kBlack), 120) << i;
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(CountColour(0, 280 + 12 * i, 120, 280 + 12 * i, kBlack), 121) << i;
    }
    PaintCell(4, 4, kShipGrey);
    CopyFleetToFleetBoard();
    const Point p = SmallCellInside(4, 4);
    EXPECT_EQ(CountColour(p.x, p.y, p.x + 10, p.y + 10, kShipGrey), 121);
    EXPECT_EQ(CountColour(1, 281, 119, 398, kShipGrey), 121);
}

}  // namespace
