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

// The text a slot holds, 0 at the top; for tests and diagnostics.
std::string LogSlot(int slot);

}  // namespace screen
