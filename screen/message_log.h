// The nine-line message log at the bottom right: its slots, their scrolling and
// wrapping, and their drawing. Callers that run beside other drawing threads
// hold the game's screen mutex around LogLine.
#pragma once

#include <string>
#include <string_view>

namespace screen {

inline constexpr int kLogSlots = 9;
inline constexpr int kLogColumns = 34;

// Adds one line, scrolling when the log is full and continuing text beyond
// kLogColumns on further lines, then redraws the log.
void LogLine(std::string_view text);

// Draws the rows again as they stand, after the whole screen was drawn anew.
void RedrawMessageLog();

// The text a slot holds, 0 at the top.
std::string LogSlot(int slot);

}  // namespace screen
