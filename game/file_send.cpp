// The sending side of a file transfer: the "sendfile" checks, the offer, the
// wait for the answer and the chunks, paced 100 ms apart. Owns whether our
// offer waits for an answer and the progress bar's drawing. The file is read
// through the worker's own descriptor; shared state is touched under the
// screen mutex; nothing is sent while it is held.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "game/board.h"
#include "game/file_transfer.h"
#include "game/lobby.h"
#include "game/network_match.h"
#include "game/transfer_rules.h"
#include "net/net.h"
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
constexpr std::size_t kChunkBytes = 6144;
constexpr int kChunkPauseMs = 100;
constexpr int kAnswerPollMs = 250;
constexpr std::chrono::seconds kAnswerTimeout{300};
constexpr int kBarWidth = 272;
constexpr double kPercent = 100.0;
constexpr char kPathSeparator = '/';

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

struct SendState {
    bool offerWaiting = false;  // our offer is out and not yet answered
};

SendState outgoing;

// Caller holds the lock. Only a regular file below 2 GiB can be offered; a
// FIFO must not block the open, so it is opened without waiting.
int OpenForSending(std::int32_t& size) {
    const int file = open(SendPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (file < 0 || fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (file >= 0) close(file);
        screen::LogLine(kCannotOpen);
        return -1;
    }
    if (info.st_size > kMaxTransferSize) {
        close(file);
        screen::LogLine(kTooLarge);
        return -1;
    }
    size = static_cast<std::int32_t>(info.st_size);
    return file;
}

// Caller holds the lock.
void FinishSending() {
    SendingFile.store(0, std::memory_order_relaxed);
    FileAnswer.store(kNoAnswer, std::memory_order_relaxed);
    EraseProgressBar();
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Caller holds the lock. On success the offer goes to `peer`, the connection
// of this transfer: a later opponent never gets its chunks.
int StartOffer(net::ConnId& peer, std::string& offer) {
    std::int32_t size = 0;
    const int file = OpenForSending(size);
    if (file < 0) return -1;
    TransferName = NameOf(SendPath);
    TransferSize = size;
    FileAnswer.store(kNoAnswer, std::memory_order_relaxed);
    outgoing.offerWaiting = true;
    peer = PeerId;
    offer = "DATA:" + TransferName + "?" + std::to_string(size);
    return file;
}

// No answer within the time-out, or a connection gone, counts as a refusal.
bool AwaitAnswer() {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    while (FileAnswer.load(std::memory_order_relaxed) == kNoAnswer && !Stopping() &&
           ConnectedFlag.load(std::memory_order_relaxed) == 1 &&
           std::chrono::steady_clock::now() < deadline) {
        screen::DelayMs(kAnswerPollMs);
    }
    LockScreen();
    outgoing.offerWaiting = false;
    const bool accepted = FileAnswer.load(std::memory_order_relaxed) == 1 && !Stopping();
    if (!Stopping()) screen::LogLine(accepted ? kAccepted : kRefused);
    if (!accepted) FinishSending();
    UnlockScreen();
    return accepted;
}

// A file that shrank meanwhile is filled up with zero bytes, so the receiver
// still gets exactly the size it was offered.
std::string ReadChunk(int file, std::int64_t at, std::size_t length) {
    std::string chunk(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(file, chunk.data() + done, length - done, at + done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return chunk;
}

// Ends early when the program stops or the connection is gone.
void SendChunks(int file, net::ConnId peer) {
    for (std::int64_t at = 0; at < TransferSize; at += kChunkBytes) {
        const std::size_t length = std::min<std::int64_t>(kChunkBytes, TransferSize - at);
        std::uint32_t sent = 0;
        if (net::SendData(peer, ReadChunk(file, at, length), sent) != net::kNoError) return;
        LockScreen();
        TransferPercent = PercentOf(at + 1, TransferSize);
        ShowTransferProgress(TransferPercent);
        UnlockScreen();
        if (Stopping()) return;
        screen::DelayMs(kChunkPauseMs);
    }
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
    std::error_code error;
    if (SendPath.empty() || !std::filesystem::exists(SendPath, error)) {
        screen::LogLine(kNotFound);
        return false;
    }
    SendingFile.store(1, std::memory_order_relaxed);
    return true;
}

void FileSendWorker() {
    net::ConnId peer = net::kNoConnection;
    std::string offer;
    LockScreen();
    const int file = StartOffer(peer, offer);
    if (file < 0) FinishSending();
    UnlockScreen();
    if (file < 0) return;
    std::uint32_t sent = 0;
    net::SendData(peer, offer, sent);
    if (AwaitAnswer()) {
        SendChunks(file, peer);
        LockScreen();
        FinishSending();
        UnlockScreen();
    }
    close(file);
}

void ReceiveFileAnswer(bool accepted) {
    if (outgoing.offerWaiting && FileAnswer.load(std::memory_order_relaxed) == kNoAnswer)
        FileAnswer.store(accepted ? 1 : 0, std::memory_order_relaxed);
}

std::int32_t PercentOf(std::int64_t done, std::int64_t total) {
    return total > 0 ? static_cast<std::int32_t>(std::lround(done * kPercent / total)) : 0;
}

void ShowTransferProgress(std::int32_t percent) {
    const screen::Rect& bar = screen::kProgressBar;
    screen::FillBox(bar.x1, bar.y1, bar.x1 + kBarWidth * percent / 100, bar.y2, screen::kWaterBlue);
}

void EraseProgressBar() {
    const screen::Rect& bar = screen::kProgressBar;
    screen::FillBox(bar.x1, bar.y1, bar.x2, bar.y2, screen::kWhite);
}

}  // namespace game
