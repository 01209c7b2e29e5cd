// The receiving side of a file transfer: the offer shown and checked, the
// player's answer, and the file written in the current directory under a
// plain name, never through a link or into anything but a regular file, never
// beyond the offered size; the log says how the file ended. A plain peer's file
// is written under its name as it comes; a framed one grows in a temporary file
// and gets its name only when every byte has come and its checksum matches.
// Owns the open file of an arriving transfer; every step runs under the screen mutex, but the
// writing of a framed file, which its writer does (file_writer.h).
#include "game/files/file_transfer.h"

#include <algorithm>
#include <chrono>

#include "game/files/file_access.h"
#include "game/files/file_writer.h"
#include "game/files/transfer_rules.h"
#include "game/wire/plain_peer.h"
#include "game/wire/protocol.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr std::string_view kYes = "j";
constexpr std::string_view kNo = "n";

// Texts are code page 437: 0x81 u-umlaut, 0x94 o-umlaut, 0xE1 sharp s.
constexpr std::string_view kBadName = "Ung\x81ltiger Dateiname";
constexpr std::string_view kBadSize =
    "Ung\x81ltige Dateigr\x94\xE1"
    "e";
constexpr std::string_view kNotSaved = "Datei konnte nicht gespeichert werden";
constexpr std::string_view kComplete = "Datei empfangen: ";
constexpr std::string_view kIncomplete = "Datei unvollst\x84ndig: ";

// A framed file's bytes go to its writer in pieces of this size: a file that streams in costs
// few calls into the system.
constexpr std::size_t kWriteBatchBytes = 256 * 1024;

enum class Phase { kIdle, kOffered, kArriving };

struct ReceiveState {
    Phase phase GUARDED_BY(ScreenMutex) = Phase::kIdle;
    bool framed GUARDED_BY(ScreenMutex) = false;  // the offer came in a frame
    FileHandle file GUARDED_BY(ScreenMutex) = kNoFile;
    std::string temporary GUARDED_BY(ScreenMutex);  // where a framed file grows
    std::string unwritten GUARDED_BY(ScreenMutex);  // its bytes not yet written
    std::int64_t received GUARDED_BY(ScreenMutex) = 0;
    std::uint32_t statedChecksum GUARDED_BY(ScreenMutex) = 0;  // by a framed file's end
    std::int64_t startMs GUARDED_BY(ScreenMutex) = 0;
    std::int64_t drawnMs GUARDED_BY(ScreenMutex) = 0;  // when the bar was last drawn
};

ReceiveState incoming;

std::int64_t NowMs() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    return duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SetPhase(Phase phase) REQUIRES(ScreenMutex) {
    incoming.phase = phase;
    ReceivingFile.store(phase == Phase::kIdle ? 0 : 1, std::memory_order_relaxed);
}

// A framed file that did not arrive whole leaves nothing under any name.
void DiscardTemporary() REQUIRES(ScreenMutex) {
    RemoveFile(incoming.temporary);
    incoming.temporary.clear();
}

// Writes what waits; false when the system refuses.
bool WriteOut() REQUIRES(ScreenMutex) {
    const bool written = AppendToFile(incoming.file, incoming.unwritten);
    incoming.unwritten.clear();
    if (!written) screen::LogLine(kNotSaved);
    return written;
}

// The writer of an arriving framed file ends: a whole file has every byte on disk and the
// checksum its sender stated, and the rest of one that is not whole is dropped.
bool FinishFramed(bool whole) REQUIRES(ScreenMutex) {
    if (whole && !incoming.unwritten.empty()) HandToFileWriter(std::move(incoming.unwritten));
    std::uint32_t checksum = 0;
    const bool written = FinishFileWriter(whole, checksum);
    if (!written) screen::LogLine(kNotSaved);
    return whole && written && checksum == incoming.statedChecksum;
}

// A file that was arriving ends, `whole` or not; a refused offer ends silently. A whole framed
// file takes its name only now, and counts as whole only if it can.
void EndTransfer(bool whole) REQUIRES(ScreenMutex) {
    const bool arriving = incoming.phase == Phase::kArriving;
    if (arriving && incoming.framed) {
        whole = FinishFramed(whole);
    } else if (arriving && whole && !incoming.unwritten.empty()) {
        whole = WriteOut();
    }
    incoming.unwritten.clear();
    CloseFile(incoming.file);
    incoming.file = kNoFile;
    if (incoming.framed && arriving && whole) {
        whole = StoreReceivedFile(incoming.temporary, TransferName);
        incoming.temporary.clear();
    }
    if (incoming.framed) DiscardTemporary();
    screen::EraseProgressBar();
    SetPhase(Phase::kIdle);
    if (!arriving) return;
    if (!whole) {
        screen::LogLine(std::string(kIncomplete) + TransferName);
        return;
    }
    screen::LogLine(std::string(kComplete) + TransferName +
                    SizeAndRate(incoming.received, NowMs() - incoming.startMs));
}

void LogOffer() REQUIRES(ScreenMutex) {
    screen::LogLine("Datei wird empfangen:");
    screen::LogLine(TransferName + " - " + SizeInKiB(TransferSize) + "KB");
    screen::LogLine(" ");
    screen::LogLine("Soll die Datei angenommen werden?");
    screen::LogLine("j/n");
}

FileHandle CreateTarget() REQUIRES(ScreenMutex) {
    if (!incoming.framed) return CreateReceivedFile(TransferName);
    return CreateTemporaryFile(incoming.temporary);
}

// The file is created here, before the answer goes out. A plain peer's 0-byte file is complete
// at once; a framed one waits for its end frame. A file that cannot be created is refused.
std::string Accept() REQUIRES(ScreenMutex) {
    incoming.file = CreateTarget();
    if (incoming.file == kNoFile) {
        screen::LogLine(kNotSaved);
        SetPhase(Phase::kIdle);
        return std::string(kRefuseMessage);
    }
    incoming.received = 0;
    incoming.startMs = NowMs();
    incoming.drawnMs = incoming.startMs;
    SetPhase(Phase::kArriving);
    if (incoming.framed) {
        StartFileWriter(incoming.file);
        return std::string(kAcceptMessage);
    }
    if (TransferSize == 0) {
        EndTransfer(true);
    } else {
        ExpectFileData(static_cast<std::uint32_t>(TransferSize));
    }
    return std::string(kAcceptMessage);
}

// The checks every offer passes, plain or framed; the reply to send at once, empty while the
// player decides.
std::string TakeOffer(const std::string& name, bool sizeValid, std::int64_t size, bool framed)
    REQUIRES(ScreenMutex) {
    if (SendingFile.load(std::memory_order_relaxed) == 1 || incoming.phase != Phase::kIdle) {
        return std::string(kRefuseMessage);
    }
    if (name.size() > kMaxOfferName || !IsPlainFileName(name) || NamesSomethingElse(name)) {
        screen::LogLine(kBadName);
        return std::string(kRefuseMessage);
    }
    if (!sizeValid) {
        screen::LogLine(kBadSize);
        return std::string(kRefuseMessage);
    }
    TransferName = name;
    TransferSize = size;
    incoming.framed = framed;
    LogOffer();
    SetPhase(Phase::kOffered);
    return {};
}

// Appends what fits the offer; a plain peer's surplus is dropped, a framed file that would grow
// beyond its offer has gone wrong and ends. A framed file's bytes are gathered and handed to its
// writer in pieces; a plain peer's are written as they come.
bool Append(std::string_view bytes) REQUIRES(ScreenMutex) {
    const auto room = static_cast<std::size_t>(TransferSize - incoming.received);
    if (incoming.framed && bytes.size() > room) return false;
    bytes = bytes.substr(0, room);
    incoming.received += static_cast<std::int64_t>(bytes.size());
    incoming.unwritten += bytes;
    if (!incoming.framed) return WriteOut();
    if (incoming.unwritten.size() >= kWriteBatchBytes) {
        incoming.unwritten = HandToFileWriter(std::move(incoming.unwritten));
    }
    return !FileWriterFailed();
}

void ShowProgressWhenDue() REQUIRES(ScreenMutex) {
    const std::int64_t now = NowMs();
    if (!ProgressDue(incoming.drawnMs, now)) return;
    incoming.drawnMs = now;
    TransferPercent = PercentOf(incoming.received, TransferSize);
    screen::ShowProgress(TransferPercent);
}

}  // namespace

std::string ReceiveOffer(std::string_view message) {
    const OfferParts offer = SplitOffer(message);
    std::int32_t size = 0;
    const bool sizeValid = ParseOfferedSize(offer.size, size);
    return TakeOffer(offer.name, sizeValid, size, false);
}

std::string ReceiveFramedOffer(std::string_view payload) {
    std::int64_t size = 0;
    std::string name;
    const bool sizeValid = SplitFramedOffer(payload, size, name);
    return TakeOffer(name, sizeValid, size, true);
}

// A "j" for a file already arriving changes nothing; an "n" stops it, and the
// rest of a plain peer's data is counted off and dropped until its sender has stopped.
bool TakeFileAnswer(std::string_view line, std::string& reply) {
    if (incoming.phase == Phase::kIdle || (line != kYes && line != kNo)) return false;
    if (line == kYes) {
        if (incoming.phase == Phase::kOffered) reply = Accept();
        return true;
    }
    const bool plain = !incoming.framed;
    EndTransfer(false);
    if (plain) DrainFileData();
    reply = kRefuseMessage;
    return true;
}

void ReceiveFileData(std::string_view bytes) {
    if (incoming.phase != Phase::kArriving || incoming.framed) return;
    if (!Append(bytes)) {
        EndTransfer(false);
        return;
    }
    ShowProgressWhenDue();
    if (incoming.received >= TransferSize) EndTransfer(true);
}

void ReceiveFrameData(std::string_view bytes) {
    if (incoming.phase != Phase::kArriving || !incoming.framed) return;
    if (!Append(bytes)) {
        EndTransfer(false);
        return;
    }
    ShowProgressWhenDue();
}

void ReceiveFramedEnd(std::string_view payload) {
    if (incoming.phase != Phase::kArriving || !incoming.framed) return;
    incoming.statedChecksum = static_cast<std::uint32_t>(ReadBigEndian(payload, 0, kChecksumBytes));
    EndTransfer(incoming.received == TransferSize);
}

void EndArrivingFile() {
    if (incoming.phase == Phase::kArriving && !incoming.framed) EndTransfer(false);
}

void StopReceiving() {
    if (incoming.phase == Phase::kIdle) return;
    EndTransfer(false);
    CancelFileData();
}

}  // namespace game
