// Whole matches of the local player against the computer, one after another,
// on the main thread.
#pragma once

namespace game {

// Plays match after match; ends the program on a close request.
[[noreturn]] void RunComputerMatch();

}  // namespace game
