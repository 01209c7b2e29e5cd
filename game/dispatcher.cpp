// What each received message does, and the messages this side sends. A shot is
// judged by the colour of the own small board, an answer is applied only to the
// one shot it answers, and a shot only while it is the opponent's turn in a
// running game, so a peer can neither forge a win nor fire out of turn. Every
// reply is queued in the same hold of the screen mutex as the change it makes.
#include "game/dispatcher.h"

#include <chrono>
#include <string>

#include "game/board.h"
#include "game/exchange.h"
#include "game/file_transfer.h"
#include "game/message_stream.h"
#include "game/outgoing.h"
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

std::int64_t NowMs() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    return duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool ShotCouldCome() REQUIRES(ScreenMutex) {
    return GameRunning() && MyTurn.load(std::memory_order_relaxed) == 0;
}

// Whether the opponent could have sent this message now: only such a message
// stands at a chunk boundary of an arriving file.
bool CouldComeNow(const Message& message) REQUIRES(ScreenMutex) {
    const std::string_view bytes = message.bytes;
    switch (message.kind) {
        case MessageKind::kReady:
            return OpponentReady.load(std::memory_order_relaxed) == 0;
        case MessageKind::kShot:
            return ShotCouldCome();
        case MessageKind::kHit:
        case MessageKind::kMiss:
            return AnswersPendingShot(bytes.substr(kAnswerDigitsAt, 2));
        case MessageKind::kAccept:
        case MessageKind::kRefuse:
            return AwaitingAnswer();
        case MessageKind::kOffer:
            return ReceivingFile.load(std::memory_order_relaxed) == 0;
        default:
            return true;
    }
}

// A cell already marked red or blue is answered as water and keeps its colour.
// The report, the cell and the turn show in one picture.
// The answer that hits our last ship ends the game; the turn of the next one
// follows after the result.
void ReceiveShot(std::string_view digits, GameEnd gameOver) EXCLUDES(ScreenMutex) {
    const screen::Point cell =
        screen::FleetProbe(DigitValue(digits[0]) + 1, DigitValue(digits[1]) + 1);
    {
        ScreenGuard guard;
        if (!ShotCouldCome()) return;
        const screen::Colour colour = screen::ReadPixel(cell.x, cell.y);
        const bool hit = colour == screen::kShipGrey;
        const bool lost = hit && OwnCellsLeft == 1;
        NoteAnswerSent(lost);
        QueueToPeer(AnswerMessage(hit, digits));
        screen::BeginUpdate();
        screen::LogLine(hit ? kOwnShipHit : kOwnWater);
        if (hit || colour == screen::kWhite) {
            screen::FloodFill(cell.x, cell.y, hit ? screen::kHitRed : screen::kWaterBlue,
                              screen::kBlack);
        }
        if (hit) --OwnCellsLeft;
        if (!lost) PassTurn(true);
        screen::EndUpdate();
        if (!lost) return;
    }
    gameOver(0);
}

void ReceiveAnswer(std::string_view digits, bool hit, GameEnd gameOver) EXCLUDES(ScreenMutex) {
    {
        ScreenGuard guard;
        if (!AnswersPendingShot(digits)) return;
        const bool won = hit && EnemyCellsLeft == 1;
        NoteAnswerReceived(won);
        const screen::Point cell =
            screen::TargetProbe(DigitValue(digits[0]) + 1, DigitValue(digits[1]) + 1);
        screen::BeginUpdate();
        screen::LogLine(hit ? kEnemyHit : kEnemyWater);
        screen::FloodFill(cell.x, cell.y, hit ? screen::kHitRed : screen::kWaterBlue,
                          screen::kBlack);
        if (hit) --EnemyCellsLeft;
        if (!won) PassTurn(false);
        screen::EndUpdate();
        WakeSender();
        if (!won) return;
    }
    gameOver(1);
}

// The turn loop sleeps until then.
void ReceiveReady() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    OpponentReady.store(1, std::memory_order_relaxed);
    screen::WakeInputWaiters();
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
    ScreenGuard guard;
    std::string reply = ReceiveOffer(bytes);
    if (!reply.empty()) QueueToPeer(std::move(reply));
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
        case MessageKind::kFileCutShort: {
            ScreenGuard guard;
            EndArrivingFile();
            break;
        }
    }
}

bool TakeNextMessage(Message& message) EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    return NextMessage(message, CouldComeNow);
}

}  // namespace

void SendReady() {
    ScreenGuard guard;
    NoteReadySent();
    QueueToPeer(std::string(kReadyMessage));
}

bool SendShot(int column, int row) {
    std::string message = ShotMessage(column, row);
    ScreenGuard guard;
    const std::int64_t now = NowMs();
    if (!MayFire(now)) return false;
    NoteShotSent(std::string_view(message).substr(kShotDigitsAt), now);
    Cell(PlayerShots, column + 1, row + 1) = 1;
    QueueToPeer(std::move(message));
    return true;
}

void PassTurn(bool toUs) {
    MyTurn.store(toUs ? 1 : 0, std::memory_order_relaxed);
    screen::PaintTurnIndicator(toUs ? screen::kTurnYellow : screen::kWhite);
}

void MessageDispatcher(std::string_view received, GameEnd gameOver) {
    {
        ScreenGuard guard;
        FeedStream(received, NowMs());
    }
    Message message;
    while (TakeNextMessage(message))
        Dispatch(message, gameOver);
}

}  // namespace game
