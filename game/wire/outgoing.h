// The bytes on their way to the opponent: one queue of messages, written in order by the sender
// thread, so no game thread ever waits on the wire; the greeting that opens a connection; and
// the chunks or frames of a file, each written once every message queued before it is out.
// Owns the queue and the sender thread; draws nothing but the one log line that says a chunk
// waits for the game to move on.
#pragma once

#include <string>

#include "game/core/match_state.h"
#include "net/types.h"

namespace game {

// Queues a message for the opponent of the current connection. The caller holds
// the screen mutex, so a change of the shared state and the message that goes
// with it take their place in the same order for every thread.
void QueueToPeer(std::string message) REQUIRES(ScreenMutex);
// Queues our greeting for a new connection, ahead of anything else for it. Nothing queued
// after it is written until the peer's system has acknowledged it and a short pause has passed.
void QueueGreeting() REQUIRES(ScreenMutex);

enum class ChunkResult { kWritten, kNotWritten };
enum class ChunkKind {
    kFrame,       // a frame for a greeted peer, but its file's last
    kLastFrame,   // the last frame of a file
    kPlainChunk,  // a chunk for a plain peer
};

// Writes one chunk or frame of a file to `peer` once every message queued before it is out;
// a plain peer's chunk also only when it cannot be mistaken for a message there and a chat line
// written just before it has had time to arrive on its own (one that waits for the game to
// move on is logged once per file). `firstOfFile` starts a file. Returns kNotWritten when the
// connection is gone, the program stops or the transfer was cancelled. A frame but the last
// returns once the sender thread has it, so the next one is read meanwhile; it counts as
// written unless the chunk after it finds that it failed. With `room`, the buffer of a chunk
// already written comes back there, empty, for the next one to be read into: a fresh buffer
// for every chunk costs fresh pages, which some systems make dear.
ChunkResult WriteFileChunk(net::ConnId peer, std::string chunk, ChunkKind kind, bool firstOfFile,
                           std::string* room = nullptr) EXCLUDES(ScreenMutex);
// The chunk waiting to be written, if any, is given up.
void CancelFileChunk();

// Something a waiting chunk depends on has changed: look again.
void WakeSender();
// Ends the sender thread; what is still queued is dropped.
void StopSender() EXCLUDES(ScreenMutex);

}  // namespace game
