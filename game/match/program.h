// The program's entry sequence and its one way out. Every path that ends the
// process goes through EndProgram, handed down to the parts that may end it, so
// the connection layer is always stopped.
#pragma once

namespace game {

// Opens the window, draws the static screen and runs the lobby; never returns.
[[noreturn]] void RunProgram();

// Stops the connection layer and ends the process with exit status 0.
[[noreturn]] void EndProgram();

}  // namespace game
