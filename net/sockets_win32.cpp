// The socket calls on Windows: the Windows socket library, started with version 2.0 around the
// layer's life, closesocket, ioctlsocket for the mode and send flags 0. A connected socket is
// switched to non-blocking calls once it stands, since Windows has no flag that keeps a single
// send from waiting. Socket handles are kept as int, as on every system; a handle too large for
// one is refused like a socket that could not be made.
#include "net/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <climits>

namespace net {
namespace {

constexpr WORD kSocketLibraryVersion = MAKEWORD(2, 0);
constexpr std::uint32_t kAllOnesAddress = 0xFFFFFFFFu;
// A wait on a listening socket does not end when the socket is shut down, so waits without a
// time-out look at the record again this often.
constexpr int kLongestWaitMilliseconds = 1000;
// Options newer systems know by number; older headers lack them.
constexpr int kTcpKeepIdle = 3;
constexpr int kTcpMaxRetransmitSeconds = 5;
constexpr int kTcpKeepCount = 16;
constexpr int kTcpKeepInterval = 17;
constexpr int kMillisecondsPerSecond = 1000;
constexpr int kInterfaceListCapacity = 32;

SOCKET Handle(int socket) {
    return static_cast<SOCKET>(socket);
}

int ToInt(SOCKET socket) {
    if (socket == INVALID_SOCKET) return -1;
    if (socket > static_cast<SOCKET>(INT_MAX)) {
        closesocket(socket);
        return -1;
    }
    return static_cast<int>(socket);
}

bool SetOption(int socket, int level, int option, int value) {
    return setsockopt(Handle(socket), level, option, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0;
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = address;
    return result;
}

using EndpointRead = int(WSAAPI*)(SOCKET, sockaddr*, int*);

bool ReadAddress(EndpointRead read, int socket, sockaddr_in& address) {
    int length = sizeof address;
    return read(Handle(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           length == sizeof address && address.sin_family == AF_INET;
}

// Systems that cannot set the probes' count and spacing one by one take both times at once,
// with their own count of ten probes: spaced to give up within the same limit.
void KeepAlive(int socket) {
    SetOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
    const bool separate = SetOption(socket, IPPROTO_TCP, kTcpKeepIdle, kKeepAliveIdleSeconds) &&
                          SetOption(socket, IPPROTO_TCP, kTcpKeepInterval,
                                    kKeepAliveIntervalSeconds) &&
                          SetOption(socket, IPPROTO_TCP, kTcpKeepCount, kKeepAliveProbes);
    if (separate) return;
    constexpr unsigned long kSystemProbes = 10;
    tcp_keepalive values{1, kKeepAliveIdleSeconds * kMillisecondsPerSecond,
                         (kDeadPeerMilliseconds - kKeepAliveIdleSeconds * kMillisecondsPerSecond) /
                             kSystemProbes};
    DWORD returned = 0;
    WSAIoctl(Handle(socket), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
             nullptr, nullptr);
}

}  // namespace

SocketError LastSocketError() {
    switch (WSAGetLastError()) {
        case WSAEWOULDBLOCK:
        case WSAEALREADY:
        case WSAEINPROGRESS:
            return SocketError::kWouldBlock;
        case WSAEINTR:
            return SocketError::kInterrupted;
        case WSAEISCONN:
            return SocketError::kAlreadyConnected;
        case WSAECONNABORTED:
        case WSAECONNRESET:
        case WSAENETDOWN:
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH:
            return SocketError::kTransient;
        default:
            return SocketError::kOther;
    }
}

bool StartSocketLibrary() {
    WSADATA data;
    return WSAStartup(kSocketLibraryVersion, &data) == 0;
}

void StopSocketLibrary() {
    WSACleanup();
}

int OpenStreamSocket() {
    return ToInt(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
}

void CloseSocket(int socket) {
    closesocket(Handle(socket));
}

void ShutDownSocket(int socket) {
    shutdown(Handle(socket), SD_BOTH);
}

bool SetNonBlocking(int socket, bool nonBlocking) {
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(Handle(socket), FIONBIO, &mode) == 0;
}

bool BindToAnyAddress(int socket, std::uint16_t port) {
    const sockaddr_in address = MakeAddress(htonl(INADDR_ANY), port);
    return bind(Handle(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool StartListening(int socket, int backlog) {
    return listen(Handle(socket), backlog) == 0;
}

bool ConnectOnce(int socket, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in remote = MakeAddress(address, port);
    return connect(Handle(socket), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) ==
               0 ||
           WSAGetLastError() == WSAEISCONN;
}

int AcceptConnection(int listener) {
    const SOCKET accepted = accept(Handle(listener), nullptr, nullptr);
    if (accepted != INVALID_SOCKET) {
        SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
    }
    return ToInt(accepted);
}

// A socket that neither listens nor is connected reports nothing at all to a wait, where POSIX
// systems report it hung up: nothing can ever be read from it.
bool NeverReadable(int socket) {
    int listening = 0;
    int length = sizeof listening;
    getsockopt(Handle(socket), SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening),
               &length);
    sockaddr_in peer{};
    return listening == 0 && !ReadAddress(getpeername, socket, peer) &&
           WSAGetLastError() == WSAENOTCONN;
}

WaitResult WaitForSocket(int socket, bool forWriting, int timeoutMilliseconds) {
    WSAPOLLFD wanted{Handle(socket), static_cast<SHORT>(forWriting ? POLLWRNORM : POLLRDNORM), 0};
    const bool forever = timeoutMilliseconds < 0;
    const int timeout = forever ? kLongestWaitMilliseconds : timeoutMilliseconds;
    const int ready = WSAPoll(&wanted, 1, timeout);
    if (ready < 0) return WSAGetLastError() == WSAEINTR ? WaitResult::kTimedOut : WaitResult::kFailed;
    if (ready == 0) {
        const bool hopeless = forever && !forWriting && NeverReadable(socket);
        return hopeless ? WaitResult::kFailed : WaitResult::kTimedOut;
    }
    return (wanted.revents & POLLNVAL) != 0 ? WaitResult::kFailed : WaitResult::kReady;
}

long SendWithoutWaiting(int socket, const char* data, std::size_t length) {
    const int chunk = length > INT_MAX ? INT_MAX : static_cast<int>(length);
    return send(Handle(socket), data, chunk, 0);
}

long ReceiveSome(int socket, char* buffer, std::size_t capacity) {
    const int room = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
    return recv(Handle(socket), buffer, room, 0);
}

bool ReadEndpoint(int socket, bool peer, Endpoint& endpoint) {
    sockaddr_in address{};
    if (!ReadAddress(peer ? getpeername : getsockname, socket, address)) return false;
    endpoint = {address.sin_addr.s_addr, ntohs(address.sin_port)};
    return true;
}

// Windows lets a listener bind again while old connections wait out TIME_WAIT; its reuse
// option would instead let a second program take a port in use, so the port is claimed
// exclusively and a second game is told that the port is taken.
void AllowQuickRebind(int socket) {
    SetOption(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
}

void SetUpConnectedSocket(int socket) {
    SetNonBlocking(socket, true);
    SetOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(socket, SOL_SOCKET, SO_SNDBUF, kSendBufferBytes);
    SetOption(socket, SOL_SOCKET, SO_RCVBUF, kReceiveQueueBytes);
    KeepAlive(socket);
    SetOption(socket, IPPROTO_TCP, kTcpMaxRetransmitSeconds,
              kDeadPeerMilliseconds / kMillisecondsPerSecond);
}

std::size_t SocketUnacknowledgedBytes(int) {
    return 0;
}

std::vector<InterfaceAddress> ListInterfaceAddresses() {
    std::vector<InterfaceAddress> found;
    const SOCKET probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (probe == INVALID_SOCKET) return found;
    INTERFACE_INFO interfaces[kInterfaceListCapacity];
    DWORD bytes = 0;
    const bool listed = WSAIoctl(probe, SIO_GET_INTERFACE_LIST, nullptr, 0, interfaces,
                                 sizeof interfaces, &bytes, nullptr, nullptr) == 0;
    closesocket(probe);
    if (!listed) return found;
    for (DWORD i = 0; i < bytes / sizeof(INTERFACE_INFO); ++i) {
        const INTERFACE_INFO& entry = interfaces[i];
        if ((entry.iiFlags & IFF_UP) == 0 || entry.iiAddress.Address.sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &entry.iiAddress.AddressIn.sin_addr, text, sizeof text) == nullptr)
            continue;
        // The list's own broadcast field holds 255.255.255.255 for every interface; the
        // interface's directed broadcast follows from its address and mask.
        const std::uint32_t address = entry.iiAddress.AddressIn.sin_addr.s_addr;
        const std::uint32_t mask = entry.iiNetmask.AddressIn.sin_addr.s_addr;
        const bool broadcasts = (entry.iiFlags & IFF_BROADCAST) != 0;
        found.push_back(
            {text, (entry.iiFlags & IFF_LOOPBACK) != 0, broadcasts ? (address | ~mask) : 0});
    }
    return found;
}

int OpenDatagramSocket() {
    return ToInt(WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
}

void ShareDatagramPort(int socket) {
    SetOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
}

void AllowBroadcast(int socket) {
    SetOption(socket, SOL_SOCKET, SO_BROADCAST, 1);
}

bool SendDatagram(int socket, std::uint32_t address, std::uint16_t port, std::string_view data) {
    const sockaddr_in target = MakeAddress(address, port);
    return sendto(Handle(socket), data.data(), static_cast<int>(data.size()), 0,
                  reinterpret_cast<const sockaddr*>(&target),
                  sizeof target) == static_cast<int>(data.size());
}

// Windows reports a datagram longer than the buffer as an error after filling it.
long ReceiveDatagram(int socket, char* buffer, std::size_t capacity, std::uint32_t& source) {
    sockaddr_in sender{};
    int length = sizeof sender;
    const int count = recvfrom(Handle(socket), buffer, static_cast<int>(capacity), 0,
                               reinterpret_cast<sockaddr*>(&sender), &length);
    source = sender.sin_addr.s_addr;
    if (count == SOCKET_ERROR) {
        return WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(capacity) + 1 : -1;
    }
    return count;
}

bool LookUpHostAddress(const std::string& name, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr) return false;
    address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(answer);
    return address != kAllOnesAddress;
}

}  // namespace net
