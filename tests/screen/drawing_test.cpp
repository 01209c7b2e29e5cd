// Drawing operations against the offscreen frame buffer, pixel by pixel.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "screen/font_cp437.h"
#include "screen/frame_internal.h"
#include "screen/graphics.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using testing_support::CountColour;
using testing_support::Snapshot;
using testing_support::TextAt;

class Drawing : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        FillBox(0, 0, kWidth - 1, kHeight - 1, kWhite);
    }
};

TEST(FrameBuffer, IsBlackBeforeTheFirstDrawingAndAbsentWithoutAWindow) {
    testing_support::UseFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            const bool absent = ReadPixel(0, 0) == kNoPixel;
            DrawLine(0, 0, 10, 10, kWhite);  // must do nothing and not crash
            const bool stillAbsent = ReadPixel(5, 5) == kNoPixel;
            OpenOffscreen();
            const bool black =
                CountColour(0, 0, kWidth - 1, kHeight - 1, kBlack) == kWidth * kHeight;
            std::_Exit(absent && stillAbsent && black ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Drawing, ReadPixelAnswersMinusOneOutsideTheWindow) {
    EXPECT_EQ(ReadPixel(-1, 0), kNoPixel);
    EXPECT_EQ(ReadPixel(0, -1), kNoPixel);
    EXPECT_EQ(ReadPixel(400, 10), kNoPixel);
    EXPECT_EQ(ReadPixel(10, 400), kNoPixel);
    EXPECT_EQ(ReadPixel(399, 399), kWhite);
}

TEST_F(Drawing, GlyphPixelsReadBackExactly) {
    DrawText(100, 100, "Ag\x81\xDB", kBlack);
    EXPECT_TRUE(TextAt(100, 100, "Ag\x81\xDB", kBlack, kWhite));
    // The full block covers its whole cell; the letter leaves white between strokes.
    EXPECT_EQ(CountColour(124, 100, 131, 107, kBlack), 64);
    EXPECT_GT(CountColour(100, 100, 107, 107, kWhite), 0);
}

TEST_F(Drawing, TextDrawsOnlyTheGlyphPixelsInItsColour) {
    FillBox(0, 0, 50, 20, kHitRed);
    DrawText(0, 0, "X", kWaterBlue);
    int blue = 0, red = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool set = kFontCp437[static_cast<unsigned char>('X')][y] & (0x80 >> x);
            EXPECT_EQ(ReadPixel(x, y), set ? kWaterBlue : kHitRed) << x << "," << y;
            (set ? blue : red)++;
        }
    }
    EXPECT_GT(blue, 0);
    EXPECT_GT(red, 0);
}

TEST_F(Drawing, TextIsCutAtTheRightEdge) {
    const std::string blocks(40, kBlankChar);
    DrawText(127, 50, blocks, kBlack);
    // 34 whole cells end at x 398; of the 35th only the column x 399 is left.
    EXPECT_EQ(CountColour(127, 50, 398, 57, kBlack), 34 * 64);
    EXPECT_EQ(CountColour(399, 50, 399, 57, kBlack), 8);
    EXPECT_EQ(CountColour(0, 50, 126, 57, kBlack), 0);
    EXPECT_EQ(CountColour(0, 49, 399, 49, kBlack), 0);
}

TEST_F(Drawing, LinesBoxesAndFillsIncludeBothEnds) {
    DrawLine(10, 20, 30, 20, kBlack);
    EXPECT_EQ(CountColour(0, 20, 399, 20, kBlack), 21);
    DrawLine(5, 40, 5, 30, kBlack);
    EXPECT_EQ(CountColour(5, 0, 5, 399, kBlack), 11);
    DrawBox(100, 100, 110, 105, kHitRed);
    EXPECT_EQ(CountColour(100, 100, 110, 105, kHitRed), 2 * 11 + 2 * 4);
    EXPECT_EQ(ReadPixel(105, 102), kWhite);
    FillBox(210, 205, 200, 200, kWaterBlue);  // corners in any order
    EXPECT_EQ(CountColour(195, 195, 215, 210, kWaterBlue), 11 * 6);
    FillBox(390, 390, 500, 500, kShipGrey);  // clipped silently
    EXPECT_EQ(CountColour(380, 380, 399, 399, kShipGrey), 100);
}

TEST_F(Drawing, TheDiagonalIsExactlyThePixelsKK) {
    DrawLine(0, 0, 25, 25, kBlack);
    EXPECT_EQ(CountColour(0, 0, 25, 25, kBlack), 26);
    for (int k = 0; k <= 25; ++k)
        EXPECT_EQ(ReadPixel(k, k), kBlack) << k;
}

TEST_F(Drawing, FloodFillSealsTheTwoTrianglesOfTheCornerCell) {
    DrawBox(0, 0, 25, 25, kBlack);
    DrawLine(0, 0, 25, 25, kBlack);
    FloodFill(2, 1, kTurnYellow, kBlack);
    // Upper-right triangle: pixels with x > y strictly inside the box.
    EXPECT_EQ(CountColour(1, 1, 24, 24, kTurnYellow), 24 * 23 / 2);
    EXPECT_EQ(ReadPixel(24, 1), kTurnYellow);
    EXPECT_EQ(ReadPixel(1, 24), kWhite);
    FloodFill(1, 2, kTurnYellow, kBlack);
    EXPECT_EQ(ReadPixel(1, 24), kTurnYellow);
    EXPECT_EQ(CountColour(1, 1, 24, 24, kTurnYellow), 24 * 24 - 24);
    EXPECT_EQ(CountColour(26, 0, 399, 399, kTurnYellow), 0);
}

TEST_F(Drawing, FloodFillPassesThroughTheFillColourAndStopsOnlyAtTheBorder) {
    DrawBox(50, 50, 75, 75, kBlack);
    FillBox(51, 51, 60, 60, kShipGrey);
    FillBox(65, 65, 70, 70, kHitRed);
    FloodFill(51, 51, kShipGrey, kBlack);
    EXPECT_EQ(CountColour(51, 51, 74, 74, kShipGrey), 24 * 24);
    EXPECT_EQ(CountColour(0, 0, 399, 399, kShipGrey), 24 * 24);
}

TEST_F(Drawing, FloodFillOfAnAlreadyFilledCellChangesNothing) {
    DrawBox(50, 50, 75, 75, kBlack);
    FloodFill(51, 51, kShipGrey, kBlack);
    const auto before = Snapshot();
    FloodFill(60, 60, kShipGrey, kBlack);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Drawing, FloodFillSeededOnTheBorderColourDrawsNothing) {
    DrawBox(50, 50, 75, 75, kBlack);
    const auto before = Snapshot();
    FloodFill(50, 60, kHitRed, kBlack);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Drawing, FloodFillIsFourConnectedAndReachesTheWindowEdges) {
    FillBox(0, 0, 399, 399, kBlack);
    // Two white regions that meet only diagonally at (200, 200)-(201, 201).
    FillBox(0, 0, 200, 200, kWhite);
    FillBox(201, 201, 399, 399, kWhite);
    FloodFill(0, 0, kWaterBlue, kBlack);
    EXPECT_EQ(CountColour(0, 0, 399, 399, kWaterBlue), 201 * 201);
    EXPECT_EQ(ReadPixel(201, 201), kWhite);
    FloodFill(399, 399, kWaterBlue, kBlack);  // a region of 40000 pixels, no recursion
    EXPECT_EQ(CountColour(0, 0, 399, 399, kWaterBlue), 201 * 201 + 199 * 199);
}

// The window thread sleeps until told of a change, so a missed announcement
// would leave a stale picture on the screen.
namespace announcements {

std::atomic<int> heard{0};
void Listen() {
    heard.fetch_add(1);
}

TEST(FrameChanges, AreAnnouncedOncePerCopyAndAgainWhenAGroupCloses) {
    std::vector<std::uint32_t> copy(kWidth * kHeight);
    OpenOffscreen();
    SetFrameChangeListener(Listen);
    FillBox(0, 0, 399, 399, kWhite);
    heard = 0;
    ASSERT_TRUE(CopyFrameIfChanged(copy.data()));
    EXPECT_FALSE(CopyFrameIfChanged(copy.data()));  // nothing new to show
    FillBox(0, 0, 399, 399, kWhite);                // no pixel changes
    EXPECT_EQ(heard, 0);
    DrawLine(0, 0, 10, 0, kBlack);
    DrawLine(0, 1, 10, 1, kBlack);
    EXPECT_EQ(heard, 1);
    ASSERT_TRUE(CopyFrameIfChanged(copy.data()));
    EXPECT_EQ(copy[5], static_cast<std::uint32_t>(kBlack));
    BeginUpdate();
    DrawLine(0, 2, 10, 2, kBlack);
    EXPECT_EQ(heard, 1);  // not while the group is open
    EXPECT_FALSE(CopyFrameIfChanged(copy.data()));
    EndUpdate();
    EXPECT_EQ(heard, 2);
    ASSERT_TRUE(CopyFrameIfChanged(copy.data()));
    EXPECT_EQ(copy[2 * kWidth + 3], static_cast<std::uint32_t>(kBlack));
    SetFrameChangeListener(nullptr);
}

}  // namespace announcements

}  // namespace
