// The games played against the current opponent and how they ended: the result shown at the
// end of each game and the line the message log keeps of it. Owns the counts; called under the
// screen mutex where one exists.
#pragma once

namespace game {

// A new opponent: no games played yet.
void ResetScore();
// Shows the result of the game that just ended and logs it with the score so far, as in
// "Spiel 3 verloren - Stand 1:2" (own wins first).
void ShowGameResult(bool won);

}  // namespace game
