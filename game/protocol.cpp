// What each received message does, and the messages this side sends. A shot is
// judged by the colour of the own small board, an answer is applied only to the
// one shot it answers, and a shot only while it is the opponent's turn in a
// running game, so a peer can neither forge a win nor fire out of turn.
#include "game/protocol.h"

#include <string>

#include "game/board.h"
#include "game/file_transfer.h"
#include "game/lobby.h"
#include "game/message_stream.h"
#include "game/network_match.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr std::string_view kShotKeyword = "SHOT:";
constexpr std::string_view kHitAnswer = "SYST:H";
constexpr std::string_view kMissAnswer = "SYST:W";
constexpr std::size_t kShotDigitsAt = 5;
constexpr std::size_t kAnswerDigitsAt = 6;
constexpr std::size_t kChatTextAt = 7;
constexpr std::string_view kChatSeparator = "> ";

constexpr std::string_view kOwnShipHit = "Dein Schiff wurde getroffen";
constexpr std::string_view kOwnWater = "Dein Gegner hat nichts getroffen";
constexpr std::string_view kEnemyHit = "Du hast ein Schiff getroffen";
constexpr std::string_view kEnemyWater = "Wasser";

// Written under the screen mutex.
struct ExchangeState {
    std::string pendingShot;  // the digits of the shot awaiting its answer
    bool selfReady = false;   // this side has sent its Ready for the game
};

ExchangeState exchange;

int DigitValue(char digit) {
    return digit - '0';
}

// Both sides have sent their Ready, so shots count. Caller holds the lock.
bool GameRunning() {
    return exchange.selfReady && OpponentReady.load(std::memory_order_relaxed) == 1;
}

void PassTurn(bool toUs) {
    MyTurn.store(toUs ? 1 : 0, std::memory_order_relaxed);
    screen::PaintTurnIndicator(toUs ? screen::kTurnYellow : screen::kWhite);
}

// A cell already marked red or blue is answered as water and keeps its colour.
void ReceiveShot(std::string_view digits) {
    const screen::Point cell =
        screen::FleetProbe(DigitValue(digits[0]) + 1, DigitValue(digits[1]) + 1);
    LockScreen();
    if (!GameRunning() || MyTurn.load(std::memory_order_relaxed) == 1) {
        UnlockScreen();
        return;
    }
    const screen::Colour colour = screen::ReadPixel(cell.x, cell.y);
    const bool hit = colour == screen::kShipGrey;
    screen::LogLine(hit ? kOwnShipHit : kOwnWater);
    UnlockScreen();
    SendToPeer(AnswerMessage(hit, digits));
    LockScreen();
    if (hit || colour == screen::kWhite) {
        screen::FloodFill(cell.x, cell.y, hit ? screen::kHitRed : screen::kWaterBlue,
                          screen::kBlack);
    }
    if (hit && --OwnCellsLeft == 0) {
        UnlockScreen();
        GameOver(0);
        LockScreen();
    }
    PassTurn(true);
    UnlockScreen();
}

void ReceiveAnswer(std::string_view digits, bool hit) {
    LockScreen();
    if (exchange.pendingShot.empty() || exchange.pendingShot != digits) {
        UnlockScreen();
        return;
    }
    exchange.pendingShot.clear();
    screen::LogLine(hit ? kEnemyHit : kEnemyWater);
    const screen::Point cell =
        screen::TargetProbe(DigitValue(digits[0]) + 1, DigitValue(digits[1]) + 1);
    screen::FloodFill(cell.x, cell.y, hit ? screen::kHitRed : screen::kWaterBlue, screen::kBlack);
    if (hit && --EnemyCellsLeft == 0) {
        UnlockScreen();
        GameOver(1);
        LockScreen();
    }
    PassTurn(false);
    UnlockScreen();
}

void ReceiveReady() {
    LockScreen();
    OpponentReady.store(1, std::memory_order_relaxed);
    UnlockScreen();
}

// The line carries the sender's player number, as the sender's own echo does.
void ReceiveChat(std::string_view message) {
    LockScreen();
    const std::int32_t sender = kServerPlayer + kClientPlayer - PlayerNumber;
    std::string line = std::to_string(sender);
    line += kChatSeparator;
    line += message.substr(kChatTextAt);
    screen::LogLine(line);
    UnlockScreen();
}

void ReceiveOfferMessage(std::string_view bytes) {
    LockScreen();
    const std::string reply = ReceiveOffer(bytes);
    UnlockScreen();
    if (!reply.empty()) SendToPeer(reply);
}

void Dispatch(const Message& message) {
    const std::string_view bytes = message.bytes;
    switch (message.kind) {
        case MessageKind::kReady:
            ReceiveReady();
            break;
        case MessageKind::kShot:
            ReceiveShot(bytes.substr(kShotDigitsAt, 2));
            break;
        case MessageKind::kHit:
        case MessageKind::kMiss:
            ReceiveAnswer(bytes.substr(kAnswerDigitsAt, 2), message.kind == MessageKind::kHit);
            break;
        case MessageKind::kChat:
            ReceiveChat(bytes);
            break;
        case MessageKind::kOffer:
            ReceiveOfferMessage(bytes);
            break;
        case MessageKind::kAccept:
        case MessageKind::kRefuse:
            LockScreen();
            ReceiveFileAnswer(message.kind == MessageKind::kAccept);
            UnlockScreen();
            break;
        case MessageKind::kFileData:
            LockScreen();
            ReceiveFileData(bytes);
            UnlockScreen();
            break;
    }
}

}  // namespace

std::string ShotMessage(int column, int row) {
    std::string message(kShotKeyword);
    message += static_cast<char>('0' + column);
    message += static_cast<char>('0' + row);
    return message;
}

std::string AnswerMessage(bool hit, std::string_view digits) {
    std::string message(hit ? kHitAnswer : kMissAnswer);
    message += digits;
    return message;
}

void SendReady() {
    LockScreen();
    exchange.selfReady = true;
    UnlockScreen();
    SendToPeer(kReadyMessage);
}

bool SendShot(int column, int row) {
    const std::string message = ShotMessage(column, row);
    LockScreen();
    const bool free = exchange.pendingShot.empty();
    if (free) {
        exchange.pendingShot = message.substr(kShotDigitsAt);
        Cell(PlayerShots, column + 1, row + 1) = 1;
    }
    UnlockScreen();
    if (free) SendToPeer(message);
    return free;
}

void ResetGameExchange() {
    exchange.pendingShot.clear();
    exchange.selfReady = false;
}

void MessageDispatcher(std::string_view received) {
    for (const Message& message : FeedStream(received))
        Dispatch(message);
}

}  // namespace game
