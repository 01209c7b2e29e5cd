// The static screen, checked against the positions a player sees: grid lines,
// labels, boxes and their texts.
#include <gtest/gtest.h>

#include <string>

#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using testing_support::CountColour;
using testing_support::TextAt;

class StaticScreen : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        DrawStaticScreen();
    }
};

TEST_F(StaticScreen, BigBoardHasTwelveLinesEachWayAndWhiteCells) {
    for (int p = 0; p <= 11; ++p) {
        EXPECT_EQ(CountColour(25 * p, 0, 25 * p, 275, kBlack), 276) << "column line " << p;
        EXPECT_EQ(CountColour(0, 25 * p, 275, 25 * p, kBlack), 276) << "row line " << p;
    }
    for (int column = 1; column <= 10; ++column) {
        for (int row = 1; row <= 10; ++row) {
            const Point probe = TargetProbe(column, row);
            EXPECT_EQ(CountColour(probe.x, probe.y, probe.x + 23, probe.y + 23, kWhite), 576);
        }
    }
    EXPECT_EQ(CountColour(276, 0, 279, 279, kWhite), 4 * 280);  // margin right of the board
}

TEST_F(StaticScreen, BoardLabels) {
    for (int column = 1; column <= 10; ++column) {
        EXPECT_TRUE(TextAt(25 * column + 10, 10, std::string(1, static_cast<char>('@' + column)),
                           kBlack, kWhite))
            << column;
    }
    for (int row = 1; row <= 9; ++row) {
        EXPECT_TRUE(
            TextAt(10, 25 * row + 10, std::string(1, static_cast<char>('0' + row)), kBlack, kWhite))
            << row;
    }
    EXPECT_TRUE(TextAt(5, 260, "10", kBlack, kWhite));
}

TEST_F(StaticScreen, TurnIndicatorDiagonalSplitsTheCornerCell) {
    for (int k = 0; k <= 25; ++k)
        EXPECT_EQ(ReadPixel(k, k), kBlack);
    PaintTurnIndicator(kTurnYellow);
    EXPECT_EQ(CountColour(1, 1, 24, 24, kTurnYellow), 24 * 24 - 24);
    EXPECT_EQ(ReadPixel(26, 26), kWhite);
    PaintTurnIndicator(kWhite);
    EXPECT_EQ(CountColour(0, 0, 399, 399, kTurnYellow), 0);
}

TEST_F(StaticScreen, PanelsAndTheirTexts) {
    EXPECT_TRUE(TextAt(300, 10, "Marevant", kBlack, kWhite));
    EXPECT_TRUE(TextAt(324, 30, "v1.0", kBlack, kWhite));
    EXPECT_TRUE(TextAt(296, 45, "by Tessvik", kBlack, kWhite));
    EXPECT_TRUE(TextAt(304, 98, "Spieler 0", kBlack, kWhite));
    EXPECT_TRUE(TextAt(296, 170, "IP eingeben", kBlack, kWhite));
    EXPECT_TRUE(TextAt(304, 240, "Verbinden", kBlack, kWhite));
    EXPECT_TRUE(TextAt(360, 287, "Send", kBlack, kWhite));
    const Rect boxes[] = {kTitleBox,   kPlayerBox, kStatusPanel, kPhaseBox,
                          kFleetFrame, kInputLine, kSendButton,  kMessageLog};
    for (const Rect& box : boxes) {
        const int perimeter = 2 * (box.x2 - box.x1 + 1) + 2 * (box.y2 - box.y1 - 1);
        const int outline = CountColour(box.x1, box.y1, box.x2, box.y1, kBlack) +
                            CountColour(box.x1, box.y2, box.x2, box.y2, kBlack) +
                            CountColour(box.x1, box.y1 + 1, box.x1, box.y2 - 1, kBlack) +
                            CountColour(box.x2, box.y1 + 1, box.x2, box.y2 - 1, kBlack);
        EXPECT_EQ(outline, perimeter) << box.x1 << "," << box.y1;
    }
    // The small board has only its frame until a fleet is copied onto it.
    EXPECT_EQ(CountColour(1, 281, 119, 398, kWhite), 119 * 118);
}

TEST_F(StaticScreen, PhaseLabelIsErasedBeforeTheNewOneIsDrawn) {
    ShowPhaseLabel(Label{{288, 240}, "Initialisiere"});
    EXPECT_TRUE(TextAt(288, 240, "Initialisiere", kBlack, kWhite));
    ShowPhaseLabel(Label{{308, 240}, "Warte..."});
    EXPECT_TRUE(TextAt(308, 240, "Warte...", kBlack, kWhite));
    EXPECT_EQ(CountColour(284, 240, 307, 247, kBlack), 0);
    EXPECT_EQ(CountColour(372, 240, 395, 247, kBlack), 0);
}

}  // namespace
