// Blocking loopback sockets with deadlines for the raw peer.
#include "tests/e2e/raw_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace e2e {
namespace {

constexpr int kConnectRetryMs = 20;
constexpr int kSmallReceiveBuffer = 1024;
constexpr int kDropConnectWaitMs = 200;
constexpr std::size_t kReadChunk = 4096;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// The receive buffer is set before connecting, so the window offered starts small.
int ConnectOnce(std::uint16_t port, int receiveBuffer) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }
    close(fd);
    return -1;
}

int ConnectWithRetry(std::uint16_t port, int timeoutMs, int receiveBuffer) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = ConnectOnce(port, receiveBuffer);
        if (fd >= 0 || MsLeft(deadline) == 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(kConnectRetryMs));
    }
}

}  // namespace

int ConnectRawPeer(std::uint16_t port, int timeoutMs) {
    return ConnectWithRetry(port, timeoutMs, 0);
}

int ConnectRawPeerWithSmallBuffer(std::uint16_t port, int timeoutMs) {
    return ConnectWithRetry(port, timeoutMs, kSmallReceiveBuffer);
}

bool SendRaw(int socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string ReadRaw(int socket, std::size_t count, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (got.size() < count) {
        pollfd ready{socket, POLLIN, 0};
        if (poll(&ready, 1, MsLeft(deadline)) <= 0) break;
        char buffer[kReadChunk];
        const ssize_t n = recv(socket, buffer, std::min(sizeof buffer, count - got.size()), 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

std::string ReadFirstBlock(int socket, int timeoutMs) {
    pollfd ready{socket, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return {};
    char buffer[kReadChunk];
    const ssize_t n = recv(socket, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool TakeGreeting(int socket, int timeoutMs) {
    return ReadFirstBlock(socket, timeoutMs) == kGreeting;
}

bool ClosedByPeer(int socket, int timeoutMs) {
    pollfd ready{socket, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return false;
    char byte = 0;
    return recv(socket, &byte, 1, 0) <= 0;
}

void CloseRaw(int& socket) {
    if (socket >= 0) close(socket);
    socket = -1;
}

void ResetRaw(int& socket) {
    const linger abort{1, 0};
    if (socket >= 0) setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    CloseRaw(socket);
}

void ConnectAndDrop(std::uint16_t port, bool reset) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = Loopback(port);
    connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    pollfd done{fd, POLLOUT, 0};
    poll(&done, 1, kDropConnectWaitMs);
    if (reset) {
        ResetRaw(fd);
    } else {
        CloseRaw(fd);
    }
}

}  // namespace e2e
