// Measures the connection layer over loopback beside plain blocking sockets doing the same
// work: connect time, bulk throughput and small-message round trips. Prints one table; the
// cost column is the layer's cost relative to the plain sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/net.h"
#include "tests/net/system.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectRounds = 500;
constexpr std::size_t kBulkChunkBytes = 64 * 1024;
constexpr std::size_t kBulkTotalBytes = std::size_t{512} << 20;
constexpr int kBulkRuns = 5;
constexpr int kRoundTrips = 2000;
constexpr std::size_t kSmallMessageBytes = 8;
constexpr std::uint32_t kConnectTimeoutSeconds = 5;
// The plain receiver reads in pieces of the layer's receive buffer size.
constexpr std::size_t kReceivePieceBytes = net::kReceiveBufferBytes;

struct Bench {
    std::mutex lock;
    std::condition_variable changed;
    int connects = 0;
    int disconnects = 0;
    std::uint64_t received = 0;
    net::ConnId accepted = 0;
    bool echo = false;
};

Bench state;

void Notify() {
    state.changed.notify_all();
}

template <typename Done>
void WaitUntil(Done done) {
    std::unique_lock guard(state.lock);
    state.changed.wait(guard, done);
}

void OnConnect(net::ConnId) {
    std::lock_guard guard(state.lock);
    ++state.connects;
    Notify();
}

void OnDisconnect(net::ConnId) {
    std::lock_guard guard(state.lock);
    ++state.disconnects;
    Notify();
}

void OnData(net::ConnId id, std::string_view data) {
    bool echo = false;
    {
        std::lock_guard guard(state.lock);
        state.received += data.size();
        echo = state.echo && id == state.accepted;
        Notify();
    }
    std::uint32_t count = 0;
    if (echo) net::SendData(id, data, count);
}

void Adopt(net::ConnId, int socket, std::string_view peerAddress) {
    std::string address(peerAddress);
    net::ConnId id = 0;
    net::CreateAccept(socket, id, address, OnDisconnect, OnConnect, OnData);
    std::lock_guard guard(state.lock);
    state.accepted = id;
    Notify();
}

void ResetCounts() {
    std::lock_guard guard(state.lock);
    state.connects = state.disconnects = 0;
    state.received = 0;
}

double Microseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Two connected plain sockets: [0] the connecting end, [1] the accepted end.
void PlainPair(int ends[2]) {
    std::uint16_t port = 0;
    const int listener = nettest::ListenLoopback(port);
    ends[0] = nettest::ConnectLoopback(port);
    ends[1] = nettest::AcceptOne(listener);
    nettest::RawClose(listener);
}

// Accepts and closes everything that connects, until the listener is shut down.
void AcceptAndClose(int listener) {
    for (;;) {
        const int sock = accept(listener, nullptr, nullptr);
        if (sock < 0) return;
        close(sock);
    }
}

double PlainConnectMicroseconds(std::uint16_t port) {
    std::vector<double> times;
    for (int round = 0; round < kConnectRounds; ++round) {
        const auto start = Clock::now();
        const int sock = nettest::ConnectLoopback(port);
        times.push_back(Microseconds(Clock::now() - start));
        close(sock);
    }
    return Median(times);
}

double LayerConnectMicroseconds(std::uint16_t port) {
    std::vector<double> times;
    for (int round = 0; round < kConnectRounds; ++round) {
        ResetCounts();
        const auto start = Clock::now();
        net::ConnId client = 0;
        net::CreateClient(client, "127.0.0.1", port, OnDisconnect, OnConnect, nullptr,
                          kConnectTimeoutSeconds);
        WaitUntil([] { return state.connects == 1; });
        times.push_back(Microseconds(Clock::now() - start));
        net::Disconnect(client);
        WaitUntil([] { return state.disconnects == 1; });
    }
    return Median(times);
}

double MiBPerSecond(std::size_t bytes, Clock::duration duration) {
    return static_cast<double>(bytes) / (1 << 20) / std::chrono::duration<double>(duration).count();
}

void SendChunks(int sock, const std::string& chunk, std::size_t total) {
    for (std::size_t sent = 0; sent < total; sent += chunk.size()) {
        send(sock, chunk.data(), chunk.size(), MSG_NOSIGNAL);
    }
}

// Receives in pieces of `piece` bytes until `total` bytes came or the connection ended.
std::size_t ReceivePieces(int sock, char* buffer, std::size_t piece, std::size_t total) {
    std::size_t received = 0;
    while (received < total) {
        const ssize_t got = recv(sock, buffer + received % piece, piece - received % piece, 0);
        if (got <= 0) break;
        received += static_cast<std::size_t>(got);
    }
    return received;
}

void ClosePair(const int ends[2]) {
    close(ends[0]);
    close(ends[1]);
}

double PlainBulkMiBPerSecond() {
    int ends[2];
    PlainPair(ends);
    const std::string chunk(kBulkChunkBytes, 'b');
    std::vector<char> piece(kReceivePieceBytes);
    const auto start = Clock::now();
    std::thread sender(SendChunks, ends[0], std::cref(chunk), kBulkTotalBytes);
    const std::size_t received =
        ReceivePieces(ends[1], piece.data(), piece.size(), kBulkTotalBytes);
    const auto elapsed = Clock::now() - start;
    sender.join();
    ClosePair(ends);
    return MiBPerSecond(received, elapsed);
}

double LayerBulkMiBPerSecond(net::ConnId client) {
    ResetCounts();
    const std::string chunk(kBulkChunkBytes, 'b');
    const auto start = Clock::now();
    for (std::size_t sent = 0; sent < kBulkTotalBytes; sent += chunk.size()) {
        std::uint32_t count = 0;
        net::SendData(client, chunk, count);
    }
    WaitUntil([] { return state.received >= kBulkTotalBytes; });
    return MiBPerSecond(kBulkTotalBytes, Clock::now() - start);
}

void EchoUntilClosed(int sock) {
    char buffer[kReceivePieceBytes];
    for (;;) {
        const ssize_t got = recv(sock, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        send(sock, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL);
    }
}

// No socket options on either side: the layer sets none either.
double PlainRoundTripMicroseconds() {
    int ends[2];
    PlainPair(ends);
    std::thread echo(EchoUntilClosed, ends[1]);
    const std::string message(kSmallMessageBytes, 'm');
    char answer[kSmallMessageBytes];
    std::vector<double> times;
    for (int trip = 0; trip < kRoundTrips; ++trip) {
        const auto start = Clock::now();
        send(ends[0], message.data(), message.size(), MSG_NOSIGNAL);
        ReceivePieces(ends[0], answer, sizeof answer, sizeof answer);
        times.push_back(Microseconds(Clock::now() - start));
    }
    shutdown(ends[0], SHUT_RDWR);
    echo.join();
    ClosePair(ends);
    return Median(times);
}

std::uint64_t ReceivedSoFar() {
    std::lock_guard guard(state.lock);
    return state.received;
}

double LayerRoundTripMicroseconds(net::ConnId client) {
    {
        std::lock_guard guard(state.lock);
        state.echo = true;
    }
    const std::string message(kSmallMessageBytes, 'm');
    std::vector<double> times;
    for (int trip = 0; trip < kRoundTrips; ++trip) {
        // The accepted end counts the message, then the client counts its echo.
        const std::uint64_t expected = ReceivedSoFar() + 2 * kSmallMessageBytes;
        const auto start = Clock::now();
        std::uint32_t count = 0;
        net::SendData(client, message, count);
        WaitUntil([&] { return state.received >= expected; });
        times.push_back(Microseconds(Clock::now() - start));
    }
    return Median(times);
}

// A port that was free a moment ago; the layer's server reports none when given port 0.
std::uint16_t FreePort() {
    std::uint16_t port = 0;
    nettest::RawClose(nettest::ListenLoopback(port));
    return port;
}

void PrintRow(const char* measure, const char* unit, double layer, double plain,
              bool higherIsBetter) {
    const double cost = higherIsBetter ? plain / layer : layer / plain;
    std::printf("%-26s %-6s %12.1f %12.1f %8.2f\n", measure, unit, layer, plain, cost);
}

struct Results {
    double layerConnect, plainConnect;
    double layerBulk, plainBulk;
    double layerTrip, plainTrip;
};

void MeasureConnect(Results& results) {
    std::uint16_t port = 0;
    const int listener = nettest::ListenLoopback(port);
    std::thread closer(AcceptAndClose, listener);
    results.plainConnect = PlainConnectMicroseconds(port);
    results.layerConnect = LayerConnectMicroseconds(port);
    shutdown(listener, SHUT_RDWR);
    closer.join();
    close(listener);
}

// One layer client and the layer's own server, as two copies of the game use it.
bool ConnectLayerPair(net::ConnId& server, net::ConnId& client) {
    ResetCounts();
    const std::uint16_t port = FreePort();
    if (net::CreateServer(server, port, 1, Adopt, nullptr) != net::kNoError ||
        net::CreateClient(client, "127.0.0.1", port, OnDisconnect, OnConnect, OnData,
                          kConnectTimeoutSeconds) != net::kNoError) {
        return false;
    }
    WaitUntil([] { return state.accepted != 0 && state.connects == 2; });
    return true;
}

void MeasureTransfer(Results& results) {
    net::ConnId server = 0;
    net::ConnId client = 0;
    if (!ConnectLayerPair(server, client)) {
        std::fprintf(stderr, "bench_net: could not connect over loopback\n");
        return;
    }
    std::vector<double> layer, plain;
    for (int run = 0; run < kBulkRuns; ++run) {
        layer.push_back(LayerBulkMiBPerSecond(client));
        plain.push_back(PlainBulkMiBPerSecond());
    }
    results.layerBulk = Median(layer);
    results.plainBulk = Median(plain);
    results.layerTrip = LayerRoundTripMicroseconds(client);
    results.plainTrip = PlainRoundTripMicroseconds();
    net::Disconnect(client);
    net::Disconnect(server);
}

}  // namespace

int main() {
    net::StartConnectionLayer();
    Results results{};
    MeasureConnect(results);
    MeasureTransfer(results);
    net::StopConnectionLayer();

    std::printf(
        "Connection layer over loopback, beside plain blocking sockets doing the same work\n");
    std::printf("%-26s %-6s %12s %12s %8s\n", "measure", "unit", "layer", "plain", "cost");
    PrintRow("connect (median)", "us", results.layerConnect, results.plainConnect, false);
    PrintRow("bulk 512 MiB (median of 5)", "MiB/s", results.layerBulk, results.plainBulk, true);
    PrintRow("8-byte round trip (median)", "us", results.layerTrip, results.plainTrip, false);
    std::printf("cost: how many times the plain sockets' time the layer needs (1.00 = none)\n");
    return 0;
}
