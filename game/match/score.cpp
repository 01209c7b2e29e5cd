// The score of the games against one opponent.
#include "game/match/score.h"

#include <string>

#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

struct Score {
    unsigned won = 0;
    unsigned lost = 0;
};

Score score;

}  // namespace

void ResetScore() {
    score = {};
}

void ShowGameResult(bool won) {
    screen::ShowResult(won);
    ++(won ? score.won : score.lost);
    const unsigned games = score.won + score.lost;
    screen::LogLine("Spiel " + std::to_string(games) + (won ? " gewonnen" : " verloren") +
                    " - Stand " + std::to_string(score.won) + ":" + std::to_string(score.lost));
}

}  // namespace game
