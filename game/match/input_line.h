// The input line below the big board, where chat lines and commands are typed.
#pragma once

#include "game/core/match_state.h"

namespace game {

enum class LineEnd {
    kSent,    // a line went out, or Enter or "Send" was pressed on it
    kLeft,    // a press outside the field, left waiting for the caller to act on
    kClosed,  // a close request, or the game the line was opened in ended
};

// Runs the input field until a line is sent, the user clicks outside it or a
// close request arrives, and says which.
LineEnd RunInputLine() EXCLUDES(ScreenMutex);
// The same, for callers that go on alike however it ended.
void InputLine() EXCLUDES(ScreenMutex);

}  // namespace game
