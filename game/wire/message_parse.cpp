// Reading single messages off the front of the received bytes. Every message has a length known
// from its first bytes, so nothing here depends on how TCP split or joined them.
#include "game/wire/message_parse.h"

#include <algorithm>

#include "game/wire/protocol.h"

namespace game {
namespace {

constexpr std::size_t kOfferHeader = kOfferKeyword.size();
constexpr int kTens = 10;

constexpr Cut kWait{Fit::kIncomplete, MessageKind::kFileData, 0};
constexpr Cut kNoMessage{Fit::kNone, MessageKind::kFileData, 0};

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

// The name must match as far as it has come; the level is two digits.
Cut Greeting(std::string_view s) {
    const std::string_view name = s.substr(kGreetingNameAt, kGreetingName.size());
    if (!kGreetingName.starts_with(name)) return kNoMessage;
    return FixedWithDigits(s, kGreetingLevelAt, kGreetingLength, MessageKind::kGreeting);
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
        case kGreetingLetter:
            return Greeting(s);
        default:
            return kNoMessage;
    }
}

Cut ReadChat(std::string_view s) {
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
Cut ReadOffer(std::string_view s) {
    constexpr std::size_t kLongest = kOfferHeader + kMaxOfferName;
    const std::size_t mark = s.substr(0, kLongest + 1).find(kOfferNameEnd, kOfferHeader);
    if (mark == std::string_view::npos) {
        return s.size() > kLongest ? Cut{Fit::kComplete, MessageKind::kOffer, kLongest + 1} : kWait;
    }
    if (mark + 1 == s.size()) return kWait;
    return {Fit::kComplete, MessageKind::kOffer, NextKeyword(s, mark + 1)};
}

}  // namespace

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

Cut ReadMessage(std::string_view s) {
    for (std::string_view keyword : kKeywords) {
        if (s.size() < keyword.size() && keyword.starts_with(s)) return kWait;
    }
    if (s.starts_with(kSystemKeyword)) return SystemMessage(s);
    if (s.starts_with(kShotKeyword))
        return FixedWithDigits(s, kShotDigitsAt, kShotLength, MessageKind::kShot);
    if (s.starts_with(kChatKeyword)) return ReadChat(s);
    if (s.starts_with(kOfferKeyword)) return ReadOffer(s);
    return kNoMessage;
}

std::vector<Message> LeadingMessages(std::string_view bytes) {
    std::vector<Message> messages;
    for (Cut cut = ReadMessage(bytes); cut.fit == Fit::kComplete; cut = ReadMessage(bytes)) {
        messages.push_back({cut.kind, std::string(bytes.substr(0, cut.length))});
        bytes.remove_prefix(cut.length);
    }
    return messages;
}

int GreetingLevel(std::string_view greeting) {
    return (greeting[kGreetingLevelAt] - '0') * kTens + (greeting[kGreetingLevelAt + 1] - '0');
}

}  // namespace game
