// When the window copies the frame and which rows it copies: a click after a steady progress
// bar shows at once, a burst of drawing stays near one copy per interval, and only changed rows
// go out, joined where a few unchanged ones lie between.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "screen/graphics.h"
#include "screen/refresh_plan.h"

namespace {

using namespace std::chrono_literals;
using screen::ChangedRows;
using screen::NoteRefresh;
using screen::PaceClock;
using screen::RefreshPace;
using screen::RowBand;
using screen::WaitBeforeRefresh;

constexpr auto kInterval = 16ms;

// Copies as the window thread makes them: at `wanted` or as soon after it as the pace allows.
PaceClock::time_point CopyAt(RefreshPace& pace, PaceClock::time_point wanted) {
    const PaceClock::time_point at = wanted + WaitBeforeRefresh(pace, wanted);
    EXPECT_EQ(WaitBeforeRefresh(pace, at), 0ms);
    NoteRefresh(pace, at);
    return at;
}

TEST(RefreshPace, AChangeAfterASteadyTrickleShowsAtOnceAndABurstIsPaced) {
    RefreshPace pace;
    const PaceClock::time_point start = PaceClock::now();
    // A progress bar redrawn every 33 ms for two seconds never waits.
    PaceClock::time_point t = start;
    for (int i = 0; i < 60; ++i, t += 33ms)
        EXPECT_EQ(CopyAt(pace, t), t) << "progress step " << i;
    // A shot drawn in three steps just after a bar step still shows at once.
    for (int step = 1; step <= 3; ++step)
        EXPECT_EQ(CopyAt(pace, t + std::chrono::milliseconds(step)),
                  t + std::chrono::milliseconds(step));
    // Drawing without end: after the reserve, one copy per interval and never more.
    RefreshPace busy;
    std::vector<PaceClock::time_point> copies;
    for (int i = 0; i < 100; ++i)
        copies.push_back(CopyAt(busy, start + std::chrono::milliseconds(i)));
    int immediate = 0;
    for (int i = 0; i < 100; ++i)
        immediate += copies[i] == start + std::chrono::milliseconds(i);
    EXPECT_LE(immediate, 4);
    EXPECT_GE(immediate, 2);
    for (std::size_t i = 8; i < copies.size(); ++i)
        EXPECT_GE(copies[i] - copies[i - 1], kInterval) << "copy " << i;
}

struct Rows {
    std::vector<int> changed;
    std::vector<std::pair<int, int>> bands;
};

const Rows kRows[] = {
    {{}, {}},
    {{0}, {{0, 1}}},
    {{399}, {{399, 400}}},
    {{10, 11, 12}, {{10, 13}}},
    // Eight unchanged rows between are joined; nine keep two bands.
    {{10, 19}, {{10, 20}}},
    {{10, 20}, {{10, 11}, {20, 21}}},
    {{0, 200, 399}, {{0, 1}, {200, 201}, {399, 400}}},
};

TEST(ChangedRows, OnlyRowsThatDifferGoOutInBandsJoinedOverSmallGaps) {
    for (const Rows& want : kRows) {
        std::vector<std::uint32_t> shown(screen::kWidth * screen::kHeight, 0x102030);
        std::vector<std::uint32_t> next = shown;
        for (int row : want.changed)
            next[static_cast<std::size_t>(row) * screen::kWidth + (row * 7) % screen::kWidth] =
                0xFF;
        std::vector<std::pair<int, int>> got;
        for (const RowBand& band : ChangedRows(shown.data(), next.data()))
            got.emplace_back(band.first, band.end);
        EXPECT_EQ(got, want.bands) << want.changed.size() << " rows changed";
    }
}

}  // namespace
