// The receive side of the game protocol: the bytes of the one connection to
// the opponent, cut into whole messages by their known lengths, and file data
// taken by count while an accepted file arrives. Owns only the bytes not yet
// cut and the count of file bytes due; never draws, never sends and never
// touches a file. Its state is guarded by the screen mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "game/match_state.h"
#include "game/protocol.h"

namespace game {

enum class MessageKind {
    kReady,         // "SYST:R"
    kShot,          // "SHOT:" + column digit + row digit
    kHit,           // "SYST:H" + column digit + row digit
    kMiss,          // "SYST:W" + column digit + row digit
    kAccept,        // "SYST:j"
    kRefuse,        // "SYST:n"
    kChat,          // "NACHR:" + length byte + text
    kOffer,         // "DATA:" + name + "?" + size, up to the next keyword
    kFileData,      // raw bytes of an accepted file
    kFileCutShort,  // no bytes: the arriving file ended before its size was reached
};

struct Message {
    MessageKind kind;
    std::string bytes;  // the whole message as it came, or the file bytes
};

// Whether a message could be sent here and now, for the bytes at a chunk
// boundary of an arriving file: file contents that look like a message are
// told from a real one by what can come in the current state.
using BoundaryRule = bool (*)(const Message& message);

// The stream never holds more than the longest incomplete message.
inline constexpr std::size_t kMaxHeldBytes = 512;
// Inside a chunk, bytes that come this long after the ones before them and
// begin with a message that could come now show the chunk has ended early:
// a sender writes each chunk at once, and chunks 100 ms apart.
inline constexpr std::int64_t kChunkPauseSignMs = 50;

// Forgets every byte held and any file being received: a new connection.
void ResetStream() REQUIRES(ScreenMutex);

// Takes the bytes of one receive, which arrived at `arrivalMs` (milliseconds
// on a steady clock).
void FeedStream(std::string_view received, std::int64_t arrivalMs) REQUIRES(ScreenMutex);
// The next whole message the bytes so far allow, in the order sent; false
// when more bytes are needed. Bytes that fit no message are dropped up to the
// next place where a keyword could start.
bool NextMessage(Message& message, BoundaryRule couldCome) REQUIRES(ScreenMutex);

// The next `size` bytes (in chunks of kFileChunkBytes, the last one the
// remainder) are the contents of an accepted file. Zero means none.
void ExpectFileData(std::uint32_t size) REQUIRES(ScreenMutex);
// The arriving file was refused: its bytes still due are counted off and
// dropped until a message that could come now shows the sender has stopped.
void DrainFileData() REQUIRES(ScreenMutex);
// Stops taking file data; what follows is read as messages again.
void CancelFileData() REQUIRES(ScreenMutex);
// File bytes still due; 0 while no file is arriving.
std::uint32_t FileBytesDue() REQUIRES(ScreenMutex);
// Bytes held while waiting for the rest of a message; for tests.
std::size_t HeldBytes() REQUIRES(ScreenMutex);

// The whole messages at the start of `bytes`, as the stream would cut them:
// what a chunk that begins with them looks like at a boundary.
std::vector<Message> LeadingMessages(std::string_view bytes);

}  // namespace game
