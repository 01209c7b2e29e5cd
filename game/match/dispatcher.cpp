// What each received message does, and the messages this side sends. A shot is
// judged by the colour of the own small board, an answer is applied only to the
// one shot it answers, and a shot only while it is the opponent's turn in a
// running game, so a peer can neither forge a win nor fire out of turn. Every
// reply is queued in the same hold of the screen mutex as the change it makes.
#include "game/match/dispatcher.h"

#include <chrono>
#include <string>

#include "game/core/board.h"
#include "game/core/shot_report.h"
#include "game/files/file_transfer.h"
#include "game/files/file_writer.h"
#include "game/wire/exchange.h"
#include "game/wire/message_stream.h"
#include "game/wire/outgoing.h"
#include "game/wire/plain_peer.h"
#include "game/wire/protocol.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr std::string_view kChatSeparator = "> ";

std::int64_t NowMs() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    return duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Only a message the opponent could have sent now stands at a chunk boundary of a plain peer's
// arriving file.
bool CouldComeHere(const Message& message) REQUIRES(ScreenMutex) {
    return CouldComeNow(message, AwaitingAnswer(),
                        ReceivingFile.load(std::memory_order_relaxed) == 1);
}

// A cell already marked red or blue is answered as water and keeps its colour.
// The report, the cell and the turn show in one picture.
// The answer that hits our last ship ends the game; the turn of the next one
// follows after the result.
void ReceiveShot(std::string_view digits, GameEnd gameOver) EXCLUDES(ScreenMutex) {
    const int column = DigitValue(digits[0]) + 1;
    const int row = DigitValue(digits[1]) + 1;
    const screen::Point cell = screen::FleetProbe(column, row);
    {
        ScreenGuard guard;
        if (!OpponentMayFire()) return;
        const screen::Colour colour = screen::ReadPixel(cell.x, cell.y);
        const bool hit = colour == screen::kShipGrey;
        const bool lost = hit && OwnCellsLeft == 1;
        NoteAnswerSent(lost);
        QueueToPeer(AnswerMessage(hit, digits));
        screen::BeginUpdate();
        ShowTheirShot(column, row, hit, hit || colour == screen::kWhite);
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
        screen::BeginUpdate();
        ShowOurShot(DigitValue(digits[0]) + 1, DigitValue(digits[1]) + 1, hit);
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

void ReceiveOfferMessage(const Message& message) EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    std::string reply = message.kind == MessageKind::kOffer ? ReceiveOffer(message.bytes)
                                                            : ReceiveFramedOffer(message.bytes);
    if (!reply.empty()) QueueToPeer(std::move(reply));
}

// What a file's bytes, its end or the end of a plain peer's file do.
void ReceiveFilePart(const Message& message) EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    switch (message.kind) {
        case MessageKind::kFileData:
            ReceiveFileData(message.bytes);
            break;
        case MessageKind::kFrameData:
            ReceiveFrameData(message.bytes);
            break;
        case MessageKind::kFramedEnd:
            ReceiveFramedEnd(message.bytes);
            break;
        default:
            EndArrivingFile();
            break;
    }
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
        case MessageKind::kFramedOffer:
            ReceiveOfferMessage(message);
            break;
        case MessageKind::kAccept:
        case MessageKind::kRefuse: {
            ScreenGuard guard;
            ReceiveFileAnswer(message.kind == MessageKind::kAccept);
            break;
        }
        case MessageKind::kFileData:
        case MessageKind::kFrameData:
        case MessageKind::kFramedEnd:
        case MessageKind::kFileCutShort:
            ReceiveFilePart(message);
            break;
        case MessageKind::kGreeting:
            // The stream has taken note: frames from now on, both ways.
            break;
    }
}

// File data goes to the file at once, in the same hold of the screen mutex, so a file that
// streams in costs one hold per receive; the next message of another kind is left for Dispatch,
// which takes the mutex itself.
bool TakeNextMessage(Message& message) REQUIRES(ScreenMutex) {
    while (NextMessage(message, CouldComeHere)) {
        if (message.kind == MessageKind::kFrameData) {
            ReceiveFrameData(message.bytes);
        } else if (message.kind == MessageKind::kFileData) {
            ReceiveFileData(message.bytes);
        } else {
            return true;
        }
    }
    return false;
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
    Message message;
    bool found = false;
    {
        ScreenGuard guard;
        const std::string_view data = TakeFrameDataAhead(received);
        if (!data.empty()) ReceiveFrameData(data);
        FeedStream(received.substr(data.size()), NowMs());
        found = TakeNextMessage(message);
    }
    while (found) {
        Dispatch(message, gameOver);
        ScreenGuard guard;
        found = TakeNextMessage(message);
    }
    AwaitFileWriterRoom();
}

}  // namespace game
