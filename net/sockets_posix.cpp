// The socket calls on POSIX systems. Sends never raise SIGPIPE (MSG_NOSIGNAL) and never wait
// (MSG_DONTWAIT), whatever the socket's mode; there is no socket library to start.
#include "net/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace net {
namespace {

constexpr std::uint32_t kAllOnesAddress = 0xFFFFFFFFu;
// Newer kernels bound the pause between two retransmissions per socket; older ones refuse the
// option, and their own bound applies.
constexpr int kTcpRtoMaxMs = 44;

void SetOption(int socket, int level, int option, int value) {
    setsockopt(socket, level, option, &value, sizeof value);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = address;
    return result;
}

bool ReadAddress(int (*read)(int, sockaddr*, socklen_t*), int socket, sockaddr_in& address) {
    socklen_t length = sizeof address;
    return read(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           length == sizeof address && address.sin_family == AF_INET;
}

// Errors of accept that concern only the one incoming connection (it was reset or its route
// vanished before it was taken off the queue); the listening socket itself is fine.
bool TransientAcceptError(int error) {
    switch (error) {
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

}  // namespace

SocketError LastSocketError() {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) return SocketError::kWouldBlock;
    if (error == EINTR) return SocketError::kInterrupted;
    if (error == EISCONN) return SocketError::kAlreadyConnected;
    return TransientAcceptError(error) ? SocketError::kTransient : SocketError::kOther;
}

bool StartSocketLibrary() {
    return true;
}

void StopSocketLibrary() {}

int OpenStreamSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

void CloseSocket(int socket) {
    close(socket);
}

void ShutDownSocket(int socket) {
    shutdown(socket, SHUT_RDWR);
}

bool SetNonBlocking(int socket, bool nonBlocking) {
    const int flags = fcntl(socket, F_GETFL);
    if (flags < 0) return false;
    const int wanted = nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return fcntl(socket, F_SETFL, wanted) == 0;
}

bool BindToAnyAddress(int socket, std::uint16_t port) {
    const sockaddr_in address = MakeAddress(htonl(INADDR_ANY), port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool StartListening(int socket, int backlog) {
    return listen(socket, backlog) == 0;
}

bool ConnectOnce(int socket, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in remote = MakeAddress(address, port);
    return connect(socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 ||
           errno == EISCONN;
}

int AcceptConnection(int listener) {
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

WaitResult WaitForSocket(int socket, bool forWriting, int timeoutMilliseconds) {
    pollfd wanted{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    const int ready = poll(&wanted, 1, timeoutMilliseconds);
    if (ready < 0) return errno == EINTR ? WaitResult::kTimedOut : WaitResult::kFailed;
    if (ready == 0) return WaitResult::kTimedOut;
    return (wanted.revents & POLLNVAL) != 0 ? WaitResult::kFailed : WaitResult::kReady;
}

long SendWithoutWaiting(int socket, const char* data, std::size_t length) {
    return send(socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long ReceiveSome(int socket, char* buffer, std::size_t capacity) {
    return recv(socket, buffer, capacity, 0);
}

bool ReadEndpoint(int socket, bool peer, Endpoint& endpoint) {
    sockaddr_in address{};
    if (!ReadAddress(peer ? getpeername : getsockname, socket, address)) return false;
    endpoint = {address.sin_addr.s_addr, ntohs(address.sin_port)};
    return true;
}

void AllowQuickRebind(int socket) {
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

void SetUpConnectedSocket(int socket) {
    SetOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(socket, SOL_SOCKET, SO_SNDBUF, kSendBufferBytes);
    SetOption(socket, SOL_SOCKET, SO_RCVBUF, kReceiveQueueBytes);
    SetOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleSeconds);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalSeconds);
    SetOption(socket, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
    SetOption(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, kDeadPeerMilliseconds);
    SetOption(socket, IPPROTO_TCP, kTcpRtoMaxMs, kMaxRetransmitPauseMilliseconds);
}

std::size_t SocketUnacknowledgedBytes(int socket) {
    int queued = 0;
    return ioctl(socket, TIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<std::size_t>(queued)
                                                               : 0;
}

std::vector<InterfaceAddress> ListInterfaceAddresses() {
    std::vector<InterfaceAddress> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return found;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        const in_addr& address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) continue;
        const bool broadcasts = (entry->ifa_flags & IFF_BROADCAST) != 0 &&
                                entry->ifa_broadaddr != nullptr &&
                                entry->ifa_broadaddr->sa_family == AF_INET;
        const std::uint32_t broadcast =
            broadcasts ? reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr)->sin_addr.s_addr
                       : 0;
        found.push_back({text, (entry->ifa_flags & IFF_LOOPBACK) != 0, broadcast});
    }
    freeifaddrs(list);
    return found;
}

int OpenDatagramSocket() {
    return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

void ShareDatagramPort(int socket) {
    SetOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
}

void AllowBroadcast(int socket) {
    SetOption(socket, SOL_SOCKET, SO_BROADCAST, 1);
}

bool SendDatagram(int socket, std::uint32_t address, std::uint16_t port, std::string_view data) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    target.sin_port = htons(port);
    return sendto(socket, data.data(), data.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&target),
                  sizeof target) == static_cast<ssize_t>(data.size());
}

long ReceiveDatagram(int socket, char* buffer, std::size_t capacity, std::uint32_t& source) {
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    const ssize_t count = recvfrom(socket, buffer, capacity, MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&sender), &length);
    source = sender.sin_addr.s_addr;
    if (count < 0) return -1;
    return static_cast<std::size_t>(count) > capacity ? static_cast<long>(capacity) + 1 : count;
}

// getaddrinfo instead of the older by-name lookup, which returns a shared static result and so
// cannot be used from several threads.
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
