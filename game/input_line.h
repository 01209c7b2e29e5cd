// The input line below the big board, where chat lines and commands are typed.
#pragma once

#include "game/match_state.h"

namespace game {

// Runs the input field until a line is sent, the user clicks outside it or a
// close request arrives.
void InputLine() EXCLUDES(ScreenMutex);

}  // namespace game
