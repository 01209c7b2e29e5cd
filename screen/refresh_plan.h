// When and what a window system copies from the frame to the screen: at most one copy per
// interval on average, with a small reserve, so a burst of drawing costs few copies and a change
// after a steady trickle (a progress bar) shows at once; and only the rows that changed since
// the last copy. Shared by every window system; knows no clock but the one handed in and touches
// no window.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace screen {

using PaceClock = std::chrono::steady_clock;

// The time the next copy would be due if copies came one per interval; a fresh pace allows the
// whole reserve at once.
struct RefreshPace {
    PaceClock::time_point due{};
};

// How long to wait before a copy may be made: zero when one may be made now.
std::chrono::milliseconds WaitBeforeRefresh(const RefreshPace& pace, PaceClock::time_point now);

// A copy was made at `now`.
void NoteRefresh(RefreshPace& pace, PaceClock::time_point now);

// Frame rows [first, end).
struct RowBand {
    int first = 0;
    int end = 0;
};

// The rows in which two whole frames differ, as bands in order; bands closer than a few rows
// are joined, since one copy of a few more rows costs less than one more copy.
std::vector<RowBand> ChangedRows(const std::uint32_t* shown, const std::uint32_t* next);

}  // namespace screen
