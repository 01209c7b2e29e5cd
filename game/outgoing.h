// The bytes on their way to the opponent: one queue of messages, written in
// order by the sender thread, so no game thread ever waits on the wire, and the
// chunks of a file, each written only when the opponent cannot take its first
// bytes for a message. Owns the queue and the sender thread; draws nothing but the one log
// line that says a chunk waits for the game to move on.
#pragma once

#include <string>

#include "game/match_state.h"
#include "net/types.h"

namespace game {

// Queues a message for the opponent of the current connection. The caller holds
// the screen mutex, so a change of the shared state and the message that goes
// with it take their place in the same order for every thread.
void QueueToPeer(std::string message) REQUIRES(ScreenMutex);

enum class ChunkResult { kWritten, kNotWritten };

// Writes one chunk of a file to `peer` once every message queued before it is
// out, it cannot be mistaken for a message there, and a chat line written just
// before it has had time to arrive on its own. Returns kNotWritten when the
// connection is gone, the program stops or the transfer was cancelled. A chunk held until
// the game moves on is logged once per file (`firstOfFile` starts a file).
ChunkResult WriteFileChunk(net::ConnId peer, std::string chunk, bool firstOfFile)
    EXCLUDES(ScreenMutex);
// The chunk waiting to be written, if any, is given up.
void CancelFileChunk();

// Something a waiting chunk depends on has changed: look again.
void WakeSender();
// Ends the sender thread; what is still queued is dropped.
void StopSender() EXCLUDES(ScreenMutex);

}  // namespace game
