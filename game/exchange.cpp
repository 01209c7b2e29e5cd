// The exchange of a game as both sides see it. The opponent's turn and whether
// it knows us ready follow from what we sent, in order, and from the answers to
// our shots; what the opponent does on its own (placing, firing) is assumed
// whenever it may.
#include "game/exchange.h"

#include <string>

#include "game/message_stream.h"

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

// The opponent may be in a running game: it knows us ready, or may still do so
// because our shot that could end its game has not been answered.
bool PeerMayBeRunning() REQUIRES(ScreenMutex) {
    return exchange.peerKnowsReady || !exchange.pendingShot.empty();
}

// A chat line can come at any time and is told apart on the other side by
// what follows it, so the first message after any chat lines decides.
bool LeadMustWait(const Message& lead) REQUIRES(ScreenMutex) {
    switch (lead.kind) {
        case MessageKind::kReady:
            return !exchange.peerKnowsReady || !exchange.pendingShot.empty();
        case MessageKind::kShot:
            return PeerMayBeRunning() && !exchange.peerTurn;
        case MessageKind::kHit:
        case MessageKind::kMiss:
            return PeerMayBeRunning() && exchange.peerTurn;
        default:
            return false;
    }
}

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

bool MayFire(std::int64_t nowMs) {
    return exchange.pendingShot.empty() ||
           nowMs - exchange.pendingSinceMs >= kShotAnswerTimeoutMs;
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

bool ChunkMustWait(std::string_view chunk) {
    for (const Message& message : LeadingMessages(chunk)) {
        if (message.kind != MessageKind::kChat) return LeadMustWait(message);
    }
    return false;
}

}  // namespace game
