// The input line. Typing into it is not built yet, so a click into the field
// returns at once and changes nothing.
#include "game/input_line.h"

namespace game {

void InputLine() {}

}  // namespace game
