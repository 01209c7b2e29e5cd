// CreateServer, CreateClient and CreateAccept.
// Owns the socket work before a record exists (create, bind, listen, resolve, connect) and the
// registration of the finished socket; never touches a record after its worker has started.
#include "net/create.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "net/clock.h"
#include "net/name_cache.h"
#include "net/registry.h"
#include "net/sockets.h"
#include "net/worker.h"

namespace net {
namespace {

// Counts the calls of CancelConnects: a connect that sees it change gives up.
std::atomic<std::uint32_t> cancelGeneration{0};

struct ConnectionSetup {
    int socket = kNoSocket;
    bool isServer = false;
    std::string address;
    std::uint16_t port = 0;
    DisconnectHandler onDisconnect = nullptr;
    ConnectHandler onConnect = nullptr;
    NewDataHandler onData = nullptr;
    NewConnectionHandler onNewConnection = nullptr;
    NewConnectionDeniedHandler onNewConnectionDenied = nullptr;
};

void FillRecord(ConnectionRecord& record, const ConnectionSetup& setup) {
    record.V_EventDisconnect = setup.onDisconnect;
    record.V_EventConnect = setup.onConnect;
    record.V_EventNewConnection = setup.onNewConnection;
    record.V_EventNewConnectionDenied = setup.onNewConnectionDenied;
    record.V_EventNewData = setup.onData;
    record.V_SOCKET = setup.socket;
    record.V_OwnedSocket = OwnSocket(setup.socket);
    record.V_Protocol = kProtocolTcp;
    record.V_IsServer = setup.isServer ? 1 : 0;
    record.V_IPA = setup.address;
    record.V_Port = setup.port;
    record.V_State = kStateCreated;
}

// Lists, fills and starts the connection in one hold of ListLock, so its worker (and any other
// thread) sees it complete. On failure the socket is closed and the record never existed.
ResultCode Register(const ConnectionSetup& setup, ConnId& id) {
    std::lock_guard lock(ListLock());
    ConnectionRecord* record = AllocateRecord();
    if (record != nullptr) {
        FillRecord(*record, setup);
        if (StartConnectionWorker(record->V_ID, record->V_ThreadID)) {
            id = record->V_ID;
            return kNoError;
        }
        // The record owned the socket: removing it closed the socket.
        RemoveRecord(record);
        return kThreadStartFailed;
    }
    CloseSocket(setup.socket);
    return kThreadStartFailed;
}

ResultCode OpenNonBlockingSocket(int& sock) {
    sock = OpenStreamSocket();
    if (sock < 0) return kCannotCreateSocket;
    if (!SetNonBlocking(sock, true)) {
        CloseSocket(sock);
        return kBlockingModeError;
    }
    return kNoError;
}

struct Remote {
    std::uint32_t address;
    std::uint16_t port;
};

// A socket connected to itself reached no listener: it is replaced by a fresh one and the
// attempts go on. Any other failed attempt keeps the socket, since a handshake still under way
// on it completes on a later attempt.
ResultCode Attempt(int& sock, const Remote& remote, bool& connected) {
    connected = ConnectOnce(sock, remote.address, remote.port);
    if (!connected || !IsSelfConnected(sock)) return kNoError;
    connected = false;
    CloseSocket(sock);
    return OpenNonBlockingSocket(sock);
}

ResultCode ConnectBeforeDeadline(const Remote& remote, std::uint32_t timeoutSeconds,
                                 std::uint32_t generation, int& sock) {
    ResultCode result = OpenNonBlockingSocket(sock);
    if (result != kNoError) return result;
    bool connected = false;
    result = Attempt(sock, remote, connected);
    const double deadline = MonotonicSeconds() + timeoutSeconds;
    while (result == kNoError && !connected) {
        result = Attempt(sock, remote, connected);
        if (result != kNoError || connected) break;
        const bool cancelled = cancelGeneration.load(std::memory_order_relaxed) != generation;
        if (cancelled || MonotonicSeconds() > deadline) {
            CloseSocket(sock);
            return cancelled ? kConnectCancelled : kConnectTimeout;
        }
        PauseMilliseconds(kConnectRetryPauseMilliseconds);
    }
    // Should the socket stay non-blocking, the worker and SendData both cope with that.
    if (result == kNoError) SetNonBlocking(sock, false);
    return result;
}

}  // namespace

ResultCode CreateServer(ConnId& id, std::uint16_t port, std::uint16_t V_MaxSimConReq,
                        NewConnectionHandler V_EventNewConnection,
                        NewConnectionDeniedHandler V_EventNewConnectionDenied) {
    id = kNoConnection;
    if (V_MaxSimConReq == 0 || V_MaxSimConReq > kMaxSimConReqLimit) {
        return kMaxSimConReqOutOfRange;
    }
    if (V_EventNewConnection == nullptr) return kMissingEventHandler;
    if (!RegistryAcceptsRecords()) return kThreadStartFailed;
    const int sock = OpenStreamSocket();
    if (sock < 0) return kCannotCreateSocket;
    AllowQuickRebind(sock);
    if (!BindToAnyAddress(sock, port)) {
        CloseSocket(sock);
        return kCannotBindPort;
    }
    if (!StartListening(sock, V_MaxSimConReq)) {
        CloseSocket(sock);
        return kCannotListen;
    }
    ConnectionSetup setup{sock, true, "", port};
    setup.onNewConnection = V_EventNewConnection;
    setup.onNewConnectionDenied = V_EventNewConnectionDenied;
    return Register(setup, id);
}

ResultCode CreateClient(ConnId& id, std::string_view host, std::uint16_t port,
                        DisconnectHandler V_EventDisconnect, ConnectHandler V_EventConnect,
                        NewDataHandler V_EventNewData, std::uint32_t timeoutSeconds) {
    id = kNoConnection;
    const std::uint32_t generation = cancelGeneration.load(std::memory_order_relaxed);
    if (host.empty()) return kIpaNotFound;
    if (host.find(':') != std::string_view::npos) return kNoIpv6;
    std::uint32_t resolved = 0;
    const ResultCode resolution = ResolveHost(host, resolved);
    if (resolution != kNoError) return resolution;
    // Without a running layer the connection could never be reaped: no point waiting for it.
    if (!RegistryAcceptsRecords()) return kThreadStartFailed;
    int sock = kNoSocket;
    const ResultCode connection =
        ConnectBeforeDeadline({resolved, port}, timeoutSeconds, generation, sock);
    if (connection != kNoError) return connection;
    SetUpConnectedSocket(sock);
    return Register(
        {sock, false, std::string(host), port, V_EventDisconnect, V_EventConnect, V_EventNewData},
        id);
}

ResultCode CreateAccept(int socket, ConnId& id, std::string& address,
                        DisconnectHandler V_EventDisconnect, ConnectHandler V_EventConnect,
                        NewDataHandler V_EventNewData) {
    id = kNoConnection;
    ReadPeerAddress(socket, address);
    SetUpConnectedSocket(socket);
    return Register({socket, false, address, 0, V_EventDisconnect, V_EventConnect, V_EventNewData},
                    id);
}

void RefuseConnection(int socket) {
    CloseSocket(socket);
}

void CancelConnects() {
    cancelGeneration.fetch_add(1, std::memory_order_relaxed);
}

std::vector<std::string> LocalAddresses() {
    std::vector<std::string> external;
    std::vector<std::string> loopback;
    for (const InterfaceAddress& entry : ListInterfaceAddresses())
        (entry.loopback ? loopback : external).push_back(entry.dotted);
    return external.empty() ? loopback : external;
}

}  // namespace net
