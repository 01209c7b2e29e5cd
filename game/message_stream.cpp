// Cuts the received byte stream into messages. Every message has a length
// known from its first bytes, so nothing depends on how TCP split or joined
// them. While a file arrives its bytes are counted off chunk by chunk, and a
// message is looked for only where a chunk may end: there a look-alike in the
// file and a real message are told apart by what could come in the current
// state, and a chat line, which can come at any time, by what follows it.
#include "game/message_stream.h"

#include <algorithm>

namespace game {
namespace {

constexpr std::size_t kOfferHeader = kOfferKeyword.size();
constexpr std::size_t kNoPause = std::string::npos;

struct StreamState {
    std::string held GUARDED_BY(ScreenMutex);
    std::uint32_t fileDue GUARDED_BY(ScreenMutex) = 0;    // bytes of the file not yet taken
    std::uint32_t chunkLeft GUARDED_BY(ScreenMutex) = 0;  // bytes of the chunk not yet taken
    bool draining GUARDED_BY(ScreenMutex) = false;        // the file was refused while arriving
    std::int64_t lastArrivalMs GUARDED_BY(ScreenMutex) = 0;
    // Where, in `held`, bytes begin that came after a pause inside a chunk.
    std::size_t pauseAt GUARDED_BY(ScreenMutex) = kNoPause;
};

StreamState stream;

enum class Fit { kComplete, kIncomplete, kNone };

struct Cut {
    Fit fit;
    MessageKind kind;
    std::size_t length;
};

constexpr Cut kWait{Fit::kIncomplete, MessageKind::kFileData, 0};
constexpr Cut kNoMessage{Fit::kNone, MessageKind::kFileData, 0};

// The next place at or after `from` where a keyword starts, or could start in
// bytes still to come.
std::size_t NextKeyword(std::string_view s, std::size_t from) {
    for (std::size_t at = from; at < s.size(); ++at) {
        const std::string_view rest = s.substr(at);
        for (std::string_view keyword : kKeywords) {
            const std::size_t n = std::min(rest.size(), keyword.size());
            if (rest.substr(0, n) == keyword.substr(0, n)) return at;
        }
    }
    return s.size();
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A message of fixed length whose bytes from `firstDigit` on must be digits.
Cut FixedWithDigits(std::string_view s, std::size_t firstDigit, std::size_t length,
                    MessageKind kind) {
    for (std::size_t i = firstDigit; i < std::min(s.size(), length); ++i) {
        if (!IsDigit(s[i])) return kNoMessage;
    }
    return s.size() < length ? kWait : Cut{Fit::kComplete, kind, length};
}

Cut SystemMessage(std::string_view s) {
    if (s.size() < kSystemLength) return kWait;
    switch (s[kSystemLength - 1]) {
        case kReadyLetter:
            return {Fit::kComplete, MessageKind::kReady, kSystemLength};
        case kAcceptLetter:
            return {Fit::kComplete, MessageKind::kAccept, kSystemLength};
        case kRefuseLetter:
            return {Fit::kComplete, MessageKind::kRefuse, kSystemLength};
        case kHitLetter:
            return FixedWithDigits(s, kAnswerDigitsAt, kAnswerLength, MessageKind::kHit);
        case kMissLetter:
            return FixedWithDigits(s, kAnswerDigitsAt, kAnswerLength, MessageKind::kMiss);
        default:
            return kNoMessage;
    }
}

Cut ChatMessage(std::string_view s) {
    if (s.size() < kChatHeader) return kWait;
    const std::size_t text = static_cast<unsigned char>(s[kChatHeader - 1]);
    if (text > kMaxChatText) return kNoMessage;
    if (s.size() < kChatHeader + text) return kWait;
    return {Fit::kComplete, MessageKind::kChat, kChatHeader + text};
}

// The size runs up to where a keyword starts or the received bytes end, so a
// size with other bytes in it reaches the offer's checks whole; at least one
// byte after the "?" is awaited. A name longer than any allowed is cut where
// it passes the limit, so the offer is still answered (and refused).
Cut OfferMessage(std::string_view s) {
    constexpr std::size_t kLongest = kOfferHeader + kMaxOfferName;
    const std::size_t mark = s.substr(0, kLongest + 1).find(kOfferNameEnd, kOfferHeader);
    if (mark == std::string_view::npos) {
        return s.size() > kLongest ? Cut{Fit::kComplete, MessageKind::kOffer, kLongest + 1} : kWait;
    }
    if (mark + 1 == s.size()) return kWait;
    return {Fit::kComplete, MessageKind::kOffer, NextKeyword(s, mark + 1)};
}

// What the bytes at the start of `s` are: a whole message, the beginning of
// one, or no message at all.
Cut ReadMessage(std::string_view s) {
    for (std::string_view keyword : kKeywords) {
        if (s.size() < keyword.size() && keyword.starts_with(s)) return kWait;
    }
    if (s.starts_with(kSystemKeyword)) return SystemMessage(s);
    if (s.starts_with(kShotKeyword))
        return FixedWithDigits(s, kShotDigitsAt, kShotLength, MessageKind::kShot);
    if (s.starts_with(kChatKeyword)) return ChatMessage(s);
    if (s.starts_with(kOfferKeyword)) return OfferMessage(s);
    return kNoMessage;
}

enum class Boundary { kMessage, kData, kWait };

// At a place where a chunk may start, with `due` file bytes still to come: the
// beginning of a message is waited for while more file bytes must come anyway;
// a whole one stands there if it could come now. A chat line could always come,
// but our sender writes the next chunk only well after one, so a chat line that
// has file bytes right behind it is the start of a chunk.
Boundary AtBoundary(std::string_view s, std::uint32_t due, BoundaryRule couldCome) {
    const Cut cut = ReadMessage(s);
    if (cut.fit == Fit::kIncomplete) return s.size() < due ? Boundary::kWait : Boundary::kData;
    if (cut.fit == Fit::kNone) return Boundary::kData;
    if (!couldCome({cut.kind, std::string(s.substr(0, cut.length))})) return Boundary::kData;
    if (cut.kind != MessageKind::kChat || cut.length == s.size()) return Boundary::kMessage;
    const std::uint32_t left = due > cut.length ? due - static_cast<std::uint32_t>(cut.length) : 0;
    const Boundary next = AtBoundary(s.substr(cut.length), left, couldCome);
    return next == Boundary::kData ? Boundary::kData : next;
}

void LeaveFileMode() REQUIRES(ScreenMutex) {
    stream.fileDue = 0;
    stream.chunkLeft = 0;
    stream.draining = false;
    stream.pauseAt = kNoPause;
}

void Consume(std::size_t n) REQUIRES(ScreenMutex) {
    stream.held.erase(0, n);
    if (stream.pauseAt != kNoPause) stream.pauseAt = stream.pauseAt > n ? stream.pauseAt - n : 0;
}

// File bytes of the current chunk, as many as have come and up to a pause.
bool TakeFileBytes(Message& message) REQUIRES(ScreenMutex) {
    std::size_t n = std::min<std::size_t>(stream.chunkLeft, stream.held.size());
    if (stream.pauseAt != kNoPause) n = std::min(n, stream.pauseAt);
    if (n == 0) return false;
    message = {MessageKind::kFileData, stream.held.substr(0, n)};
    stream.chunkLeft -= static_cast<std::uint32_t>(n);
    stream.fileDue -= static_cast<std::uint32_t>(n);
    Consume(n);
    if (stream.chunkLeft == 0) stream.pauseAt = kNoPause;
    return true;
}

// Bytes after a pause inside a chunk that begin with a message that could come
// now: the sender's chunk ended early, so the file ends here.
Boundary AfterPause(Message& message, BoundaryRule couldCome) REQUIRES(ScreenMutex) {
    const Boundary found = AtBoundary(stream.held, stream.chunkLeft, couldCome);
    if (found == Boundary::kWait) return found;
    stream.pauseAt = kNoPause;
    if (found == Boundary::kMessage) {
        LeaveFileMode();
        message = {MessageKind::kFileCutShort, {}};
    }
    return found;
}

// Cuts the message at the front; false to wait for more bytes.
bool CutMessage(Message& message) REQUIRES(ScreenMutex) {
    for (;;) {
        const Cut cut = ReadMessage(stream.held);
        if (cut.fit == Fit::kIncomplete || stream.held.empty()) return false;
        if (cut.fit == Fit::kComplete) {
            message = {cut.kind, stream.held.substr(0, cut.length)};
            Consume(cut.length);
            return true;
        }
        Consume(NextKeyword(stream.held, 1));
    }
}

// At a chunk boundary: a message that stands there, or the next chunk.
bool AtChunkBoundary(Message& message, BoundaryRule couldCome, bool& startChunk)
    REQUIRES(ScreenMutex) {
    const Boundary found = AtBoundary(stream.held, stream.fileDue, couldCome);
    if (found == Boundary::kWait) return false;
    if (found == Boundary::kData) {
        stream.chunkLeft = std::min<std::uint32_t>(stream.fileDue, kFileChunkBytes);
        startChunk = true;
        return false;
    }
    // A refused file is over once its sender shows it has stopped.
    if (stream.draining) LeaveFileMode();
    return CutMessage(message);
}

}  // namespace

void ResetStream() {
    stream.held.clear();
    LeaveFileMode();
}

void FeedStream(std::string_view received, std::int64_t arrivalMs) {
    const bool pause = arrivalMs - stream.lastArrivalMs >= kChunkPauseSignMs;
    if (stream.chunkLeft > 0 && stream.pauseAt == kNoPause && pause) {
        stream.pauseAt = stream.held.size();
    }
    stream.lastArrivalMs = arrivalMs;
    stream.held.append(received);
}

bool NextMessage(Message& message, BoundaryRule couldCome) {
    for (;;) {
        if (stream.held.empty()) return false;
        if (stream.chunkLeft > 0) {
            if (stream.pauseAt == 0) {
                const Boundary found = AfterPause(message, couldCome);
                if (found == Boundary::kWait) return false;
                if (found == Boundary::kMessage) return true;
            }
            if (TakeFileBytes(message)) return true;
            continue;
        }
        if (stream.fileDue == 0) return CutMessage(message);
        bool startChunk = false;
        if (AtChunkBoundary(message, couldCome, startChunk)) return true;
        if (!startChunk) return false;
    }
}

void ExpectFileData(std::uint32_t size) {
    LeaveFileMode();
    stream.fileDue = size;
}

void DrainFileData() {
    if (stream.fileDue > 0) stream.draining = true;
}

void CancelFileData() {
    LeaveFileMode();
}

std::uint32_t FileBytesDue() {
    return stream.fileDue;
}

std::size_t HeldBytes() {
    return stream.held.size();
}

std::vector<Message> LeadingMessages(std::string_view bytes) {
    std::vector<Message> messages;
    for (Cut cut = ReadMessage(bytes); cut.fit == Fit::kComplete; cut = ReadMessage(bytes)) {
        messages.push_back({cut.kind, std::string(bytes.substr(0, cut.length))});
        bytes.remove_prefix(cut.length);
    }
    return messages;
}

}  // namespace game
