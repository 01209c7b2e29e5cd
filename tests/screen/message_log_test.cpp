// The message log: slots, scrolling, wrapping and the colour rule, checked on
// the slot texts and on the drawn rows.
#include <gtest/gtest.h>

#include <string>

#include "screen/font_cp437.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using testing_support::CountColour;
using testing_support::TextAt;

constexpr int kRowX = 127;
int RowY(int slot) {
    return 304 + 10 * slot;
}

// The log lives for the whole process, so each test fills it to a known state:
// nine lines make it full and put a known text in every slot.
void FillLog(const std::string& prefix) {
    for (int i = 0; i < kLogSlots; ++i)
        LogLine(prefix + std::to_string(i));
}

class MessageLog : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        DrawStaticScreen();
    }
};

TEST_F(MessageLog, FirstNineLinesFillFromTheTopAndTheTenthScrolls) {
    // Only a fresh process has an empty log; this test assumes it runs first in
    // its process, which CTest guarantees by running each case on its own.
    if (!LogSlot(0).empty()) GTEST_SKIP() << "log already used in this process";
    for (int i = 0; i < kLogSlots; ++i) {
        LogLine("row " + std::to_string(i));
        EXPECT_TRUE(TextAt(kRowX, RowY(i), "row " + std::to_string(i), kBlack, kWhite)) << i;
        if (i + 1 < kLogSlots) {
            EXPECT_EQ(LogSlot(i + 1), "");
        }
    }
    LogLine("row 9");
    EXPECT_EQ(LogSlot(0), "row 1");
    EXPECT_EQ(LogSlot(8), "row 9");
    EXPECT_TRUE(TextAt(kRowX, RowY(0), "row 1", kBlack, kWhite));
    EXPECT_TRUE(TextAt(kRowX, RowY(8), "row 9", kBlack, kWhite));
}

TEST_F(MessageLog, ExactlyThirtyFourCharactersTakeOneRowAndOneMoreTakesTwo) {
    FillLog("x");
    const std::string full(34, 'a');
    LogLine(full);
    EXPECT_EQ(LogSlot(8), full);
    EXPECT_EQ(LogSlot(7), "x8");
    LogLine(full + "b");
    EXPECT_EQ(LogSlot(7), full + "b");  // the slot keeps the whole text
    EXPECT_EQ(LogSlot(8), "b");
    EXPECT_TRUE(TextAt(kRowX, RowY(7), full, kBlack, kWhite));
    EXPECT_TRUE(TextAt(kRowX, RowY(8), "b", kBlack, kWhite));
}

TEST_F(MessageLog, ChatLinesAreBlueAndTheirContinuationStaysBlue) {
    FillLog("y");
    const std::string chat = "1> " + std::string(40, 'c');  // 43 characters
    LogLine(chat);
    EXPECT_EQ(LogSlot(7), chat);
    EXPECT_EQ(LogSlot(8), " > " + std::string(9, 'c'));
    EXPECT_TRUE(TextAt(kRowX, RowY(7), chat.substr(0, 34), kWaterBlue, kWhite));
    EXPECT_TRUE(TextAt(kRowX, RowY(8), " > ccccccccc", kWaterBlue, kWhite));
    EXPECT_TRUE(TextAt(kRowX, RowY(6), "y8", kBlack, kWhite));
    // Of the 35th character only its first pixel column shows, on the frame at x 399.
    int leftColumnPixels = 0;
    for (int row = 0; row < 8; ++row)
        leftColumnPixels += (kFontCp437[static_cast<unsigned char>('c')][row] & 0x80) ? 1 : 0;
    ASSERT_GT(leftColumnPixels, 0);
    EXPECT_EQ(CountColour(399, RowY(7), 399, RowY(7) + 7, kWaterBlue), leftColumnPixels);
}

TEST_F(MessageLog, ASystemTextWithGreaterThanSecondIsBlueToo) {
    FillLog("z");
    LogLine("a>b");
    LogLine("ab>");
    EXPECT_TRUE(TextAt(kRowX, RowY(7), "a>b", kWaterBlue, kWhite));
    EXPECT_TRUE(TextAt(kRowX, RowY(8), "ab>", kBlack, kWhite));
}

TEST_F(MessageLog, LongLinesWrapIntoAsManyRowsAsNeeded) {
    FillLog("w");
    std::string text;
    for (int i = 0; i < 100; ++i)
        text.push_back(static_cast<char>('A' + i % 26));
    LogLine(text);  // 100 = 34 + 34 + 32
    EXPECT_EQ(LogSlot(6), text);
    EXPECT_EQ(LogSlot(7), text.substr(34));
    EXPECT_EQ(LogSlot(8), text.substr(68));
}

TEST_F(MessageLog, BlankAndEmptyLines) {
    FillLog("v");
    LogLine(" ");
    EXPECT_EQ(LogSlot(8), " ");
    EXPECT_EQ(CountColour(kRowX, RowY(8), 398, RowY(8) + 7, kWhite), 34 * 64);
    // On a full log an empty text scrolls and leaves the bottom row free...
    LogLine("");
    EXPECT_EQ(LogSlot(7), " ");
    EXPECT_EQ(LogSlot(8), "");
    // ...and the next text fills that row instead of scrolling again.
    LogLine("next");
    EXPECT_EQ(LogSlot(7), " ");
    EXPECT_EQ(LogSlot(8), "next");
}

TEST_F(MessageLog, RedrawErasesWhatTheRowShowedBefore) {
    FillLog("u");
    LogLine(std::string(34, kBlankChar));
    LogLine("short");
    // The full row of blocks moved up one row; the bottom row shows only "short".
    EXPECT_EQ(CountColour(kRowX, RowY(7), 398, RowY(7) + 7, kBlack), 34 * 64);
    EXPECT_TRUE(TextAt(kRowX, RowY(8), "short", kBlack, kWhite));
    EXPECT_EQ(CountColour(kRowX + 5 * 8, RowY(8), 398, RowY(8) + 7, kWhite), 29 * 64);
}

}  // namespace
