// Exact comparison of two frames with a readable account of where they
// differ, for test failure messages, and exact text checks. Pure functions;
// no X, no drawing.
#pragma once

#include <string>
#include <string_view>

#include "tests/e2e/x_harness.h"

namespace e2e {

inline constexpr int kReportedDifferences = 8;

// Empty when the frames are equal pixel for pixel; otherwise the number of
// differing pixels and the first few as "(x,y) actual 0x... expected 0x...".
std::string DescribeDifferences(const Frame& actual, const Frame& expected);

// The pixel at window coordinates (x, y).
std::uint32_t PixelAt(const Frame& frame, int x, int y);

// Equal everywhere but on the message log's text rows, whose contents depend
// on timing (refused clicks, repeated messages).
bool SameOutsideLog(const Frame& actual, const Frame& expected);

// Glyph pixels of `text` at (x, y) in `ink`, the rest of its cells in `paper`.
bool TextShows(const Frame& frame, int x, int y, std::string_view text, std::uint32_t ink,
               std::uint32_t paper);

}  // namespace e2e
