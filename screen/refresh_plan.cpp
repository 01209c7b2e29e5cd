// When and what to copy from the frame to the window, for every window system alike.
#include "screen/refresh_plan.h"

#include <algorithm>
#include <cstring>

#include "screen/graphics.h"

namespace screen {
namespace {

// About one screen refresh of a common display.
constexpr std::chrono::milliseconds kRefreshInterval{16};
// Copies that may follow each other at once. The progress bar redraws about every other
// interval; with this reserve a shot's answer, drawn in two or three steps just after it,
// still shows without waiting for the next interval.
constexpr int kRefreshReserve = 4;
// Unchanged rows between two changed ones up to which both go into one band.
constexpr int kJoinedGapRows = 8;

bool RowDiffers(const std::uint32_t* shown, const std::uint32_t* next, int row) {
    const std::size_t at = static_cast<std::size_t>(row) * kWidth;
    return std::memcmp(shown + at, next + at, kWidth * sizeof *shown) != 0;
}

}  // namespace

std::chrono::milliseconds WaitBeforeRefresh(const RefreshPace& pace, PaceClock::time_point now) {
    const PaceClock::time_point allowed = pace.due - kRefreshInterval * (kRefreshReserve - 1);
    if (now >= allowed) return std::chrono::milliseconds{0};
    return std::chrono::ceil<std::chrono::milliseconds>(allowed - now);
}

void NoteRefresh(RefreshPace& pace, PaceClock::time_point now) {
    pace.due = std::max(pace.due, now) + kRefreshInterval;
}

std::vector<RowBand> ChangedRows(const std::uint32_t* shown, const std::uint32_t* next) {
    std::vector<RowBand> bands;
    for (int row = 0; row < kHeight; ++row) {
        if (!RowDiffers(shown, next, row)) continue;
        if (!bands.empty() && row - bands.back().end <= kJoinedGapRows) {
            bands.back().end = row + 1;
        } else {
            bands.push_back({row, row + 1});
        }
    }
    return bands;
}

}  // namespace screen
