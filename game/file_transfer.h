// File transfer between the two copies: the shared transfer state, the sender
// (FileSendWorker, started from the input line) and the receiving steps that
// the dispatcher calls for offers, answers and file data. One transfer runs at
// a time, in either direction. Procedures marked "locked" expect the caller to
// hold the screen mutex and return the reply to send after releasing it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace game {

inline constexpr std::uint8_t kNoAnswer = 255;

// Written under the screen mutex; the flags are also polled without it.
extern std::string SendPath;
extern std::string TransferName;
extern std::int32_t TransferSize;
extern std::int32_t TransferPercent;
extern std::atomic<std::uint8_t> SendingFile;
extern std::atomic<std::uint8_t> ReceivingFile;
extern std::atomic<std::uint8_t> FileAnswer;  // 255 none yet, 1 accepted, 0 refused

// Sending side.
// Locked. For a "sendfile" line: checks the path and that no transfer runs;
// true when a FileSendWorker is to be started.
bool PrepareSend(std::string_view line);
// Offers SendPath, waits for the answer, sends the chunks.
void FileSendWorker();
// Locked. The opponent's "SYST:j" or "SYST:n"; counts only while our offer waits.
void ReceiveFileAnswer(bool accepted);

// Receiving side.
// Locked. Shows a valid offer and waits for the player's answer; returns
// "SYST:n" for an offer that is refused at once.
std::string ReceiveOffer(std::string_view message);
// Locked. "j" or "n" typed while an offer is pending or a file arrives;
// false when the line is no answer. `reply` gets the answer to send.
bool TakeFileAnswer(std::string_view line, std::string& reply);
// Locked. Appends bytes of the accepted file.
void ReceiveFileData(std::string_view bytes);
// Locked. A connection ended or began: an arriving file stops where it is.
void StopReceiving();

// Nearest whole percent of `done` in `total`.
std::int32_t PercentOf(std::int64_t done, std::int64_t total);
// Locked. The progress bar up to `percent`, and its erasure.
void ShowTransferProgress(std::int32_t percent);
void EraseProgressBar();

}  // namespace game
