// The raw peer: the tests' loopback sockets (tests/net/system.h) with deadlines.
#include "tests/e2e/raw_peer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/net/system.h"

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

int ConnectWithRetry(std::uint16_t port, int timeoutMs, int receiveBuffer) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = nettest::ConnectLoopback(port, receiveBuffer);
        if (fd >= 0) nettest::SendWithoutDelay(fd);
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
        const long n = nettest::RawSend(socket, bytes);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string ReadRaw(int socket, std::size_t count, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (got.size() < count) {
        if (!nettest::WaitRaw(socket, false, MsLeft(deadline))) break;
        char buffer[kReadChunk];
        const long n =
            nettest::RawReceive(socket, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

std::string ReadFirstBlock(int socket, int timeoutMs) {
    if (!nettest::WaitRaw(socket, false, timeoutMs)) return {};
    char buffer[kReadChunk];
    const long n = nettest::RawReceive(socket, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool TakeGreeting(int socket, int timeoutMs) {
    return ReadFirstBlock(socket, timeoutMs) == kGreeting;
}

bool ClosedByPeer(int socket, int timeoutMs) {
    if (!nettest::WaitRaw(socket, false, timeoutMs)) return false;
    char byte = 0;
    return nettest::RawReceive(socket, &byte, 1) <= 0;
}

void CloseRaw(int& socket) {
    if (socket >= 0) nettest::RawClose(socket);
    socket = -1;
}

void ResetRaw(int& socket) {
    if (socket >= 0) nettest::ResetOnClose(socket);
    CloseRaw(socket);
}

void ConnectAndDrop(std::uint16_t port, bool reset) {
    int fd = nettest::StartConnectLoopback(port);
    if (fd < 0) return;
    nettest::WaitRaw(fd, true, kDropConnectWaitMs);
    if (reset) {
        ResetRaw(fd);
    } else {
        CloseRaw(fd);
    }
}

}  // namespace e2e
