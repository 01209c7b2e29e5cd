// The input line below the big board, where chat lines and commands are typed.
#pragma once

namespace game {

// Runs the input field until a line is sent, the user clicks outside it or a
// close request arrives.
void InputLine();

}  // namespace game
