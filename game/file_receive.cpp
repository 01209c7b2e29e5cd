// The receiving side of a file transfer: the offer shown and checked, the
// player's answer, and the file written in the current directory under a
// plain name, never through a link or into anything but a regular file, never
// beyond the offered size; the log says how the file ended. Owns the open file
// of an arriving transfer; every step runs under the screen mutex.
#include "game/file_transfer.h"

#include <algorithm>

#include "game/file_access.h"
#include "game/message_stream.h"
#include "game/protocol.h"
#include "game/transfer_rules.h"
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

enum class Phase { kIdle, kOffered, kArriving };

struct ReceiveState {
    Phase phase GUARDED_BY(ScreenMutex) = Phase::kIdle;
    FileHandle file GUARDED_BY(ScreenMutex) = kNoFile;
    std::int64_t received GUARDED_BY(ScreenMutex) = 0;
};

ReceiveState incoming;

void SetPhase(Phase phase) REQUIRES(ScreenMutex) {
    incoming.phase = phase;
    ReceivingFile.store(phase == Phase::kIdle ? 0 : 1, std::memory_order_relaxed);
}

// A file that was arriving ends, whole or not; a refused offer ends silently.
void EndTransfer() REQUIRES(ScreenMutex) {
    const bool arriving = incoming.phase == Phase::kArriving;
    const bool whole = incoming.received >= TransferSize;
    CloseFile(incoming.file);
    incoming.file = kNoFile;
    screen::EraseProgressBar();
    SetPhase(Phase::kIdle);
    if (arriving) screen::LogLine(std::string(whole ? kComplete : kIncomplete) + TransferName);
}

void LogOffer() REQUIRES(ScreenMutex) {
    screen::LogLine("Datei wird empfangen:");
    screen::LogLine(TransferName + " - " + SizeInKiB(TransferSize) + "KB");
    screen::LogLine(" ");
    screen::LogLine("Soll die Datei angenommen werden?");
    screen::LogLine("j/n");
}

// The file is created here, before the answer goes out; a 0-byte file is
// complete at once. A file that cannot be created is refused instead.
std::string Accept() REQUIRES(ScreenMutex) {
    incoming.file = CreateReceivedFile(TransferName);
    if (incoming.file == kNoFile) {
        screen::LogLine(kNotSaved);
        SetPhase(Phase::kIdle);
        return std::string(kRefuseMessage);
    }
    incoming.received = 0;
    SetPhase(Phase::kArriving);
    if (TransferSize == 0) {
        EndTransfer();
    } else {
        ExpectFileData(static_cast<std::uint32_t>(TransferSize));
    }
    return std::string(kAcceptMessage);
}

}  // namespace

std::string ReceiveOffer(std::string_view message) {
    if (SendingFile.load(std::memory_order_relaxed) == 1 || incoming.phase != Phase::kIdle) {
        return std::string(kRefuseMessage);
    }
    const OfferParts offer = SplitOffer(message);
    if (offer.name.size() > kMaxOfferName || !IsPlainFileName(offer.name) ||
        NamesSomethingElse(offer.name)) {
        screen::LogLine(kBadName);
        return std::string(kRefuseMessage);
    }
    std::int32_t size = 0;
    if (!ParseOfferedSize(offer.size, size)) {
        screen::LogLine(kBadSize);
        return std::string(kRefuseMessage);
    }
    TransferName = offer.name;
    TransferSize = size;
    LogOffer();
    SetPhase(Phase::kOffered);
    return {};
}

// A "j" for a file already arriving changes nothing; an "n" stops it, and the
// rest of its data is counted off and dropped until its sender has stopped.
bool TakeFileAnswer(std::string_view line, std::string& reply) {
    if (incoming.phase == Phase::kIdle || (line != kYes && line != kNo)) return false;
    if (line == kYes) {
        if (incoming.phase == Phase::kOffered) reply = Accept();
        return true;
    }
    EndTransfer();
    DrainFileData();
    reply = kRefuseMessage;
    return true;
}

void ReceiveFileData(std::string_view bytes) {
    if (incoming.phase != Phase::kArriving) return;
    const std::int64_t room = TransferSize - incoming.received;
    bytes = bytes.substr(0, static_cast<std::size_t>(std::max<std::int64_t>(room, 0)));
    if (!AppendToFile(incoming.file, bytes)) {
        screen::LogLine(kNotSaved);
        EndTransfer();
        return;
    }
    incoming.received += static_cast<std::int64_t>(bytes.size());
    TransferPercent = PercentOf(incoming.received, TransferSize);
    screen::ShowProgress(TransferPercent);
    if (incoming.received >= TransferSize) EndTransfer();
}

void EndArrivingFile() {
    if (incoming.phase == Phase::kArriving) EndTransfer();
}

void StopReceiving() {
    if (incoming.phase == Phase::kIdle) return;
    EndTransfer();
    CancelFileData();
}

}  // namespace game
