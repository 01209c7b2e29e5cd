// The exchange of a game as both sides see it. The opponent's turn and whether
// it knows us ready follow from what we sent, in order, and from the answers to
// our shots; what the opponent does on its own (placing, firing) is assumed
// whenever it may.
#include "game/wire/exchange.h"

#include <string>

#include "game/core/board.h"

namespace game {
namespace {

struct ExchangeState {
    std::string pendingShot GUARDED_BY(ScreenMutex);  // digits of the shot awaiting its answer
    std::int64_t pendingSinceMs GUARDED_BY(ScreenMutex) = 0;
    bool selfReady GUARDED_BY(ScreenMutex) = false;  // our Ready went out this game
    // The opponent counts our Ready: it has read it, and no game ended on its side since.
    bool peerKnowsReady GUARDED_BY(ScreenMutex) = false;
    // The opponent's own turn flag, as the shots and answers we sent have set it.
    bool peerTurn GUARDED_BY(ScreenMutex) = false;
};

ExchangeState exchange;

}  // namespace

void StartExchange(bool opponentFiresFirst) {
    NewGameExchange();
    exchange.peerTurn = opponentFiresFirst;
}

void NewGameExchange() {
    exchange.pendingShot.clear();
    exchange.selfReady = false;
    exchange.peerKnowsReady = false;
}

void NoteReadySent() {
    exchange.selfReady = true;
    exchange.peerKnowsReady = true;
}

bool GameRunning() {
    return exchange.selfReady && OpponentReady.load(std::memory_order_relaxed) == 1;
}

bool OpponentMayFire() {
    return GameRunning() && MyTurn.load(std::memory_order_relaxed) == 0;
}

bool MayFire(std::int64_t nowMs) {
    return exchange.pendingShot.empty() || nowMs - exchange.pendingSinceMs >= kShotAnswerTimeoutMs;
}

void NoteShotSent(std::string_view digits, std::int64_t nowMs) {
    exchange.pendingShot = digits;
    exchange.pendingSinceMs = nowMs;
    exchange.peerTurn = true;
}

bool AnswersPendingShot(std::string_view digits) {
    return !exchange.pendingShot.empty() && exchange.pendingShot == digits;
}

void NoteAnswerReceived(bool sunk) {
    exchange.pendingShot.clear();
    if (sunk) exchange.peerKnowsReady = false;
}

void NoteAnswerSent(bool sinksUs) {
    exchange.peerTurn = false;
    if (sinksUs) exchange.peerKnowsReady = false;
}

bool PeerKnowsReady() {
    return exchange.peerKnowsReady;
}

bool ShotAwaitsAnswer() {
    return !exchange.pendingShot.empty();
}

bool PeerHasTurn() {
    return exchange.peerTurn;
}

}  // namespace game
