// The sender thread and its queue. Messages go out in the order queued, and always ahead of a
// file's chunk or frame, which waits until it is the only thing left to write. A connection's
// first bytes are our greeting, and nothing follows it until the peer's system has acknowledged
// it and a pause has passed, so that a plain peer reads the greeting alone and drops it whole.
// A chunk for a plain peer also waits while its rules say so (plain_peer.h).
#include "game/wire/outgoing.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "game/wire/plain_peer.h"
#include "game/wire/protocol.h"
#include "net/send.h"
#include "screen/message_log.h"

namespace game {
namespace {

using Clock = std::chrono::steady_clock;

// While a chunk is held, the sender looks again at least this often.
constexpr std::chrono::milliseconds kHeldChunkRecheck{50};
// After the greeting: how often to look whether the peer's system has acknowledged it, for how
// long at most, and the pause after that. A plain peer's worker reads a receive within
// microseconds of its arrival; the pause leaves it a wide margin before our next bytes come.
constexpr std::chrono::milliseconds kAcknowledgeRecheck{5};
constexpr std::chrono::milliseconds kAcknowledgeWait{5000};
constexpr std::chrono::milliseconds kGreetingQuiet{200};
// Code page 437: 0x84 a-umlaut.
constexpr std::string_view kChunkWaits =
    "Datei wartet auf den n\x84"
    "chsten Zug";

enum class ChunkState { kNone, kWaiting, kWriting, kWritten, kFailed };
enum class Decision { kWrite, kHold, kRetry, kGiveUp };

struct Entry {
    net::ConnId peer;
    std::string bytes;
    bool greeting = false;
};

struct Outgoing {
    std::mutex lock;  // taken after the screen mutex, never before it
    std::condition_variable wake;
    std::condition_variable chunkDone;
    std::deque<Entry> queue;
    net::ConnId chunkPeer = net::kNoConnection;
    std::string chunk;
    bool chunkFramed = false;  // a frame for a greeted peer, which needs no plain rule
    ChunkState chunkState = ChunkState::kNone;
    // The player has been told that a chunk of this file waits for the game to move on.
    bool waitTold = false;
    screen::ThreadHandle thread = nullptr;
    bool stopping = false;
};

Outgoing out;

void SenderLoop();

// Caller holds out.lock.
void EnsureSender() {
    if (out.thread == nullptr && !out.stopping) out.thread = screen::ThreadCreate(SenderLoop);
}

// The peer's system has taken the greeting (where the system tells), then the pause passes;
// nothing else is written meanwhile, and stopping ends the wait.
void SettleGreeting(net::ConnId peer) {
    std::unique_lock lock(out.lock);
    const auto deadline = Clock::now() + kAcknowledgeWait;
    while (!out.stopping && Clock::now() < deadline) {
        lock.unlock();
        const bool acknowledged = net::UnacknowledgedBytes(peer) == 0;
        lock.lock();
        if (acknowledged) break;
        out.wake.wait_for(lock, kAcknowledgeRecheck, [] { return out.stopping; });
    }
    out.wake.wait_for(lock, kGreetingQuiet, [] { return out.stopping; });
}

void WriteMessage(const Entry& entry) {
    std::uint32_t sent = 0;
    net::SendData(entry.peer, entry.bytes, sent);
    if (entry.greeting) SettleGreeting(entry.peer);
    if (entry.bytes.starts_with(kChatKeyword)) NoteChatWritten();
}

// A chunk held until the game moves on can wait as long as the opponent takes to place or
// fire: the player hears why once per file, not once per look.
void TellChunkWaits() REQUIRES(ScreenMutex) {
    if (out.waitTold) return;
    out.waitTold = true;
    screen::LogLine(kChunkWaits);
}

// A plain peer's chunk waits while its first bytes could pass for a message there, or while
// the wire is not clear of the chunk and the chat line before it.
Decision DecidePlainChunk() REQUIRES(ScreenMutex) {
    if (ChunkMustWait(out.chunk)) {
        TellChunkWaits();
        return Decision::kHold;
    }
    if (!WireIsClear(out.chunk, net::UnacknowledgedBytes(out.chunkPeer))) return Decision::kHold;
    return Decision::kWrite;
}

Decision DecideChunk() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    std::lock_guard lock(out.lock);
    if (!out.queue.empty()) return Decision::kRetry;
    if (out.chunkState != ChunkState::kWaiting) return Decision::kRetry;
    const bool gone =
        Stopping() || out.chunkPeer != PeerId || ConnectedFlag.load(std::memory_order_relaxed) == 0;
    if (gone) return Decision::kGiveUp;
    const Decision decision = out.chunkFramed ? Decision::kWrite : DecidePlainChunk();
    if (decision == Decision::kWrite) out.chunkState = ChunkState::kWriting;
    return decision;
}

void FinishChunk(ChunkState state) {
    std::lock_guard lock(out.lock);
    if (out.chunkState == ChunkState::kWriting || out.chunkState == ChunkState::kWaiting) {
        out.chunkState = state;
    }
    out.chunkDone.notify_all();
}

// Runs on the sender thread.
void WriteChunk() {
    std::uint32_t sent = 0;
    const bool written = net::SendData(out.chunkPeer, out.chunk, sent) == net::kNoError;
    if (written) NoteChunkWritten();
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

void Queue(Entry entry) REQUIRES(ScreenMutex) {
    std::lock_guard lock(out.lock);
    if (out.stopping) return;
    out.queue.push_back(std::move(entry));
    EnsureSender();
    out.wake.notify_one();
}

}  // namespace

void QueueToPeer(std::string message) {
    Queue({PeerId, std::move(message)});
}

void QueueGreeting() {
    Queue({PeerId, GreetingMessage(kHighestExtension), true});
}

namespace {

bool ChunkOnItsWay() {
    return out.chunkState == ChunkState::kWaiting || out.chunkState == ChunkState::kWriting;
}

}  // namespace

// The chunk handed over before this one goes first; its failure ends the file here, unless
// this chunk begins a new file.
ChunkResult WriteFileChunk(net::ConnId peer, std::string chunk, ChunkKind kind, bool firstOfFile,
                           std::string* room) {
    std::unique_lock lock(out.lock);
    out.chunkDone.wait(lock, [] { return !ChunkOnItsWay(); });
    const bool failedBefore = out.chunkState == ChunkState::kFailed && !firstOfFile;
    out.chunkState = ChunkState::kNone;
    if (out.stopping || failedBefore) return ChunkResult::kNotWritten;
    if (firstOfFile) out.waitTold = false;
    out.chunkPeer = peer;
    std::swap(out.chunk, chunk);
    if (room != nullptr) {
        chunk.clear();
        *room = std::move(chunk);
    }
    out.chunkFramed = kind != ChunkKind::kPlainChunk;
    out.chunkState = ChunkState::kWaiting;
    EnsureSender();
    out.wake.notify_one();
    if (kind == ChunkKind::kFrame) return ChunkResult::kWritten;
    out.chunkDone.wait(lock, [] { return !ChunkOnItsWay(); });
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
