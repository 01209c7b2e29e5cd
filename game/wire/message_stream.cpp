// Cuts the received byte stream into messages and frames. Every message and frame has a length
// known from its first bytes, so nothing depends on how TCP split or joined them. A data frame's
// payload is handed on as it comes, never held whole; a plain peer's file data is counted off
// by plain_peer's rules.
#include "game/wire/message_stream.h"
#include "game/wire/message_stream_testing.h"

#include <algorithm>
#include <string>

#include "game/wire/protocol.h"

namespace game {
namespace {

// An offer frame carries the size and a name of at most kMaxOfferName bytes.
constexpr std::uint64_t kLongestOfferFrame = kSizeBytes + kMaxOfferName;

struct StreamState {
    std::string held GUARDED_BY(ScreenMutex);
    int peerExtension GUARDED_BY(ScreenMutex) = 0;  // named by the peer's greeting; 0 before
    std::uint64_t frameDataLeft GUARDED_BY(ScreenMutex) = 0;  // of the data frame being read
};

StreamState stream;

void Consume(std::size_t n) REQUIRES(ScreenMutex) {
    stream.held.erase(0, n);
    NoteTaken(n);
}

// Cuts the message at the front; false to wait for more bytes.
bool CutMessage(Message& message) REQUIRES(ScreenMutex) {
    for (;;) {
        const Cut cut = ReadMessage(stream.held);
        if (cut.fit == Fit::kIncomplete || stream.held.empty()) return false;
        if (cut.fit == Fit::kComplete) {
            message = {cut.kind, stream.held.substr(0, cut.length)};
            Consume(cut.length);
            if (cut.kind == MessageKind::kGreeting) {
                stream.peerExtension = std::min(GreetingLevel(message.bytes), kHighestExtension);
            }
            return true;
        }
        Consume(NextKeyword(stream.held, 1));
    }
}

bool IsFrameStart(std::string_view s) {
    return s.size() >= kSystemLength && s.starts_with(kSystemKeyword) &&
           s[kSystemLength - 1] == kFrameLetter;
}

bool FrameLengthFits(char type, std::uint64_t length) {
    switch (type) {
        case kOfferFrame:
            return length >= kSizeBytes && length <= kLongestOfferFrame;
        case kDataFrame:
            return length <= kDataFramePayload;
        case kEndFrame:
            return length == kChecksumBytes;
        default:
            return false;
    }
}

enum class FrameStep { kMessage, kWait, kGoOn };

// A frame at the front of the held bytes. A header that names no frame this side knows is
// dropped like any bytes that fit no message; a data frame's header is taken, and its payload
// follows as it comes.
FrameStep CutFrame(Message& message) REQUIRES(ScreenMutex) {
    const std::string_view held = stream.held;
    if (held.size() < kFrameHeader) return FrameStep::kWait;
    const char type = held[kFrameTypeAt];
    const std::uint64_t length = ReadBigEndian(held, kFrameLengthAt, kFrameLengthBytes);
    if (!FrameLengthFits(type, length)) {
        Consume(NextKeyword(held, 1));
        return FrameStep::kGoOn;
    }
    if (type == kDataFrame) {
        Consume(kFrameHeader);
        stream.frameDataLeft = length;
        return FrameStep::kGoOn;
    }
    if (held.size() < kFrameHeader + length) return FrameStep::kWait;
    message = {type == kOfferFrame ? MessageKind::kFramedOffer : MessageKind::kFramedEnd,
               std::string(held.substr(kFrameHeader, length))};
    Consume(kFrameHeader + length);
    return FrameStep::kMessage;
}

// Bytes of the data frame being read, as many as have come; when they are all that is held,
// they change places with the message's bytes instead of being copied.
void TakeFrameData(Message& message) REQUIRES(ScreenMutex) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(stream.frameDataLeft, stream.held.size()));
    message.kind = MessageKind::kFrameData;
    stream.frameDataLeft -= n;
    if (n < stream.held.size()) {
        message.bytes.assign(stream.held, 0, n);
        Consume(n);
        return;
    }
    message.bytes.swap(stream.held);
    stream.held.clear();
    NoteTaken(n);
}

// A plain peer's file arrives: file bytes, its early end, or a message between two chunks.
bool PlainFileStep(Message& message, BoundaryRule couldCome) REQUIRES(ScreenMutex) {
    const PlainTake take = NextPlainStep(stream.held, couldCome);
    switch (take.step) {
        case PlainStep::kWait:
            return false;
        case PlainStep::kFileBytes:
            message = {MessageKind::kFileData, stream.held.substr(0, take.length)};
            Consume(take.length);
            return true;
        case PlainStep::kCutShort:
            message = {MessageKind::kFileCutShort, {}};
            return true;
        case PlainStep::kMessage:
            return CutMessage(message);
    }
    return false;
}

}  // namespace

void ResetStream() {
    stream.held.clear();
    stream.peerExtension = 0;
    stream.frameDataLeft = 0;
    CancelFileData();
}

void FeedStream(std::string_view received, std::int64_t arrivalMs) {
    NoteArrival(stream.held.size(), arrivalMs);
    stream.held.append(received);
}

std::string_view TakeFrameDataAhead(std::string_view received) {
    if (!stream.held.empty() || stream.frameDataLeft == 0) return {};
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(stream.frameDataLeft, received.size()));
    stream.frameDataLeft -= n;
    return received.substr(0, n);
}

bool NextMessage(Message& message, BoundaryRule couldCome) {
    for (;;) {
        if (stream.held.empty()) return false;
        if (stream.frameDataLeft > 0) {
            TakeFrameData(message);
            return true;
        }
        if (FileBytesDue() > 0) return PlainFileStep(message, couldCome);
        const bool framed = stream.peerExtension >= kFramedFiles;
        if (!framed || !IsFrameStart(stream.held)) return CutMessage(message);
        const FrameStep step = CutFrame(message);
        if (step != FrameStep::kGoOn) return step == FrameStep::kMessage;
    }
}

int PeerExtension() {
    return stream.peerExtension;
}

std::size_t HeldBytes() {
    return stream.held.size();
}

}  // namespace game
