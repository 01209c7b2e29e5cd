// File transfer between the two copies: the shared transfer state, the sender
// (FileSendWorker, started from the input line) and the receiving steps that
// the dispatcher calls for offers, answers and file data. One transfer runs at
// a time, in either direction.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "game/core/match_state.h"

namespace game {

// The opponent's answer to our offer.
inline constexpr std::uint8_t kNoAnswer = 255;
inline constexpr std::uint8_t kAnswerRefused = 0;
inline constexpr std::uint8_t kAnswerAccepted = 1;

extern std::string SendPath GUARDED_BY(ScreenMutex);
extern std::string TransferName GUARDED_BY(ScreenMutex);
extern std::int64_t TransferSize GUARDED_BY(ScreenMutex);
extern std::int32_t TransferPercent GUARDED_BY(ScreenMutex);
// Written under the screen mutex, polled without it.
extern std::atomic<std::uint8_t> SendingFile;
extern std::atomic<std::uint8_t> ReceivingFile;
extern std::atomic<std::uint8_t> FileAnswer;

// Sending side.
// For a "sendfile" line: checks the path and that no transfer runs; true when a
// FileSendWorker is to be started.
bool PrepareSend(std::string_view line) REQUIRES(ScreenMutex);
// Offers SendPath, waits for the answer, sends the file: in frames as fast as the connection
// takes them to a peer that greeted us, else in chunks paced as a plain peer expects them.
void FileSendWorker() EXCLUDES(ScreenMutex);
// The opponent's "SYST:j" or "SYST:n"; counts while our offer waits, and an "n"
// also while our file is being sent, which then stops.
void ReceiveFileAnswer(bool accepted) REQUIRES(ScreenMutex);
// Whether our offer waits for its answer.
bool AwaitingAnswer() REQUIRES(ScreenMutex);

// Receiving side. Each step returns the reply to send once the lock is released.
// Shows a valid offer and waits for the player's answer; returns "SYST:n" for an
// offer that is refused at once.
std::string ReceiveOffer(std::string_view message) REQUIRES(ScreenMutex);
// "j" or "n" typed while an offer is pending or a file arrives; false when the
// line is no answer. `reply` gets the answer to send.
bool TakeFileAnswer(std::string_view line, std::string& reply) REQUIRES(ScreenMutex);
// The payload of an offer frame; returns "SYST:n" for an offer that is refused at once.
std::string ReceiveFramedOffer(std::string_view payload) REQUIRES(ScreenMutex);
// Appends bytes of the accepted file, from a plain peer's stream or from data frames.
void ReceiveFileData(std::string_view bytes) REQUIRES(ScreenMutex);
void ReceiveFrameData(std::string_view bytes) REQUIRES(ScreenMutex);
// The end frame: the framed file takes its name if every byte came and the checksum matches.
void ReceiveFramedEnd(std::string_view payload) REQUIRES(ScreenMutex);
// A plain peer's arriving file ended before its size was reached: it stays as it is.
void EndArrivingFile() REQUIRES(ScreenMutex);
// A connection ended or began: an arriving file stops where it is (a framed one is removed).
void StopReceiving() REQUIRES(ScreenMutex);

// Nearest whole percent of `done` in `total`.
std::int32_t PercentOf(std::int64_t done, std::int64_t total);

}  // namespace game
