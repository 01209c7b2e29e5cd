// The ConnectionWorker of every record, Disconnect and WaitClose.
// Owns the receive buffer of each worker and the closing of each record's descriptor, which
// happens only at the worker's end; never removes a record and never holds ListLock while a
// handler runs or while waiting for data.
#include "net/worker.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "net/clock.h"
#include "net/registry.h"
#include "net/socket_util.h"
#include "net/thread.h"

namespace net {
namespace {

struct WorkerStart {
    ConnId id = kNoConnection;
    bool isServer = false;
    ConnectHandler onConnect = nullptr;
    NewDataHandler onData = nullptr;
    NewConnectionHandler onNewConnection = nullptr;
};

enum class WaitResult { Readable, TimedOut, Failed };

void* IdToArgument(ConnId id) {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(id));
}

ConnId ArgumentToId(void* argument) {
    return static_cast<ConnId>(reinterpret_cast<std::intptr_t>(argument));
}

bool TakeStart(ConnId id, WorkerStart& start) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = FindRecord(id);
    if (record == nullptr) return false;
    start = {id, record->V_IsServer == 1, record->V_EventConnect, record->V_EventNewData,
             record->V_EventNewConnection};
    record->V_State = kStateRunning;
    return true;
}

// The socket to wait on, or false once the connection is ending.
bool TakeSocket(ConnId id, int& socket) {
    std::lock_guard lock(ListLock());
    const ConnectionRecord* record = FindRecord(id);
    if (record == nullptr || record->V_SOCKET == kNoSocket) return false;
    socket = record->V_SOCKET;
    return true;
}

WaitResult WaitReadable(int socket) {
    pollfd wanted{socket, POLLIN, 0};
    const int ready = poll(&wanted, 1, kReadWaitMilliseconds);
    if (ready < 0) return errno == EINTR ? WaitResult::TimedOut : WaitResult::Failed;
    if (ready == 0) return WaitResult::TimedOut;
    return (wanted.revents & POLLNVAL) != 0 ? WaitResult::Failed : WaitResult::Readable;
}

bool CountReceived(ConnId id, long count) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = FindRecord(id);
    if (record == nullptr) return false;
    record->V_BytesReceived += static_cast<std::uint64_t>(count);
    return true;
}

void ReceiveLoop(const WorkerStart& start) {
    if (start.onConnect != nullptr) start.onConnect(start.id);
    char buffer[kReceiveBufferBytes];
    int socket = kNoSocket;
    while (TakeSocket(start.id, socket)) {
        const WaitResult wait = WaitReadable(socket);
        if (wait == WaitResult::Failed) break;
        if (wait == WaitResult::TimedOut) continue;
        const long count = recv(socket, buffer, kReceiveBufferBytes, 0);
        if (count < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (count <= 0 || !CountReceived(start.id, count)) break;
        if (start.onData != nullptr) start.onData(start.id, std::string_view(buffer, count));
    }
}

// Errors that concern only the one incoming connection (it was reset or its route vanished
// before it was taken off the queue); the listening socket itself is fine.
bool AcceptErrorIsTransient(int error) {
    switch (error) {
        case EINTR:
        case EAGAIN:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

void OfferConnection(const WorkerStart& start, int connection) {
    std::string peerAddress;
    ReadPeerAddress(connection, peerAddress);
    if (start.onNewConnection != nullptr) {
        start.onNewConnection(start.id, connection, peerAddress);
    } else {
        close(connection);
    }
}

void AcceptLoop(const WorkerStart& start) {
    int socket = kNoSocket;
    while (TakeSocket(start.id, socket)) {
        const WaitResult wait = WaitReadable(socket);
        if (wait == WaitResult::Failed) break;
        if (wait == WaitResult::TimedOut) continue;
        const int connection = accept4(socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            OfferConnection(start, connection);
        } else if (!AcceptErrorIsTransient(errno)) {
            break;
        }
    }
}

// The only place a record's descriptor is closed. Shutting it down first wakes a SendData
// still blocked on its own duplicate of the descriptor.
void EndWorker(ConnId id) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = FindRecord(id);
    if (record == nullptr) return;
    record->V_SOCKET = kNoSocket;
    if (record->V_OwnedSocket != kNoSocket) {
        shutdown(record->V_OwnedSocket, SHUT_RDWR);
        close(record->V_OwnedSocket);
        record->V_OwnedSocket = kNoSocket;
    }
    record->V_State = kStateClosed;
    WakeReaper();
}

void* ConnectionWorker(void* argument) {
    MarkThisThread(ThreadRole::Worker);
    WorkerStart start;
    if (!TakeStart(ArgumentToId(argument), start)) return nullptr;
    if (start.isServer) {
        AcceptLoop(start);
    } else {
        ReceiveLoop(start);
    }
    EndWorker(start.id);
    return nullptr;
}

// True while WaitClose should go on waiting.
bool RecordStillThere(ConnId id) {
    std::lock_guard lock(ListLock());
    const ConnectionRecord* record = FindRecord(id);
    if (record == nullptr || record->V_State == kStateNew) return false;
    // The record outlives its own worker, so that worker waiting for it would wait forever.
    return pthread_equal(record->V_ThreadID, pthread_self()) == 0;
}

}  // namespace

bool StartConnectionWorker(ConnId id, pthread_t& thread) {
    return StartLayerThread(ConnectionWorker, IdToArgument(id), thread);
}

ResultCode Disconnect(ConnId id) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = FindRecord(id);
    if (record == nullptr) return kConnIdNotFound;
    if (record->V_SOCKET == kNoSocket) return kNoSocketInRecord;
    // Shut down, not closed: the worker's end closes the descriptor, so its number stays
    // reserved while the worker may still wait or receive on it. The shutdown also wakes the
    // worker's wait at once. A worker that has not started yet finds the socket gone on its
    // first look and ends too.
    shutdown(record->V_SOCKET, SHUT_RDWR);
    record->V_SOCKET = kNoSocket;
    if (record->V_State == kStateRunning) {
        record->V_State = kStateClosed;
        WakeReaper();
    }
    return kNoError;
}

void WaitClose(ConnId id) {
    // Only the cleanup thread removes records; waiting on it would never end.
    if (ThisThreadRole() == ThreadRole::Cleanup) return;
    while (RecordStillThere(id))
        PauseMilliseconds(kWaitClosePauseMilliseconds);
}

}  // namespace net
