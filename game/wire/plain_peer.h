// The rules that only a plain peer still needs: one that has not greeted us, and so speaks the
// wire without frames, where file data travels raw between the messages. Receiving: the bytes
// of an accepted file counted off chunk by chunk, look-alikes at chunk starts, pauses inside a
// chunk, draining after "n". Sending: chunks paced and held while their first bytes could pass
// for a message. Owns that state; never draws, sends or touches a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "game/core/match_state.h"
#include "game/wire/message_parse.h"

namespace game {

// Whether a message could be sent here and now; a look-alike at a chunk boundary of an arriving
// file is told from a real message by it.
using BoundaryRule = bool (*)(const Message& message);

// Inside a chunk, bytes that come this long after the ones before them and begin with a message
// that could come now show that the chunk has ended early.
inline constexpr std::int64_t kChunkPauseSignMs = 50;
// A plain peer's file goes out one chunk at a time, this long apart.
inline constexpr int kChunkPauseMs = 100;

// Receiving. The next `size` bytes (in chunks of kFileChunkBytes, the last one the remainder)
// are the contents of an accepted file. Zero means none.
void ExpectFileData(std::uint32_t size) REQUIRES(ScreenMutex);
// The arriving file was refused: its bytes still due are counted off and dropped until a
// message that could come now shows the sender has stopped.
void DrainFileData() REQUIRES(ScreenMutex);
// Stops taking file data; what follows is read as messages again.
void CancelFileData() REQUIRES(ScreenMutex);
// File bytes still due; 0 while no file is arriving.
std::uint32_t FileBytesDue() REQUIRES(ScreenMutex);

enum class PlainStep {
    kWait,       // more bytes must come first
    kFileBytes,  // the first `length` bytes are file data, already counted off
    kCutShort,   // the file ended early; no bytes are taken
    kMessage,    // a message stands at the front
};
struct PlainTake {
    PlainStep step;
    std::size_t length;
};

// While a file arrives (FileBytesDue() above 0): what the front of `held` is.
PlainTake NextPlainStep(std::string_view held, BoundaryRule couldCome) REQUIRES(ScreenMutex);
// The stream held `before` bytes when more arrived at `arrivalMs` (steady milliseconds).
void NoteArrival(std::size_t before, std::int64_t arrivalMs) REQUIRES(ScreenMutex);
// The stream took `count` bytes off the front of what it holds.
void NoteTaken(std::size_t count) REQUIRES(ScreenMutex);
// The opponent could have sent `message` now, by the state of the game and of the transfer: our
// offer awaits its answer, or a file of the opponent's is offered or arriving.
bool CouldComeNow(const Message& message, bool offerAwaitsAnswer, bool fileComing)
    REQUIRES(ScreenMutex);

// Sending. Whether a chunk that begins with `chunk` must not be written yet: the opponent,
// having read everything sent so far, could take its first bytes for a Ready, a Shot or an
// answer it may receive now.
bool ChunkMustWait(std::string_view chunk) REQUIRES(ScreenMutex);
// The sender thread wrote a chat line, or a chunk; only the sender thread calls these three.
void NoteChatWritten();
void NoteChunkWritten();
// Whether `chunk` may be written with `unacknowledged` bytes still on their way: at most one
// chunk is on its way, a chunk that begins like a chat line reaches the wire whole, and one
// after a chat line does not arrive together with it.
bool WireIsClear(std::string_view chunk, std::size_t unacknowledged);

}  // namespace game
