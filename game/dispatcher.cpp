// What each received message does, and the messages this side sends. A shot is
// judged by the colour of the own small board, an answer is applied only to the
// one shot it answers, and a shot only while it is the opponent's turn in a
// running game, so a peer can neither forge a win nor fire out of turn.
#include "game/dispatcher.h"

#include <string>

#include "game/board.h"
#include "game/file_transfer.h"
#include "game/message_stream.h"
#include "game/protocol.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr std::string_view kChatSeparator = "> ";

constexpr std::string_view kOwnShipHit = "Dein Schiff wurde getroffen";
constexpr std::string_view kOwnWater = "Dein Gegner hat nichts getroffen";
constexpr std::string_view kEnemyHit = "Du hast ein Schiff getroffen";
constexpr std::string_view kEnemyWater = "Wasser";

struct ExchangeState {
    std::string pendingShot GUARDED_BY(ScreenMutex);  // digits of the shot awaiting its answer
    bool selfReady GUARDED_BY(ScreenMutex) = false;   // this side has sent its Ready
};

ExchangeState exchange;

// Both sides have sent their Ready, so shots count.
bool GameRunning() REQUIRES(ScreenMutex) {
    return exchange.selfReady && OpponentReady.load(std::memory_order_relaxed) == 1;
}

void PassTurn(bool toUs) REQUIRES(ScreenMutex) {
    MyTurn.store(toUs ? 1 : 0, std::memory_order_relaxed);
    screen::PaintTurnIndicator(toUs ? screen::kTurnYellow : screen::kWhite);
}

// The end of a game takes the screen mutex itself; the turn passes once it is over.
void EndGame(GameEnd gameOver, int result, bool toUs) EXCLUDES(ScreenMutex) {
    gameOver(result);
    ScreenGuard guard;
    PassTurn(toUs);
}

// A cell already marked red or blue is answered as water and keeps its colour.
void ReceiveShot(std::string_view digits, GameEnd gameOver) EXCLUDES(ScreenMutex) {
    const screen::Point cell =
        screen::FleetProbe(DigitValue(digits[0]) + 1, DigitValue(digits[1]) + 1);
    screen::Colour colour = screen::kNoPixel;
    {
        ScreenGuard guard;
        if (!GameRunning() || MyTurn.load(std::memory_order_relaxed) == 1) return;
        colour = screen::ReadPixel(cell.x, cell.y);
        screen::LogLine(colour == screen::kShipGrey ? kOwnShipHit : kOwnWater);
    }
    const bool hit = colour == screen::kShipGrey;
    SendToPeer(AnswerMessage(hit, digits));
    {
        ScreenGuard guard;
        if (hit || colour == screen::kWhite) {
            screen::FloodFill(cell.x, cell.y, hit ? screen::kHitRed : screen::kWaterBlue,
                              screen::kBlack);
        }
        const bool lost = hit && --OwnCellsLeft == 0;
        if (!lost) {
            PassTurn(true);
            return;
        }
    }
    EndGame(gameOver, 0, true);
}

void ReceiveAnswer(std::string_view digits, bool hit, GameEnd gameOver) EXCLUDES(ScreenMutex) {
    {
        ScreenGuard guard;
        if (exchange.pendingShot.empty() || exchange.pendingShot != digits) return;
        exchange.pendingShot.clear();
        screen::LogLine(hit ? kEnemyHit : kEnemyWater);
        const screen::Point cell =
            screen::TargetProbe(DigitValue(digits[0]) + 1, DigitValue(digits[1]) + 1);
        screen::FloodFill(cell.x, cell.y, hit ? screen::kHitRed : screen::kWaterBlue,
                          screen::kBlack);
        const bool won = hit && --EnemyCellsLeft == 0;
        if (!won) {
            PassTurn(false);
            return;
        }
    }
    EndGame(gameOver, 1, false);
}

void ReceiveReady() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    OpponentReady.store(1, std::memory_order_relaxed);
}

// The line carries the sender's player number, as the sender's own echo does.
void ReceiveChat(std::string_view message) EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    const std::int32_t sender = kServerPlayer + kClientPlayer - PlayerNumber;
    std::string line = std::to_string(sender);
    line += kChatSeparator;
    line += message.substr(kChatHeader);
    screen::LogLine(line);
}

void ReceiveOfferMessage(std::string_view bytes) EXCLUDES(ScreenMutex) {
    std::string reply;
    {
        ScreenGuard guard;
        reply = ReceiveOffer(bytes);
    }
    if (!reply.empty()) SendToPeer(reply);
}

void Dispatch(const Message& message, GameEnd gameOver) EXCLUDES(ScreenMutex) {
    const std::string_view bytes = message.bytes;
    switch (message.kind) {
        case MessageKind::kReady:
            ReceiveReady();
            break;
        case MessageKind::kShot:
            ReceiveShot(bytes.substr(kShotDigitsAt, 2), gameOver);
            break;
        case MessageKind::kHit:
        case MessageKind::kMiss:
            ReceiveAnswer(bytes.substr(kAnswerDigitsAt, 2), message.kind == MessageKind::kHit,
                          gameOver);
            break;
        case MessageKind::kChat:
            ReceiveChat(bytes);
            break;
        case MessageKind::kOffer:
            ReceiveOfferMessage(bytes);
            break;
        case MessageKind::kAccept:
        case MessageKind::kRefuse: {
            ScreenGuard guard;
            ReceiveFileAnswer(message.kind == MessageKind::kAccept);
            break;
        }
        case MessageKind::kFileData: {
            ScreenGuard guard;
            ReceiveFileData(bytes);
            break;
        }
    }
}

}  // namespace

void SendReady() {
    {
        ScreenGuard guard;
        exchange.selfReady = true;
    }
    SendToPeer(kReadyMessage);
}

bool SendShot(int column, int row) {
    const std::string message = ShotMessage(column, row);
    bool free = false;
    {
        ScreenGuard guard;
        free = exchange.pendingShot.empty();
        if (free) {
            exchange.pendingShot = message.substr(kShotDigitsAt);
            Cell(PlayerShots, column + 1, row + 1) = 1;
        }
    }
    if (free) SendToPeer(message);
    return free;
}

void ResetGameExchange() {
    exchange.pendingShot.clear();
    exchange.selfReady = false;
}

void MessageDispatcher(std::string_view received, GameEnd gameOver) {
    for (const Message& message : FeedStream(received))
        Dispatch(message, gameOver);
}

}  // namespace game
