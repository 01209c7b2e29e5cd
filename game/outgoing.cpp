// The sender thread and its queue. Messages go out in the order queued; a file
// chunk waits until it is the only thing left to write and the exchange says
// the opponent cannot take its first bytes for a message, and, after a chat
// line, until that line has been acknowledged and a pause has passed, so the
// line arrives on its own and a chunk's leading look-alike never does.
#include "game/outgoing.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "game/exchange.h"
#include "game/message_stream.h"
#include "game/protocol.h"
#include "net/send.h"
#include "screen/message_log.h"

namespace game {
namespace {

using Clock = std::chrono::steady_clock;

// While a chunk is held, the sender looks again at least this often.
constexpr std::chrono::milliseconds kHeldChunkRecheck{50};
// A chunk is written no sooner than this after a chat line.
constexpr std::chrono::milliseconds kChunkPauseAfterChat{300};
// Code page 437: 0x84 a-umlaut.
constexpr std::string_view kChunkWaits =
    "Datei wartet auf den n\x84"
    "chsten Zug";

enum class ChunkState { kNone, kWaiting, kWriting, kWritten, kFailed };
enum class Decision { kWrite, kHold, kRetry, kGiveUp };

struct Entry {
    net::ConnId peer;
    std::string bytes;
};

struct Outgoing {
    std::mutex lock;  // taken after the screen mutex, never before it
    std::condition_variable wake;
    std::condition_variable chunkDone;
    std::deque<Entry> queue;
    net::ConnId chunkPeer = net::kNoConnection;
    std::string chunk;
    ChunkState chunkState = ChunkState::kNone;
    bool chatSinceChunk = false;
    // The player has been told that a chunk of this file waits for the game to move on.
    bool waitTold = false;
    Clock::time_point chatWrittenAt{};
    screen::ThreadHandle thread = nullptr;
    bool stopping = false;
};

Outgoing out;

void SenderLoop();

// Caller holds out.lock.
void EnsureSender() {
    if (out.thread == nullptr && !out.stopping) out.thread = screen::ThreadCreate(SenderLoop);
}

void WriteMessage(const Entry& entry) {
    std::uint32_t sent = 0;
    net::SendData(entry.peer, entry.bytes, sent);
    if (!entry.bytes.starts_with(kChatKeyword)) return;
    std::lock_guard guard(out.lock);
    out.chatSinceChunk = true;
    out.chatWrittenAt = Clock::now();
}

// At most one chunk is on its way, so a message queued meanwhile waits behind
// little on a slow link. A chunk that begins like a chat line must reach the
// wire whole, from its first byte on, and one after a chat line must not arrive
// together with it.
bool WireIsClear(std::string_view chunk) {
    const std::size_t unacknowledged = net::UnacknowledgedBytes(out.chunkPeer);
    if (unacknowledged > kFileChunkBytes) return false;
    const bool chatLead = chunk.starts_with(kChatKeyword);
    if (!chatLead && !out.chatSinceChunk) return true;
    if (out.chatSinceChunk && Clock::now() - out.chatWrittenAt < kChunkPauseAfterChat) return false;
    return unacknowledged == 0;
}

// A chunk held until the game moves on can wait as long as the opponent takes to place or
// fire: the player hears why once per file, not once per look.
void TellChunkWaits() REQUIRES(ScreenMutex) {
    if (out.waitTold) return;
    out.waitTold = true;
    screen::LogLine(kChunkWaits);
}

Decision DecideChunk() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    std::lock_guard lock(out.lock);
    if (!out.queue.empty()) return Decision::kRetry;
    if (out.chunkState != ChunkState::kWaiting) return Decision::kRetry;
    const bool gone = Stopping() || out.chunkPeer != PeerId ||
                      ConnectedFlag.load(std::memory_order_relaxed) == 0;
    if (gone) return Decision::kGiveUp;
    if (ChunkMustWait(out.chunk)) {
        TellChunkWaits();
        return Decision::kHold;
    }
    if (!WireIsClear(out.chunk)) return Decision::kHold;
    out.chunkState = ChunkState::kWriting;
    return Decision::kWrite;
}

void FinishChunk(ChunkState state) {
    std::lock_guard lock(out.lock);
    if (out.chunkState == ChunkState::kWriting || out.chunkState == ChunkState::kWaiting) {
        out.chunkState = state;
        if (state == ChunkState::kWritten) out.chatSinceChunk = false;
    }
    out.chunkDone.notify_all();
}

void WriteChunk() {
    std::uint32_t sent = 0;
    const bool written = net::SendData(out.chunkPeer, out.chunk, sent) == net::kNoError;
    FinishChunk(written ? ChunkState::kWritten : ChunkState::kFailed);
}

// Runs one step: a message, a chunk, or a sleep until there is work.
bool SenderStep() {
    std::unique_lock lock(out.lock);
    out.wake.wait(lock, [] {
        return out.stopping || !out.queue.empty() || out.chunkState == ChunkState::kWaiting;
    });
    if (out.stopping) return false;
    if (!out.queue.empty()) {
        const Entry entry = std::move(out.queue.front());
        out.queue.pop_front();
        lock.unlock();
        WriteMessage(entry);
        return true;
    }
    lock.unlock();
    const Decision decision = DecideChunk();
    if (decision == Decision::kWrite) WriteChunk();
    if (decision == Decision::kGiveUp) FinishChunk(ChunkState::kFailed);
    if (decision == Decision::kHold) {
        lock.lock();
        out.wake.wait_for(lock, kHeldChunkRecheck);
    }
    return true;
}

void SenderLoop() {
    while (SenderStep()) {
    }
}

}  // namespace

void QueueToPeer(std::string message) {
    std::lock_guard lock(out.lock);
    if (out.stopping) return;
    out.queue.push_back({PeerId, std::move(message)});
    EnsureSender();
    out.wake.notify_one();
}

ChunkResult WriteFileChunk(net::ConnId peer, std::string chunk, bool firstOfFile) {
    std::unique_lock lock(out.lock);
    if (out.stopping) return ChunkResult::kNotWritten;
    if (firstOfFile) out.waitTold = false;
    out.chunkPeer = peer;
    out.chunk = std::move(chunk);
    out.chunkState = ChunkState::kWaiting;
    EnsureSender();
    out.wake.notify_one();
    out.chunkDone.wait(lock, [] {
        return out.chunkState == ChunkState::kWritten || out.chunkState == ChunkState::kFailed;
    });
    const bool written = out.chunkState == ChunkState::kWritten;
    out.chunkState = ChunkState::kNone;
    return written ? ChunkResult::kWritten : ChunkResult::kNotWritten;
}

void CancelFileChunk() {
    std::lock_guard lock(out.lock);
    if (out.chunkState == ChunkState::kWaiting) out.chunkState = ChunkState::kFailed;
    out.chunkDone.notify_all();
}

void WakeSender() {
    std::lock_guard lock(out.lock);
    out.wake.notify_one();
}

void StopSender() {
    screen::ThreadHandle thread = nullptr;
    {
        std::lock_guard lock(out.lock);
        out.stopping = true;
        out.queue.clear();
        if (out.chunkState == ChunkState::kWaiting) out.chunkState = ChunkState::kFailed;
        out.wake.notify_all();
        out.chunkDone.notify_all();
        std::swap(thread, out.thread);
    }
    screen::ThreadWait(thread);
}

}  // namespace game
