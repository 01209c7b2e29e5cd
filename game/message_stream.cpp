// Cuts the received byte stream into messages. Every message has a length
// known from its first bytes, so nothing depends on how TCP split or joined
// them. While a file arrives its bytes are counted off chunk by chunk, and a
// message is looked for only where a chunk may end.
#include "game/message_stream.h"

#include <algorithm>
#include <mutex>

namespace game {
namespace {

constexpr std::size_t kOfferHeader = kOfferKeyword.size();

struct StreamState {
    std::mutex lock;  // the connection's worker feeds; the input line starts file data
    std::string held;
    std::uint32_t fileDue = 0;    // bytes of the accepted file not yet taken
    std::uint32_t chunkLeft = 0;  // bytes of the current chunk not yet taken
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
// byte after the "?" is awaited.
Cut OfferMessage(std::string_view s) {
    const std::size_t mark = s.find(kOfferNameEnd, kOfferHeader);
    if (mark == std::string_view::npos) {
        return s.size() - kOfferHeader > kMaxOfferName ? kNoMessage : kWait;
    }
    if (mark - kOfferHeader > kMaxOfferName) return kNoMessage;
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

// File bytes of the current chunk, as many as have come.
std::size_t TakeFileBytes(std::string_view s, std::vector<Message>& out) {
    const std::size_t n = std::min<std::size_t>(stream.chunkLeft, s.size());
    out.push_back({MessageKind::kFileData, std::string(s.substr(0, n))});
    stream.chunkLeft -= static_cast<std::uint32_t>(n);
    stream.fileDue -= static_cast<std::uint32_t>(n);
    return n;
}

// At a chunk boundary a whole message wins. The beginning of one is waited for
// while more file bytes must come anyway; once every byte still due is here,
// they are the file's last chunk.
bool StartChunkUnlessMessage(const Cut& cut, std::size_t available) {
    if (cut.fit == Fit::kComplete) return false;
    if (cut.fit == Fit::kIncomplete && available < stream.fileDue) return false;
    stream.chunkLeft = std::min<std::uint32_t>(stream.fileDue, kFileChunkBytes);
    return true;
}

// Cuts what `held` allows from `at` on; returns the new position, or npos to
// wait for more bytes.
std::size_t CutNext(std::size_t at, std::vector<Message>& out) {
    const std::string_view rest = std::string_view(stream.held).substr(at);
    if (stream.chunkLeft > 0) return at + TakeFileBytes(rest, out);
    const Cut cut = ReadMessage(rest);
    if (stream.fileDue > 0 && StartChunkUnlessMessage(cut, rest.size())) return at;
    if (cut.fit == Fit::kComplete) {
        out.push_back({cut.kind, std::string(rest.substr(0, cut.length))});
        return at + cut.length;
    }
    if (cut.fit == Fit::kIncomplete) return std::string::npos;
    return NextKeyword(stream.held, at + 1);
}

}  // namespace

void ResetStream() {
    std::lock_guard guard(stream.lock);
    stream.held.clear();
    stream.fileDue = 0;
    stream.chunkLeft = 0;
}

std::vector<Message> FeedStream(std::string_view received) {
    std::lock_guard guard(stream.lock);
    stream.held.append(received);
    std::vector<Message> out;
    std::size_t at = 0;
    while (at < stream.held.size()) {
        const std::size_t next = CutNext(at, out);
        if (next == std::string::npos) break;
        at = next;
    }
    stream.held.erase(0, at);
    return out;
}

void ExpectFileData(std::uint32_t size) {
    std::lock_guard guard(stream.lock);
    stream.fileDue = size;
    stream.chunkLeft = 0;
}

void CancelFileData() {
    ExpectFileData(0);
}

std::uint32_t FileBytesDue() {
    std::lock_guard guard(stream.lock);
    return stream.fileDue;
}

std::size_t HeldBytes() {
    std::lock_guard guard(stream.lock);
    return stream.held.size();
}

}  // namespace game
