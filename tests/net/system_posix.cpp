// The net tests' own raw sockets and process introspection on POSIX systems: plain BSD sockets,
// /proc for descriptors and threads. Nothing here touches the layer.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tests/net/system.h"

namespace nettest {
namespace {

constexpr int kStatLineBytes = 512;

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::size_t CountEntries(const char* directory) {
    DIR* listing = opendir(directory);
    if (listing == nullptr) return 0;
    std::size_t count = 0;
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(listing);
    return count;
}

}  // namespace

ThreadId ThisThreadId() {
    return static_cast<ThreadId>(gettid());
}

int RawSocket() {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

void RawClose(int socket) {
    close(socket);
}

long RawSend(int socket, std::string_view bytes) {
    return send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

long RawReceive(int socket, char* buffer, std::size_t capacity) {
    return recv(socket, buffer, capacity, 0);
}

bool SetRawNonBlocking(int socket, bool nonBlocking) {
    const int flags = fcntl(socket, F_GETFL);
    return flags >= 0 &&
           fcntl(socket, F_SETFL, nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

bool SendsWithoutDelay(int socket) {
    int on = 0;
    socklen_t size = sizeof on;
    return getsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, &size) == 0 && on != 0;
}

bool RawListen(int socket) {
    return listen(socket, SOMAXCONN) == 0;
}

int ListenLoopback(std::uint16_t& port) {
    const int listener = BindLoopback(port);
    if (listener >= 0 && listen(listener, SOMAXCONN) != 0) {
        close(listener);
        return -1;
    }
    return listener;
}

int BindLoopback(std::uint16_t& port) {
    const int sock = RawSocket();
    const sockaddr_in address = Loopback(0);
    if (sock < 0 || bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (sock >= 0) close(sock);
        return -1;
    }
    port = LocalPort(sock);
    return sock;
}

int ConnectLoopback(std::uint16_t port, int receiveBuffer) {
    const int sock = RawSocket();
    if (receiveBuffer > 0)
        setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in address = Loopback(port);
    if (connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(sock);
        return -1;
    }
    return sock;
}

int StartConnectLoopback(std::uint16_t port) {
    const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in address = Loopback(port);
    if (sock >= 0) connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sock;
}

void SendWithoutDelay(int socket) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool WaitRaw(int socket, bool forWriting, int timeoutMs) {
    pollfd wanted{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    return poll(&wanted, 1, timeoutMs) > 0;
}

void ResetOnClose(int socket) {
    const linger abort{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

int AcceptOne(int listener) {
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

std::uint16_t LocalPort(int socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

std::string ReceiveExactly(int socket, std::size_t count) {
    std::string received(count, '\0');
    std::size_t have = 0;
    while (have < count) {
        const ssize_t got = recv(socket, received.data() + have, count - have, 0);
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    received.resize(have);
    return received;
}

bool PeerClosed(int socket) {
    pollfd wanted{socket, POLLIN, 0};
    if (poll(&wanted, 1, static_cast<int>(kEventWaitSeconds * 1000)) <= 0) return false;
    char byte = 0;
    return recv(socket, &byte, 1, MSG_DONTWAIT) <= 0;
}

bool IsOpen(int descriptor) {
    return fcntl(descriptor, F_GETFD) != -1;
}

int QueuedForReading(int socket) {
    int queued = 0;
    return ioctl(socket, FIONREAD, &queued) == 0 ? queued : -1;
}

std::size_t OpenDescriptorCount() {
    return CountEntries("/proc/self/fd");
}

std::size_t ThreadCount() {
    return CountEntries("/proc/self/task");
}

bool ThreadAlive(ThreadId thread) {
    const std::string path = "/proc/self/task/" + std::to_string(thread) + "/stat";
    std::FILE* stat = std::fopen(path.c_str(), "r");
    if (stat == nullptr) return false;
    char line[kStatLineBytes] = {};
    const bool read = std::fgets(line, sizeof line, stat) != nullptr;
    std::fclose(stat);
    const char* afterName = read ? std::strrchr(line, ')') : nullptr;
    if (afterName == nullptr || afterName[1] == '\0') return false;
    const char taskState = afterName[2];
    return taskState != 'Z' && taskState != 'X';
}

}  // namespace nettest
