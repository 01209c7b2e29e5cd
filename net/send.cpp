// SendData.
// Owns the send loop; closes a connection only when its peer has stopped taking bytes (a broken
// one its worker notices by itself) and never holds ListLock while sending.
#include "net/send.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>

#include "net/registry.h"
#include "net/worker.h"

namespace net {
namespace {

using Clock = std::chrono::steady_clock;

// Sends go through a private duplicate of the descriptor, taken under ListLock: if the worker
// closes the record's descriptor meanwhile, its number may name another socket at once, but
// the duplicate still names this one.
ResultCode DuplicateSocket(ConnId id, int& duplicate, std::shared_ptr<std::mutex>& sendLock) {
    std::lock_guard lock(ListLock());
    const ConnectionRecord* record = FindRecord(id);
    if (record == nullptr || record->V_SOCKET == kNoSocket) return kConnIdNotFound;
    duplicate = fcntl(record->V_SOCKET, F_DUPFD_CLOEXEC, 0);
    sendLock = record->V_SendLock;
    return duplicate < 0 ? kSendError : kNoError;
}

// Room in the socket's buffer before the deadline; an interrupted wait counts as room, so the
// next send looks again.
bool WaitWritable(int socket, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd wanted{socket, POLLOUT, 0};
    const int ready = poll(&wanted, 1, static_cast<int>(left.count()));
    return ready > 0 || (ready < 0 && errno == EINTR);
}

struct SendOutcome {
    std::size_t sent = 0;
    bool stalled = false;  // the peer took no byte for kSendStallMilliseconds
};

// Every send is non-blocking whatever the socket's mode, so the wait for room, and with it the
// time a stalled peer can hold the caller, is this loop's alone.
SendOutcome SendAll(int socket, std::string_view data) {
    SendOutcome outcome;
    auto deadline = Clock::now() + std::chrono::milliseconds(kSendStallMilliseconds);
    while (outcome.sent < data.size()) {
        const ssize_t count = send(socket, data.data() + outcome.sent, data.size() - outcome.sent,
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count > 0) {
            outcome.sent += static_cast<std::size_t>(count);
            deadline = Clock::now() + std::chrono::milliseconds(kSendStallMilliseconds);
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            outcome.stalled = !WaitWritable(socket, deadline);
            if (outcome.stalled) break;
        } else if (count < 0 && errno != EINTR) {
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
    int socket = kNoSocket;
    std::shared_ptr<std::mutex> sendLock;
    const ResultCode found = DuplicateSocket(id, socket, sendLock);
    if (found != kNoError) return found;
    SendOutcome outcome;
    {
        std::mutex unshared;  // a record made outside CreateServer/Client/Accept has no lock
        std::lock_guard whole(sendLock != nullptr ? *sendLock : unshared);
        outcome = SendAll(socket, data);
    }
    close(socket);
    CountSent(id, outcome.sent);
    if (outcome.stalled) Disconnect(id);
    count = static_cast<std::uint32_t>(outcome.sent);
    return outcome.sent == data.size() ? kNoError : kSendError;
}

}  // namespace net
