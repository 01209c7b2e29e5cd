// SendData.
// Owns the send loop; never closes a connection (its worker notices a broken one) and never
// holds ListLock while sending.
#include "net/send.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <mutex>

#include "net/registry.h"

namespace net {
namespace {

constexpr int kWaitForever = -1;

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

// An adopted socket may be non-blocking; waiting for room keeps "sent" meaning "all queued".
bool WaitWritable(int socket) {
    pollfd wanted{socket, POLLOUT, 0};
    const int ready = poll(&wanted, 1, kWaitForever);
    return ready > 0 || (ready < 0 && errno == EINTR);
}

std::size_t SendAll(int socket, std::string_view data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t count = send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EINTR) {
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitWritable(socket)) break;
        }
    }
    return sent;
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
    std::size_t sent = 0;
    {
        std::mutex unshared;  // a record made outside CreateServer/Client/Accept has no lock
        std::lock_guard whole(sendLock != nullptr ? *sendLock : unshared);
        sent = SendAll(socket, data);
    }
    close(socket);
    CountSent(id, sent);
    count = static_cast<std::uint32_t>(sent);
    return sent == data.size() ? kNoError : kSendError;
}

}  // namespace net
