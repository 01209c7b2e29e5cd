// SendData.
// Owns the send loop; closes a connection only when its peer has stopped taking bytes (a broken
// one its worker notices by itself) and never holds ListLock while sending.
#include "net/send.h"
#include "net/send_testing.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>

#include "net/registry.h"
#include "net/sockets.h"
#include "net/worker.h"

namespace net {
namespace {

using Clock = std::chrono::steady_clock;

struct SendModule {
    std::atomic<int> stallMilliseconds{kSendStallMilliseconds};
};

SendModule module;

Clock::time_point StallDeadline() {
    return Clock::now() + std::chrono::milliseconds(module.stallMilliseconds.load());
}

// The send holds the record's descriptor for as long as it runs: if the worker's end lets go of
// it meanwhile, it stays open, and its number cannot name another socket, until this send ends.
ResultCode TakeSocket(ConnId id, std::shared_ptr<OwnedSocket>& socket) {
    std::lock_guard lock(ListLock());
    const ConnectionRecord* record = FindRecord(id);
    if (record == nullptr || record->V_SOCKET == kNoSocket) return kConnIdNotFound;
    socket = record->V_OwnedSocket;
    return socket == nullptr ? kConnIdNotFound : kNoError;
}

// Room in the socket's buffer before the deadline; an interrupted wait counts as room, so the
// next send looks again.
bool WaitWritable(int socket, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    return WaitForSocket(socket, true, static_cast<int>(left.count())) != WaitResult::kFailed;
}

struct SendOutcome {
    std::size_t sent = 0;
    bool stalled = false;  // the peer took no byte for kSendStallMilliseconds
};

// Every send is non-blocking whatever the socket's mode, so the wait for room, and with it the
// time a stalled peer can hold the caller, is this loop's alone.
SendOutcome SendAll(int socket, std::string_view data) {
    SendOutcome outcome;
    auto deadline = StallDeadline();
    while (outcome.sent < data.size()) {
        const long count =
            SendWithoutWaiting(socket, data.data() + outcome.sent, data.size() - outcome.sent);
        const SocketError error = count < 0 ? LastSocketError() : SocketError::kInterrupted;
        if (count > 0) {
            outcome.sent += static_cast<std::size_t>(count);
            deadline = StallDeadline();
        } else if (count < 0 && error == SocketError::kWouldBlock) {
            outcome.stalled = !WaitWritable(socket, deadline);
            if (outcome.stalled) break;
        } else if (count < 0 && error != SocketError::kInterrupted) {
            break;
        }
    }
    return outcome;
}

void CountSent(ConnId id, std::size_t count) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = FindRecord(id);
    if (record != nullptr) record->V_BytesSent += count;
}

}  // namespace

ResultCode SendData(ConnId id, std::string_view data, std::uint32_t& count) {
    count = 0;
    std::shared_ptr<OwnedSocket> socket;
    const ResultCode found = TakeSocket(id, socket);
    if (found != kNoError) return found;
    SendOutcome outcome;
    {
        std::lock_guard whole(socket->sendLock);
        outcome = SendAll(socket->descriptor, data);
    }
    socket.reset();
    CountSent(id, outcome.sent);
    if (outcome.stalled) Disconnect(id);
    count = static_cast<std::uint32_t>(outcome.sent);
    return outcome.sent == data.size() ? kNoError : kSendError;
}

std::size_t UnacknowledgedBytes(ConnId id) {
    std::shared_ptr<OwnedSocket> socket;
    if (TakeSocket(id, socket) != kNoError) return 0;
    return SocketUnacknowledgedBytes(socket->descriptor);
}

void SetSendStallForTest(int milliseconds) {
    module.stallMilliseconds.store(milliseconds > 0 ? milliseconds : kSendStallMilliseconds);
}

}  // namespace net
