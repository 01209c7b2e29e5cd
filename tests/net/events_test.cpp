// The workers' events (order, threads, chunking, zero bytes, peer address), Disconnect and
// WaitClose, and the life of a connection's descriptor.

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif
#include <atomic>
#include <chrono>
#include <thread>

#include "net/registry.h"
#include "net/registry_testing.h"
#include "tests/net/support.h"

namespace nettest {
namespace {

using net::ConnId;
// A block larger than one receive call can deliver.
constexpr std::size_t kLargeBlockBytes = 10000;
constexpr std::chrono::milliseconds kSlowHandlerPause{200};

int SocketOf(ConnId id) {
    net::ConnectionRecord record;
    return net::CopyRecordForTest(id, record) ? record.V_SOCKET : -1;
}

using WorkerEvents = LayerTest;

TEST_F(WorkerEvents, ArriveInOrderOnTheWorkerThenDisconnectOnceOnTheCleanupThread) {
    const LoopbackPair pair = ConnectLoopbackPair();
    ASSERT_FALSE(HasFailure());
    const ConnId client = pair.client;
    const ConnId accepted = pair.accepted;
    ASSERT_GT(accepted, 0);

    std::uint32_t count = 0;
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        const std::string message = "message " + std::to_string(i) + ";";
        ASSERT_EQ(net::SendData(client, message, count), net::kNoError);
        expected += message;
    }
    ASSERT_TRUE(WaitFor([&] { return DataOf(accepted).size() == expected.size(); }));
    EXPECT_EQ(DataOf(accepted), expected);

    ASSERT_EQ(net::Disconnect(client), net::kNoError);
    ASSERT_TRUE(WaitFor([&] {
        return CountOf(Kind::Disconnect, client) == 1 && CountOf(Kind::Disconnect, accepted) == 1;
    }));
    net::WaitClose(client);
    net::WaitClose(accepted);

    const std::vector<Event> events = EventsOf(accepted);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().kind, Kind::Connect);
    EXPECT_EQ(events.back().kind, Kind::Disconnect);
    const ThreadId worker = events.front().thread;
    EXPECT_NE(worker, ThisThreadId());
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].kind, Kind::Data);
        EXPECT_EQ(events[i].thread, worker);
    }
    EXPECT_NE(events.back().thread, worker);
    EXPECT_TRUE(events.back().workerGone);
    EXPECT_TRUE(EventsOf(client).back().workerGone);
    EXPECT_EQ(EventsOf(client).back().thread, events.back().thread) << "one cleanup thread";

    std::this_thread::sleep_for(kQuietPause);
    EXPECT_EQ(CountOf(Kind::Disconnect, accepted), 1);
    EXPECT_EQ(CountOf(Kind::Disconnect, client), 1);
    EXPECT_EQ(CountOf(Kind::Connect, accepted), 1);
    EXPECT_EQ(CountOf(Kind::Connect, client), 1);
}

TEST_F(WorkerEvents, LargeBlockArrivesInSeveralChunksOfAtMostTheBufferSize) {
    const RawPeer pair = ConnectToRawPeer();
    std::string block(kLargeBlockBytes, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    ASSERT_EQ(RawSend(pair.peer, block), static_cast<long>(block.size()));
    ASSERT_TRUE(WaitFor([&] { return DataOf(pair.client).size() == block.size(); }));
    EXPECT_EQ(DataOf(pair.client), block);

    std::vector<std::size_t> sizes;
    for (const Event& event : EventsOf(pair.client)) {
        if (event.kind == Kind::Data) sizes.push_back(event.data.size());
    }
    ASSERT_GE(sizes.size(), 2u);
    for (std::size_t size : sizes)
        EXPECT_LE(size, 7936u);
    CloseRaw(pair);
}

TEST_F(WorkerEvents, ZeroBytesArriveWhole) {
    const RawPeer pair = ConnectToRawPeer();
    std::string block("a\0b\0\0c", 6);
    block += std::string(300, '\0');
    ASSERT_EQ(RawSend(pair.peer, block), static_cast<long>(block.size()));
    ASSERT_TRUE(WaitFor([&] { return DataOf(pair.client).size() >= block.size(); }));
    EXPECT_EQ(DataOf(pair.client), block);
    CloseRaw(pair);
}

TEST_F(WorkerEvents, NewConnectionCarriesThePeerAddressAndLeavesTheSocketToTheHandler) {
    const ConnId server = NewServer();
    const int raw = ConnectLoopback(ServerPort(server));
    ASSERT_GE(raw, 0);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::NewConnection, server) == 1; }));
    const Event event = EventsOf(server).front();
    EXPECT_EQ(event.data, "127.0.0.1");
    EXPECT_EQ(event.adopted, 0);
    ASSERT_TRUE(IsOpen(event.socket)) << "a handler that does nothing leaves the socket open";
    ASSERT_EQ(RawSend(raw, "hi"), 2);
    EXPECT_EQ(ReceiveExactly(event.socket, 2), "hi");
    RawClose(event.socket);
    RawClose(raw);
}

TEST_F(WorkerEvents, DisconnectOfAServerClosesItsPortWithoutAnyEvent) {
    const ConnId server = NewServer();
    const std::uint16_t port = ServerPort(server);
    ASSERT_EQ(net::Disconnect(server), net::kNoError);
    net::WaitClose(server);
    EXPECT_EQ(net::Disconnect(server), net::kConnIdNotFound);
    EXPECT_EQ(ConnectLoopback(port), -1);
    EXPECT_TRUE(Events().empty());
}

TEST_F(WorkerEvents, DisconnectGivesSuccessThenNoSocketWhileListedThenNotFound) {
    const RawPeer pair = ConnectToRawPeer();
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Connect, pair.client) == 1; }));
    Hold(Kind::Disconnect);
    ASSERT_EQ(net::Disconnect(pair.client), net::kNoError);
    EXPECT_EQ(net::Disconnect(pair.client), net::kNoSocketInRecord);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect, pair.client) == 1; }));
    // The handler is held, so the record is still listed.
    EXPECT_EQ(net::Disconnect(pair.client), net::kNoSocketInRecord);
    EXPECT_TRUE(PeerClosed(pair.peer));
    Release(Kind::Disconnect);
    net::WaitClose(pair.client);
    EXPECT_EQ(net::Disconnect(pair.client), net::kConnIdNotFound);
    CloseRaw(pair);
}

TEST_F(WorkerEvents, DisconnectEventWaitsUntilTheWorkerHasEnded) {
    Hold(Kind::Data);
    const RawPeer pair = ConnectToRawPeer();
    ASSERT_EQ(RawSend(pair.peer, "x"), 1);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Data, pair.client) == 1; }));
    ASSERT_EQ(net::Disconnect(pair.client), net::kNoError);
    std::this_thread::sleep_for(kQuietPause);
    EXPECT_EQ(CountOf(Kind::Disconnect, pair.client), 0) << "the worker is still in a handler";
    Release(Kind::Data);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect, pair.client) == 1; }));
    EXPECT_TRUE(EventsOf(pair.client).back().workerGone);
    CloseRaw(pair);
}

// Adopts the socket and ends it at once: in practice nearly always before its worker has
// started, so the record is still in state 1.
void AdoptAndDisconnect(ConnId, int socket, std::string_view) {
    std::string address;
    ConnId id = 0;
    net::CreateAccept(socket, id, address, OnDisconnect, OnConnect, OnData);
    EXPECT_EQ(net::Disconnect(id), net::kNoError);
}

TEST_F(WorkerEvents, DisconnectRightAfterCreationEndsTheConnection) {
    ConnId server = 0;
    ASSERT_EQ(net::CreateServer(server, 0, 1, AdoptAndDisconnect, nullptr), net::kNoError);
    constexpr int kRounds = 20;
    for (int round = 1; round <= kRounds; ++round) {
        const int raw = ConnectLoopback(ServerPort(server));
        EXPECT_TRUE(PeerClosed(raw));
        RawClose(raw);
        ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect) == round; }));
    }
    EXPECT_EQ(CountOf(Kind::Connect), kRounds) << "each adopted connection still starts";
}

TEST_F(WorkerEvents, PeerClosingEndsTheConnection) {
    const RawPeer pair = ConnectToRawPeer();
    RawClose(pair.peer);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect, pair.client) == 1; }));
    net::WaitClose(pair.client);
    EXPECT_EQ(net::Disconnect(pair.client), net::kConnIdNotFound);
    RawClose(pair.listener);
}

// Sets a flag after a pause, so WaitClose returning early would be seen.
std::atomic<bool> slowHandlerDone{false};
void SlowDisconnect(ConnId) {
    std::this_thread::sleep_for(kSlowHandlerPause);
    slowHandlerDone = true;
}

TEST_F(WorkerEvents, WaitCloseReturnsOnceTheDisconnectEventIsHandled) {
    slowHandlerDone = false;
    std::uint16_t port = 0;
    const int listener = ListenLoopback(port);
    ConnId client = 0;
    ASSERT_EQ(net::CreateClient(client, "127.0.0.1", port, SlowDisconnect, nullptr, nullptr,
                                kLoopbackConnectTimeout),
              net::kNoError);
    ASSERT_EQ(net::Disconnect(client), net::kNoError);
    net::WaitClose(client);
    EXPECT_TRUE(slowHandlerDone);
    EXPECT_EQ(net::Disconnect(client), net::kConnIdNotFound);
    RawClose(listener);
}

TEST_F(WorkerEvents, WaitCloseOnAnUnknownHandleReturnsAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    net::WaitClose(424242);
    net::WaitClose(0);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::duration<double>(kEventWaitSeconds));
}

// Handlers that wait for their own connection: such a wait can never end, so it must not start.
std::atomic<int> selfWaitsReturned{0};
void ConnectWaitingForItself(ConnId id) {
    net::WaitClose(id);
    ++selfWaitsReturned;
}
void DisconnectWaitingForItself(ConnId id) {
    net::WaitClose(id);
    ++selfWaitsReturned;
}

TEST_F(WorkerEvents, HandlerWaitingForItsOwnConnectionDoesNotHang) {
    selfWaitsReturned = 0;
    std::uint16_t port = 0;
    const int listener = ListenLoopback(port);
    ConnId client = 0;
    ASSERT_EQ(net::CreateClient(client, "127.0.0.1", port, DisconnectWaitingForItself,
                                ConnectWaitingForItself, nullptr, kLoopbackConnectTimeout),
              net::kNoError);
    ASSERT_TRUE(WaitFor([] { return selfWaitsReturned == 1; }));
    ASSERT_EQ(net::Disconnect(client), net::kNoError);
    net::WaitClose(client);
    EXPECT_EQ(selfWaitsReturned, 2);
    RawClose(listener);
}

TEST_F(WorkerEvents, DescriptorStaysReservedUntilTheWorkerHasEnded) {
    Hold(Kind::Connect);  // the worker stops in its connect event, before its first wait
    const RawPeer pair = ConnectToRawPeer();
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Connect, pair.client) == 1; }));
    const int number = SocketOf(pair.client);
    ASSERT_GE(number, 0);
    const std::uint16_t localPort = LocalPort(number);

    ASSERT_EQ(net::Disconnect(pair.client), net::kNoError);
    EXPECT_TRUE(PeerClosed(pair.peer)) << "the connection is shut down at once";
    EXPECT_TRUE(IsOpen(number)) << "but its number is not free for another socket yet";
    EXPECT_EQ(LocalPort(number), localPort);
    const int fresh = RawSocket();
    EXPECT_NE(fresh, number);

    Release(Kind::Connect);
    net::WaitClose(pair.client);
    EXPECT_FALSE(IsOpen(number)) << "the worker's end closed it";
    EXPECT_EQ(EventsOf(pair.client).size(), 2u) << "connect and disconnect, no data";
    RawClose(fresh);
    CloseRaw(pair);
}

}  // namespace
}  // namespace nettest
