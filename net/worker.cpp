// The ConnectionWorker of every record, Disconnect and WaitClose.
// Owns the receive buffer of each worker and the closing of each record's descriptor, which
// happens only at the worker's end; never removes a record and never holds ListLock while a
// handler runs or while waiting for data.
#include "net/worker.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "net/clock.h"
#include "net/registry.h"
#include "net/sockets.h"
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

bool CountReceived(ConnId id, long count) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = FindRecord(id);
    if (record == nullptr) return false;
    record->V_BytesReceived += static_cast<std::uint64_t>(count);
    return true;
}

// An interrupted call, or one on a non-blocking socket that had nothing to do.
bool RetryLater(SocketError error) {
    return error == SocketError::kInterrupted || error == SocketError::kWouldBlock;
}

// Also an error that concerns only the one incoming connection a listener was about to hand
// out; the listening socket itself is fine.
bool RetryAccept(SocketError error) {
    return RetryLater(error) || error == SocketError::kTransient;
}

// A receive that filled the buffer leaves more waiting, as a while a file streams in: the next
// receive goes ahead without waiting first, which halves the calls into the system. (A receive
// on a connection shut down meanwhile returns at once, as the wait would.)
void ReceiveLoop(const WorkerStart& start) {
    if (start.onConnect != nullptr) start.onConnect(start.id);
    char buffer[kReceiveBufferBytes];
    int socket = kNoSocket;
    bool full = false;
    while (TakeSocket(start.id, socket)) {
        const WaitResult wait =
            full ? WaitResult::kReady : WaitForSocket(socket, false, kReadWaitForever);
        if (wait == WaitResult::kFailed) break;
        if (wait == WaitResult::kTimedOut) continue;
        const long count = ReceiveSome(socket, buffer, kReceiveBufferBytes);
        full = count == kReceiveBufferBytes;
        if (count < 0 && RetryLater(LastSocketError())) continue;
        if (count <= 0 || !CountReceived(start.id, count)) break;
        if (start.onData != nullptr) start.onData(start.id, std::string_view(buffer, count));
    }
}

void OfferConnection(const WorkerStart& start, int connection) {
    std::string peerAddress;
    ReadPeerAddress(connection, peerAddress);
    if (start.onNewConnection != nullptr) {
        start.onNewConnection(start.id, connection, peerAddress);
    } else {
        CloseSocket(connection);
    }
}

void AcceptLoop(const WorkerStart& start) {
    int socket = kNoSocket;
    while (TakeSocket(start.id, socket)) {
        const WaitResult wait = WaitForSocket(socket, false, kReadWaitForever);
        if (wait == WaitResult::kFailed) break;
        if (wait == WaitResult::kTimedOut) continue;
        const int connection = AcceptConnection(socket);
        if (connection >= 0) {
            OfferConnection(start, connection);
        } else if (!RetryAccept(LastSocketError())) {
            break;
        }
    }
}

// The record lets go of its descriptor only here; a send still under way keeps it open until
// it ends. Shutting it down first wakes such a send.
void EndWorker(ConnId id) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = FindRecord(id);
    if (record == nullptr) return;
    record->V_SOCKET = kNoSocket;
    if (record->V_OwnedSocket != nullptr) {
        ShutDownSocket(record->V_OwnedSocket->descriptor);
        record->V_OwnedSocket.reset();
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
    return !IsCallingThread(record->V_ThreadID);
}

}  // namespace

bool StartConnectionWorker(ConnId id, ThreadHandle& thread) {
    return StartThread(ConnectionWorker, IdToArgument(id), thread);
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
    ShutDownSocket(record->V_SOCKET);
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
