// The sending side of a file transfer: the "sendfile" checks, the offer, the
// wait for the answer and the chunks, paced 100 ms apart. Owns whether our
// offer waits for an answer and whether its chunks are being sent. The file is
// read through its own handle; shared state is touched under the screen mutex;
// the chunks go out through the sender thread, which decides when each may.
#include "game/file_transfer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "game/file_access.h"
#include "game/outgoing.h"
#include "game/protocol.h"
#include "game/transfer_rules.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {

std::string SendPath;
std::string TransferName;
std::int32_t TransferSize = 0;
std::int32_t TransferPercent = 0;
std::atomic<std::uint8_t> SendingFile{0};
std::atomic<std::uint8_t> ReceivingFile{0};
std::atomic<std::uint8_t> FileAnswer{kNoAnswer};

namespace {

constexpr std::size_t kCommandLength = 9;  // "sendfile" and the byte after it
constexpr int kChunkPauseMs = 100;
constexpr int kAnswerPollMs = 250;
constexpr std::chrono::seconds kAnswerTimeout{300};
constexpr double kPercent = 100.0;

constexpr std::string_view kAlreadySending = "Sende bereits eine Datei";
constexpr std::string_view kReceiving = "Empfange gerade eine Datei";
constexpr std::string_view kNotFound = "Datei konnte nicht gefunden werden";
// Code page 437: 0x94 o-umlaut, 0xE1 sharp s.
constexpr std::string_view kCannotOpen =
    "Kann Datei nicht \x94"
    "ffnen";
constexpr std::string_view kTooLarge = "Datei ist zu gro\xE1";
constexpr std::string_view kRefused = "Datei wurde abgelehnt";
constexpr std::string_view kAccepted = "Datei wurde angenommen";
constexpr std::string_view kSent = "Datei gesendet";
// Code page 437: 0x84 a-umlaut.
constexpr std::string_view kNotAllSent = "Datei nicht vollst\x84ndig gesendet: ";

struct SendState {
    bool offerWaiting GUARDED_BY(ScreenMutex) = false;  // our offer is out, not yet answered
    bool sending GUARDED_BY(ScreenMutex) = false;       // its chunks are going out
    bool refused GUARDED_BY(ScreenMutex) = false;       // an "n" came while they did
};

SendState outgoing;

// Only a regular file below 2 GiB can be offered.
FileHandle OpenSendPath(std::int32_t& size) REQUIRES(ScreenMutex) {
    std::int64_t length = 0;
    FileHandle file = kNoFile;
    const OpenResult result = OpenForSending(SendPath, kMaxTransferSize, length, file);
    if (result != OpenResult::kOpened) {
        screen::LogLine(result == OpenResult::kTooLarge ? kTooLarge : kCannotOpen);
        return kNoFile;
    }
    size = static_cast<std::int32_t>(length);
    return file;
}

void FinishSending() REQUIRES(ScreenMutex) {
    SendingFile.store(0, std::memory_order_relaxed);
    FileAnswer.store(kNoAnswer, std::memory_order_relaxed);
    screen::EraseProgressBar();
}

// On success the offer goes to `peer`, the connection of this transfer: a
// later opponent never gets its chunks.
FileHandle StartOffer(net::ConnId& peer) REQUIRES(ScreenMutex) {
    std::int32_t size = 0;
    const FileHandle file = OpenSendPath(size);
    if (file == kNoFile) return kNoFile;
    TransferName = LastPathComponent(SendPath);
    TransferSize = size;
    FileAnswer.store(kNoAnswer, std::memory_order_relaxed);
    outgoing.offerWaiting = true;
    peer = PeerId;
    QueueToPeer(OfferMessage(TransferName, size));
    return file;
}

// No answer within the time-out, or a connection gone, counts as a refusal.
bool AwaitAnswer() EXCLUDES(ScreenMutex) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    while (FileAnswer.load(std::memory_order_relaxed) == kNoAnswer && !Stopping() &&
           ConnectedFlag.load(std::memory_order_relaxed) == 1 &&
           std::chrono::steady_clock::now() < deadline) {
        screen::DelayMs(kAnswerPollMs);
    }
    ScreenGuard guard;
    outgoing.offerWaiting = false;
    const bool accepted =
        FileAnswer.load(std::memory_order_relaxed) == kAnswerAccepted && !Stopping();
    if (!Stopping()) screen::LogLine(accepted ? kAccepted : kRefused);
    if (!accepted) FinishSending();
    outgoing.sending = accepted;
    outgoing.refused = false;
    return accepted;
}

// One chunk written and its progress drawn; false when the transfer ends here.
bool SendChunk(FileHandle file, net::ConnId peer, std::int64_t at, std::int32_t size)
    EXCLUDES(ScreenMutex) {
    const std::size_t length = std::min<std::int64_t>(kFileChunkBytes, size - at);
    if (WriteFileChunk(peer, ReadChunkAt(file, at, length), at == 0) != ChunkResult::kWritten) {
        return false;
    }
    ScreenGuard guard;
    TransferPercent = PercentOf(at + 1, size);
    screen::ShowProgress(TransferPercent);
    return !Stopping() && !outgoing.refused;
}

// Ends early when the program stops, the connection is gone or the other side
// refuses the rest; the last line tells how it ended.
void SendChunks(FileHandle file, net::ConnId peer, std::int32_t size) EXCLUDES(ScreenMutex) {
    bool whole = true;
    for (std::int64_t at = 0; at < size && whole; at += kFileChunkBytes) {
        whole = SendChunk(file, peer, at, size);
        if (whole) screen::DelayMs(kChunkPauseMs);
    }
    ScreenGuard guard;
    if (whole) {
        screen::LogLine(kSent);
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
    std::int32_t size = 0;
    {
        ScreenGuard guard;
        file = StartOffer(peer);
        size = TransferSize;
        if (file == kNoFile) FinishSending();
    }
    if (file == kNoFile) return;
    if (AwaitAnswer()) {
        SendChunks(file, peer, size);
        ScreenGuard guard;
        FinishSending();
    }
    CloseFile(file);
}

void ReceiveFileAnswer(bool accepted) {
    if (AwaitingAnswer()) {
        FileAnswer.store(accepted ? kAnswerAccepted : kAnswerRefused, std::memory_order_relaxed);
    } else if (outgoing.sending && !accepted) {
        outgoing.refused = true;
        CancelFileChunk();
    }
}

bool AwaitingAnswer() {
    return outgoing.offerWaiting && FileAnswer.load(std::memory_order_relaxed) == kNoAnswer;
}

std::int32_t PercentOf(std::int64_t done, std::int64_t total) {
    return total > 0 ? static_cast<std::int32_t>(std::lround(done * kPercent / total)) : 0;
}

}  // namespace game
