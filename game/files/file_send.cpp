// The sending side of a file transfer: the "sendfile" checks, the offer, the wait for the
// answer and the file's bytes. A peer that greeted us gets the offer and the file in frames, as
// fast as the connection takes them, and a checksum at the end; a plain peer gets the offer and
// chunks paced as it expects them. Owns whether our offer waits for an answer and whether its
// bytes are being sent. The file is read through its own handle; shared state is touched under
// the screen mutex; the bytes go out through the sender thread, which decides when each may.
#include "game/files/file_transfer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "game/files/checksum.h"
#include "game/files/file_access.h"
#include "game/files/transfer_rules.h"
#include "game/wire/message_stream.h"
#include "game/wire/outgoing.h"
#include "game/wire/plain_peer.h"
#include "game/wire/protocol.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {

std::string SendPath;
std::string TransferName;
std::int64_t TransferSize = 0;
std::int32_t TransferPercent = 0;
std::atomic<std::uint8_t> SendingFile{0};
std::atomic<std::uint8_t> ReceivingFile{0};
std::atomic<std::uint8_t> FileAnswer{kNoAnswer};

namespace {

constexpr std::size_t kCommandLength = 9;  // "sendfile" and the byte after it
constexpr std::chrono::milliseconds kAnswerLook{250};
constexpr std::chrono::seconds kAnswerTimeout{300};
constexpr double kPercent = 100.0;
// Data frames handed to the sender thread at once: each hand-over wakes two threads, so fewer
// and larger ones leave more time for the bytes; a message still waits behind one at most.
constexpr std::size_t kFramesPerWrite = 4;

constexpr std::string_view kAlreadySending = "Sende bereits eine Datei";
constexpr std::string_view kReceiving = "Empfange gerade eine Datei";
constexpr std::string_view kNotFound = "Datei konnte nicht gefunden werden";
// Code page 437: 0x94 o-umlaut, 0xE1 sharp s, 0x84 a-umlaut.
constexpr std::string_view kCannotOpen =
    "Kann Datei nicht \x94"
    "ffnen";
constexpr std::string_view kTooLarge = "Datei ist zu gro\xE1";
constexpr std::string_view kRefused = "Datei wurde abgelehnt";
constexpr std::string_view kAccepted = "Datei wurde angenommen";
constexpr std::string_view kSent = "Datei gesendet";
constexpr std::string_view kNotAllSent = "Datei nicht vollst\x84ndig gesendet: ";

struct SendState {
    // The answer wakes the sender at once; a stop or a lost connection is seen at its next look.
    std::mutex answerLock;
    std::condition_variable answerCame;
    bool offerWaiting GUARDED_BY(ScreenMutex) = false;  // our offer is out, not yet answered
    bool sending GUARDED_BY(ScreenMutex) = false;       // its bytes are going out
    bool refused GUARDED_BY(ScreenMutex) = false;       // an "n" came while they did
    bool framed GUARDED_BY(ScreenMutex) = false;        // the offer went out in a frame
    std::int64_t drawnMs GUARDED_BY(ScreenMutex) = 0;   // when the bar was last drawn
};

SendState outgoing;

std::int64_t NowMs() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    return duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A regular file is offered, up to the largest size the offer can carry.
FileHandle OpenSendPath(std::int64_t& size) REQUIRES(ScreenMutex) {
    FileHandle file = kNoFile;
    const std::int64_t limit = outgoing.framed ? kMaxFramedSize : kMaxTransferSize;
    const OpenResult result = OpenForSending(SendPath, limit, size, file);
    if (result != OpenResult::kOpened) {
        screen::LogLine(result == OpenResult::kTooLarge ? kTooLarge : kCannotOpen);
        return kNoFile;
    }
    return file;
}

void FinishSending() REQUIRES(ScreenMutex) {
    SendingFile.store(0, std::memory_order_relaxed);
    FileAnswer.store(kNoAnswer, std::memory_order_relaxed);
    screen::EraseProgressBar();
}

// On success the offer goes to `peer`, the connection of this transfer: a
// later opponent never gets its bytes.
FileHandle StartOffer(net::ConnId& peer) REQUIRES(ScreenMutex) {
    outgoing.framed = PeerExtension() >= kFramedFiles;
    std::int64_t size = 0;
    const FileHandle file = OpenSendPath(size);
    if (file == kNoFile) return kNoFile;
    TransferName = LastPathComponent(SendPath);
    TransferSize = size;
    FileAnswer.store(kNoAnswer, std::memory_order_relaxed);
    outgoing.offerWaiting = true;
    peer = PeerId;
    QueueToPeer(outgoing.framed ? OfferFrame(TransferName, size)
                                : OfferMessage(TransferName, size));
    return file;
}

bool StillWaiting() {
    return FileAnswer.load(std::memory_order_relaxed) == kNoAnswer && !Stopping() &&
           ConnectedFlag.load(std::memory_order_relaxed) == 1;
}

// No answer within the time-out, or a connection gone, counts as a refusal.
bool AwaitAnswer() EXCLUDES(ScreenMutex) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    {
        std::unique_lock lock(outgoing.answerLock);
        while (StillWaiting() && std::chrono::steady_clock::now() < deadline)
            outgoing.answerCame.wait_for(lock, kAnswerLook);
    }
    ScreenGuard guard;
    outgoing.offerWaiting = false;
    const bool accepted =
        FileAnswer.load(std::memory_order_relaxed) == kAnswerAccepted && !Stopping();
    if (!Stopping()) screen::LogLine(accepted ? kAccepted : kRefused);
    if (!accepted) FinishSending();
    outgoing.sending = accepted;
    outgoing.refused = false;
    outgoing.drawnMs = NowMs();
    return accepted;
}

// The bar after `done` bytes of `size`, at most every kProgressIntervalMs.
void ShowProgressWhenDue(std::int64_t done, std::int64_t size) REQUIRES(ScreenMutex) {
    const std::int64_t now = NowMs();
    if (!ProgressDue(outgoing.drawnMs, now)) return;
    outgoing.drawnMs = now;
    TransferPercent = PercentOf(done, size);
    screen::ShowProgress(TransferPercent);
}

// One chunk or frame written and its progress drawn; false when the transfer ends here.
// `bytes` comes back as room for the next one.
bool WriteAndShow(net::ConnId peer, std::string& bytes, ChunkKind kind, std::int64_t at,
                  std::int64_t done, std::int64_t size) EXCLUDES(ScreenMutex) {
    if (WriteFileChunk(peer, std::move(bytes), kind, at == 0, &bytes) != ChunkResult::kWritten) {
        return false;
    }
    ScreenGuard guard;
    ShowProgressWhenDue(done, size);
    return !Stopping() && !outgoing.refused;
}

// A plain peer's chunks, kChunkPauseMs apart.
bool SendChunks(FileHandle file, net::ConnId peer, std::int64_t size) EXCLUDES(ScreenMutex) {
    bool whole = true;
    std::string chunk;
    for (std::int64_t at = 0; at < size && whole; at += kFileChunkBytes) {
        const std::size_t length = std::min<std::int64_t>(kFileChunkBytes, size - at);
        chunk.resize(length);
        ReadChunkInto(file, at, chunk.data(), length);
        whole = WriteAndShow(peer, chunk, ChunkKind::kPlainChunk, at, at + 1, size);
        if (whole) screen::DelayMs(kChunkPauseMs);
    }
    return whole;
}

// The data frames from `at` on that go into one hand-over, read from the file into `frames`;
// `at` moves past them and `checksum` takes their bytes in.
void ReadFrames(FileHandle file, std::int64_t& at, std::int64_t size, std::uint32_t& checksum,
                std::string& frames) {
    frames.clear();
    frames.reserve(kFramesPerWrite * (kFrameHeader + kDataFramePayload));
    for (std::size_t i = 0; i < kFramesPerWrite && at < size; ++i) {
        const std::size_t length = std::min<std::int64_t>(kDataFramePayload, size - at);
        frames += FrameHeader(kDataFrame, length);
        const std::size_t payloadAt = frames.size();
        frames.resize(payloadAt + length);
        ReadChunkInto(file, at, frames.data() + payloadAt, length);
        checksum = ExtendChecksum(checksum, std::string_view(frames).substr(payloadAt));
        at += static_cast<std::int64_t>(length);
    }
}

// Data frames back to back, then the end frame with the checksum of every byte sent.
bool SendFrames(FileHandle file, net::ConnId peer, std::int64_t size) EXCLUDES(ScreenMutex) {
    std::uint32_t checksum = StartChecksum();
    bool whole = true;
    std::string frames;
    for (std::int64_t at = 0; at < size && whole;) {
        const std::int64_t from = at;
        ReadFrames(file, at, size, checksum, frames);
        whole = WriteAndShow(peer, frames, ChunkKind::kFrame, from, at, size);
    }
    return whole && WriteFileChunk(peer, EndFrame(checksum), ChunkKind::kLastFrame, size == 0) ==
                        ChunkResult::kWritten;
}

// Ends early when the program stops, the connection is gone or the other side
// refuses the rest; the last line tells how it ended.
void SendFile(FileHandle file, net::ConnId peer, std::int64_t size) EXCLUDES(ScreenMutex) {
    const std::int64_t startMs = NowMs();
    bool framed = false;
    {
        ScreenGuard guard;
        framed = outgoing.framed;
    }
    const bool whole = framed ? SendFrames(file, peer, size) : SendChunks(file, peer, size);
    ScreenGuard guard;
    if (whole) {
        screen::LogLine(std::string(kSent) + SizeAndRate(size, NowMs() - startMs));
    } else if (outgoing.refused) {
        screen::LogLine(kRefused);
    } else if (!Stopping()) {
        screen::LogLine(std::string(kNotAllSent) + TransferName);
    }
    outgoing.sending = false;
}

}  // namespace

bool PrepareSend(std::string_view line) {
    if (SendingFile.load(std::memory_order_relaxed) == 1) {
        screen::LogLine(kAlreadySending);
        return false;
    }
    if (ReceivingFile.load(std::memory_order_relaxed) == 1) {
        screen::LogLine(kReceiving);
        return false;
    }
    SendPath = line.size() > kCommandLength ? std::string(line.substr(kCommandLength)) : "";
    if (!PathExists(SendPath)) {
        screen::LogLine(kNotFound);
        return false;
    }
    SendingFile.store(1, std::memory_order_relaxed);
    return true;
}

void FileSendWorker() {
    net::ConnId peer = net::kNoConnection;
    FileHandle file = kNoFile;
    std::int64_t size = 0;
    {
        ScreenGuard guard;
        file = StartOffer(peer);
        size = TransferSize;
        if (file == kNoFile) FinishSending();
    }
    if (file == kNoFile) return;
    if (AwaitAnswer()) {
        SendFile(file, peer, size);
        ScreenGuard guard;
        FinishSending();
    }
    CloseFile(file);
}

void ReceiveFileAnswer(bool accepted) {
    if (AwaitingAnswer()) {
        std::lock_guard lock(outgoing.answerLock);
        FileAnswer.store(accepted ? kAnswerAccepted : kAnswerRefused, std::memory_order_relaxed);
        outgoing.answerCame.notify_all();
    } else if (outgoing.sending && !accepted) {
        outgoing.refused = true;
        CancelFileChunk();
    }
}

bool AwaitingAnswer() {
    return outgoing.offerWaiting && FileAnswer.load(std::memory_order_relaxed) == kNoAnswer;
}

std::int32_t PercentOf(std::int64_t done, std::int64_t total) {
    if (total <= 0) return 0;
    return static_cast<std::int32_t>(
        std::lround(static_cast<double>(done) * kPercent / static_cast<double>(total)));
}

}  // namespace game
