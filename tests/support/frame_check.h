// Helpers for tests that read the frame buffer back: exact glyph checks,
// whole-frame snapshots, and waiting for a condition with a time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "screen/graphics.h"

namespace testing_support {

using namespace std::chrono_literals;

// True when every glyph pixel of `text` at (x, y) is `ink` and every other pixel of its 8 x 8
// cells is `paper`, with each pixel read through `pixel`: the suite's one glyph check, for the
// offscreen frame and a window's picture alike.
bool GlyphsShow(const std::function<std::uint32_t(int x, int y)>& pixel, int x, int y,
                std::string_view text, std::uint32_t ink, std::uint32_t paper);
// The same on the offscreen frame.
bool TextAt(int x, int y, std::string_view text, screen::Colour ink, screen::Colour paper);

// Every pixel of the frame, row by row.
std::vector<screen::Colour> Snapshot();

// Number of pixels in the rectangle (both corners included) with this colour.
int CountColour(int x1, int y1, int x2, int y2, screen::Colour colour);

// The newest line in the message log, read under `lock` (which may be none).
std::string NewestLogLine(screen::MutexHandle lock = nullptr);

// Every row of the message log, oldest first, joined, so a line that wraps reads whole; read
// under `lock` (which may be none).
std::string LogRows(screen::MutexHandle lock = nullptr);

// Polls `condition` every millisecond until it holds or the time-out passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20000ms);

// Makes death tests re-run the test binary, so the child starts from a fresh
// process instead of a fork of a multi-threaded one.
void UseFreshProcessDeathTests();

}  // namespace testing_support
