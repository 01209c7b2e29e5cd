// The rules of a plain peer's wire, in one place.
//
// Design note. A plain peer (one whose first bytes were no greeting: a copy built only for the
// original wire) sends a file as raw bytes between its messages, in chunks of kFileChunkBytes,
// and reads every receive by its first bytes. Nothing marks where file data ends and a message
// begins, so both directions need rules that the framed wire between two greeted copies does
// without:
//
//   Receiving from a plain peer (the worker thread, under the screen mutex):
//   - Look-alikes at chunk starts. Only between two chunks can a message stand. There, bytes
//     that read as a whole message count as one only if the peer could send that message now
//     (CouldComeNow); a chat line, which can come at any time, only when no file data sticks
//     to it, since our sender never writes a chunk right behind a chat line.
//   - Pauses inside a chunk. A peer writes each chunk at once and chunks kChunkPauseMs apart,
//     so bytes that arrive kChunkPauseSignMs (50 ms) or more after the ones before them, in the
//     middle of a chunk, and begin with a message that could come now, show that the file ended
//     early: the rest of the chunk never comes.
//   - Draining after "n". A file refused while it arrives keeps coming until the peer reads the
//     refusal; its bytes are counted off and dropped until a message that could come now shows
//     the peer has stopped.
//
//   Sending to a plain peer (the file's worker and the sender thread):
//   - Pacing: one chunk every kChunkPauseMs (100 ms), as the peer expects them.
//   - A chunk whose first bytes could pass for a message the peer may receive now is held
//     until the game moves on (ChunkMustWait), rechecked at least every 50 ms by the sender.
//   - At most one chunk on its way; a chunk after a chat line waits until the line has been
//     acknowledged and kChatPause (300 ms) has passed, so the line arrives on its own and the
//     peer reads it as chat, not as the start of a chunk (WireIsClear).
#include "game/wire/plain_peer.h"

#include <algorithm>
#include <chrono>

#include "game/wire/exchange.h"
#include "game/wire/protocol.h"

namespace game {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kNoPause = static_cast<std::size_t>(-1);
constexpr std::chrono::milliseconds kChatPause{300};

struct PlainState {
    // Receiving.
    std::uint32_t fileDue GUARDED_BY(ScreenMutex) = 0;    // bytes of the file not yet taken
    std::uint32_t chunkLeft GUARDED_BY(ScreenMutex) = 0;  // bytes of the chunk not yet taken
    bool draining GUARDED_BY(ScreenMutex) = false;        // the file was refused while arriving
    std::int64_t lastArrivalMs GUARDED_BY(ScreenMutex) = 0;
    // Where, in the stream's bytes, bytes begin that came after a pause inside a chunk.
    std::size_t pauseAt GUARDED_BY(ScreenMutex) = kNoPause;
    // Sending: touched by the sender thread only.
    bool chatSinceChunk = false;
    Clock::time_point chatWrittenAt{};
};

PlainState plain;

enum class Boundary { kMessage, kData, kWait };

// At a place where a chunk may start, with `due` file bytes still to come: the beginning of a
// message is waited for while more file bytes must come anyway; a whole one stands there if it
// could come now, and a chat line only if what follows it is no file data.
Boundary AtBoundary(std::string_view s, std::uint32_t due, BoundaryRule couldCome) {
    const Cut cut = ReadMessage(s);
    if (cut.fit == Fit::kIncomplete) return s.size() < due ? Boundary::kWait : Boundary::kData;
    if (cut.fit == Fit::kNone) return Boundary::kData;
    if (!couldCome({cut.kind, std::string(s.substr(0, cut.length))})) return Boundary::kData;
    if (cut.kind != MessageKind::kChat || cut.length == s.size()) return Boundary::kMessage;
    const std::uint32_t left = due > cut.length ? due - static_cast<std::uint32_t>(cut.length) : 0;
    return AtBoundary(s.substr(cut.length), left, couldCome);
}

void LeaveFileMode() REQUIRES(ScreenMutex) {
    plain.fileDue = 0;
    plain.chunkLeft = 0;
    plain.draining = false;
    plain.pauseAt = kNoPause;
}

// File bytes of the current chunk, as many as have come and up to a pause; counted off here.
PlainTake TakeFileBytes(std::string_view held) REQUIRES(ScreenMutex) {
    std::size_t n = std::min<std::size_t>(plain.chunkLeft, held.size());
    if (plain.pauseAt != kNoPause) n = std::min(n, plain.pauseAt);
    plain.chunkLeft -= static_cast<std::uint32_t>(n);
    plain.fileDue -= static_cast<std::uint32_t>(n);
    return {PlainStep::kFileBytes, n};
}

// Inside a chunk: the bytes after a pause may show that the file ended early.
PlainTake InsideChunk(std::string_view held, BoundaryRule couldCome) REQUIRES(ScreenMutex) {
    if (plain.pauseAt == 0) {
        const Boundary found = AtBoundary(held, plain.chunkLeft, couldCome);
        if (found == Boundary::kWait) return {PlainStep::kWait, 0};
        plain.pauseAt = kNoPause;
        if (found == Boundary::kMessage) {
            LeaveFileMode();
            return {PlainStep::kCutShort, 0};
        }
    }
    return TakeFileBytes(held);
}

// The opponent may be in a running game: it knows us ready, or may still do so because our
// shot that could end its game has not been answered.
bool PeerMayBeRunning() REQUIRES(ScreenMutex) {
    return PeerKnowsReady() || ShotAwaitsAnswer();
}

// A chat line can come at any time and is told apart on the other side by what follows it, so
// the first message after any chat lines decides.
bool LeadMustWait(const Message& lead) REQUIRES(ScreenMutex) {
    switch (lead.kind) {
        case MessageKind::kReady:
            return !PeerKnowsReady() || ShotAwaitsAnswer();
        case MessageKind::kShot:
            return PeerMayBeRunning() && !PeerHasTurn();
        case MessageKind::kHit:
        case MessageKind::kMiss:
            return PeerMayBeRunning() && PeerHasTurn();
        default:
            return false;
    }
}

}  // namespace

void ExpectFileData(std::uint32_t size) {
    LeaveFileMode();
    plain.fileDue = size;
}

void DrainFileData() {
    if (plain.fileDue > 0) plain.draining = true;
}

void CancelFileData() {
    LeaveFileMode();
}

std::uint32_t FileBytesDue() {
    return plain.fileDue;
}

PlainTake NextPlainStep(std::string_view held, BoundaryRule couldCome) {
    if (plain.chunkLeft > 0) return InsideChunk(held, couldCome);
    const Boundary found = AtBoundary(held, plain.fileDue, couldCome);
    if (found == Boundary::kWait) return {PlainStep::kWait, 0};
    if (found == Boundary::kData) {
        plain.chunkLeft = std::min<std::uint32_t>(plain.fileDue, kFileChunkBytes);
        return TakeFileBytes(held);
    }
    // A refused file is over once its sender shows it has stopped.
    if (plain.draining) LeaveFileMode();
    return {PlainStep::kMessage, 0};
}

void NoteArrival(std::size_t before, std::int64_t arrivalMs) {
    const bool pause = arrivalMs - plain.lastArrivalMs >= kChunkPauseSignMs;
    if (plain.chunkLeft > 0 && plain.pauseAt == kNoPause && pause) plain.pauseAt = before;
    plain.lastArrivalMs = arrivalMs;
}

void NoteTaken(std::size_t count) {
    if (plain.pauseAt != kNoPause)
        plain.pauseAt = plain.pauseAt > count ? plain.pauseAt - count : 0;
    if (plain.chunkLeft == 0) plain.pauseAt = kNoPause;
}

bool CouldComeNow(const Message& message, bool offerAwaitsAnswer, bool fileComing) {
    const std::string_view bytes = message.bytes;
    switch (message.kind) {
        case MessageKind::kReady:
            return OpponentReady.load(std::memory_order_relaxed) == 0;
        case MessageKind::kShot:
            return OpponentMayFire();
        case MessageKind::kHit:
        case MessageKind::kMiss:
            return AnswersPendingShot(bytes.substr(kAnswerDigitsAt, 2));
        case MessageKind::kAccept:
        case MessageKind::kRefuse:
            return offerAwaitsAnswer;
        case MessageKind::kOffer:
            return !fileComing;
        default:
            return true;
    }
}

bool ChunkMustWait(std::string_view chunk) {
    for (const Message& message : LeadingMessages(chunk)) {
        if (message.kind != MessageKind::kChat) return LeadMustWait(message);
    }
    return false;
}

void NoteChatWritten() {
    plain.chatSinceChunk = true;
    plain.chatWrittenAt = Clock::now();
}

void NoteChunkWritten() {
    plain.chatSinceChunk = false;
}

bool WireIsClear(std::string_view chunk, std::size_t unacknowledged) {
    if (unacknowledged > kFileChunkBytes) return false;
    const bool chatLead = chunk.starts_with(kChatKeyword);
    if (!chatLead && !plain.chatSinceChunk) return true;
    if (plain.chatSinceChunk && Clock::now() - plain.chatWrittenAt < kChatPause) return false;
    return unacknowledged == 0;
}

}  // namespace game
