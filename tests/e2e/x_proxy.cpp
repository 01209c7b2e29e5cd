// The cutting relay: one thread per proxy, one client, one server connection.
// The client's byte stream is split into the connection set-up and whole
// requests by their length fields; the server's answers pass unread.
#include "tests/e2e/x_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace e2e {
namespace {

constexpr int kFirstDisplay = 200;  // TCP displays tried: 6000 + 200 ... 6000 + 299
constexpr int kDisplaysTried = 100;
constexpr int kX11BasePort = 6000;
constexpr int kRelayTimeoutMs = 20000;
constexpr char kServerSocketDir[] = "/tmp/.X11-unix/X";
constexpr std::size_t kSetupHeaderBytes = 12;
constexpr std::size_t kRequestHeaderBytes = 4;
constexpr std::size_t kBigRequestHeaderBytes = 8;
constexpr std::size_t kUnit = 4;
constexpr char kBigEndianMark = 'B';
constexpr std::size_t kRelayBufferBytes = 65536;

using Clock = std::chrono::steady_clock;

// The client's side of the stream, waiting to be cut into whole units.
struct ClientStream {
    std::string pending;
    bool setupSeen = false;
    bool bigEndian = false;
};

std::uint32_t Read16(const ClientStream& s, std::size_t at) {
    const auto* b = reinterpret_cast<const unsigned char*>(s.pending.data()) + at;
    return s.bigEndian ? (b[0] << 8 | b[1]) : (b[1] << 8 | b[0]);
}

std::uint32_t Read32(const ClientStream& s, std::size_t at) {
    return s.bigEndian ? (Read16(s, at) << 16 | Read16(s, at + 2))
                       : (Read16(s, at + 2) << 16 | Read16(s, at));
}

std::size_t Padded(std::size_t n) {
    return (n + kUnit - 1) / kUnit * kUnit;
}

// Bytes of the first whole unit in `pending`, or 0 while it is incomplete.
std::size_t NextUnitSize(ClientStream& s) {
    if (!s.setupSeen) {
        if (s.pending.size() < kSetupHeaderBytes) return 0;
        s.bigEndian = s.pending[0] == kBigEndianMark;
        const std::size_t size = kSetupHeaderBytes + Padded(Read16(s, 6)) + Padded(Read16(s, 8));
        return s.pending.size() >= size ? size : 0;
    }
    if (s.pending.size() < kRequestHeaderBytes) return 0;
    std::size_t units = Read16(s, 2);
    if (units == 0) {  // a big request carries its length in the next four bytes
        if (s.pending.size() < kBigRequestHeaderBytes) return 0;
        units = Read32(s, 4);
    }
    const std::size_t size = std::max(units * kUnit, kRequestHeaderBytes);
    return s.pending.size() >= size ? size : 0;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Passes on every whole unit before the cut; false once the cut request came.
bool ForwardClientUnits(XProxy& proxy, ClientStream& s, int server) {
    for (std::size_t size = NextUnitSize(s); size > 0; size = NextUnitSize(s)) {
        const bool request = s.setupSeen;
        if (request && static_cast<std::uint8_t>(s.pending[0]) == proxy.cutAt) {
            proxy.cut.store(true);
            return false;
        }
        if (!WriteAll(server, s.pending.data(), size)) return false;
        s.pending.erase(0, size);
        s.setupSeen = true;
    }
    return true;
}

int ConnectToServer(const std::string& serverDisplay) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = kServerSocketDir + serverDisplay.substr(1);
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0) close(fd);
    return -1;
}

int AcceptClient(int listener, int timeoutMs) {
    pollfd ready{listener, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return -1;
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// One pass of the relay; false when either side has ended or the cut came.
bool RelayOnce(XProxy& proxy, ClientStream& stream, int client, int server, int timeoutMs) {
    pollfd fds[] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return false;
    char buffer[kRelayBufferBytes];
    if (fds[1].revents != 0) {
        const ssize_t n = recv(server, buffer, sizeof buffer, 0);
        if (n <= 0 || !WriteAll(client, buffer, static_cast<std::size_t>(n))) return false;
    }
    if (fds[0].revents != 0) {
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        stream.pending.append(buffer, static_cast<std::size_t>(n));
        return ForwardClientUnits(proxy, stream, server);
    }
    return true;
}

void Relay(XProxy* proxy, std::string serverDisplay) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kRelayTimeoutMs);
    const int client = AcceptClient(proxy->listener, kRelayTimeoutMs);
    const int server = client < 0 ? -1 : ConnectToServer(serverDisplay);
    ClientStream stream;
    while (server >= 0 && RelayOnce(*proxy, stream, client, server, MsLeft(deadline))) {
    }
    if (server >= 0) close(server);
    if (client >= 0) close(client);
}

int ListenOnFreeDisplay(int& display) {
    for (display = kFirstDisplay; display < kFirstDisplay + kDisplaysTried; ++display) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(kX11BasePort + display));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(fd, 1) == 0) {
            return fd;
        }
        close(fd);
    }
    return -1;
}

}  // namespace

bool StartXProxy(XProxy& proxy, const std::string& serverDisplay) {
    int display = 0;
    proxy.listener = ListenOnFreeDisplay(display);
    if (proxy.listener < 0) return false;
    proxy.display = "127.0.0.1:" + std::to_string(display);
    proxy.relay = std::thread(Relay, &proxy, serverDisplay);
    return true;
}

void StopXProxy(XProxy& proxy) {
    if (proxy.relay.joinable()) proxy.relay.join();
    if (proxy.listener >= 0) close(proxy.listener);
    proxy.listener = -1;
}

}  // namespace e2e
