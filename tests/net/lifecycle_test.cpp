// Starting and stopping the layer: before any start, with live connections, with threads that
// cannot be started, from a handler, and right before the process ends.

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#include <cstdlib>
#include <thread>

#include "net/registry.h"
#include "net/registry_testing.h"
#include "net/thread.h"
#include "net/thread_testing.h"
#include "tests/net/support.h"

namespace nettest {
namespace {

using net::ConnId;

int QueuedConnections(int listener) {
    SetRawNonBlocking(listener, true);
    int queued = 0;
    for (int sock = AcceptOne(listener); sock >= 0; sock = AcceptOne(listener)) {
        ++queued;
        RawClose(sock);
    }
    SetRawNonBlocking(listener, false);
    return queued;
}

// Checks that every creating operation is refused with kThreadStartFailed and leaves nothing.
void ExpectCreationsRefused() {
    const std::size_t descriptors = OpenDescriptorCount();
    ConnId id = 77;
    EXPECT_EQ(net::CreateServer(id, 0, 1, KeepConnection, nullptr), net::kThreadStartFailed);
    EXPECT_EQ(id, 0);

    std::uint16_t port = 0;
    const int listener = ListenLoopback(port);
    id = 77;
    EXPECT_EQ(net::CreateClient(id, "127.0.0.1", port, OnDisconnect, OnConnect, OnData,
                                kLoopbackConnectTimeout),
              net::kThreadStartFailed);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(QueuedConnections(listener), 0) << "the refused client did not even connect";

    const int peer = ConnectLoopback(port);
    const int adopted = AcceptOne(listener);
    std::string address;
    id = 77;
    EXPECT_EQ(net::CreateAccept(adopted, id, address, OnDisconnect, OnConnect, OnData),
              net::kThreadStartFailed);
    EXPECT_EQ(id, 0);
    EXPECT_TRUE(PeerClosed(peer)) << "the refused socket was closed";
    RawClose(peer);
    RawClose(listener);

    EXPECT_EQ(net::RecordCountForTest(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(Events().empty());
}

using Lifecycle = WatchedTest;

TEST_F(Lifecycle, StopWithoutStartIsHarmlessAndNothingCanBeCreated) {
    net::StopConnectionLayer();
    net::StopConnectionLayer();
    ExpectCreationsRefused();
    std::uint32_t count = 0;
    EXPECT_EQ(net::SendData(1, "x", count), net::kConnIdNotFound);
    EXPECT_EQ(net::Disconnect(1), net::kConnIdNotFound);
    net::WaitClose(1);

    net::StartConnectionLayer();
    EXPECT_GT(NewServer(), 0);
    net::StopConnectionLayer();
}

TEST_F(Lifecycle, StopClosesEveryConnectionRaisesItsEventAndLeavesNoThread) {
    const std::size_t threads = ThreadCount();
    const std::size_t descriptors = OpenDescriptorCount();
    net::StartConnectionLayer();
    net::StartConnectionLayer();  // a second start changes nothing
    const LoopbackPair pair = ConnectLoopbackPair();
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(WaitFor([] { return CountOf(Kind::Connect) == 2; }));
    const ConnId client = pair.client;
    const ConnId accepted = pair.accepted;

    net::StopConnectionLayer();
    EXPECT_EQ(CountOf(Kind::Disconnect, client), 1);
    EXPECT_EQ(CountOf(Kind::Disconnect, accepted), 1);
    EXPECT_EQ(net::RecordCountForTest(), 0u);
    EXPECT_EQ(net::Disconnect(client), net::kConnIdNotFound);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() == threads; })) << ThreadCount();
    ResetEvents();
    ExpectCreationsRefused();

    net::StartConnectionLayer();
    EXPECT_GT(NewServer(), 0);
    net::StopConnectionLayer();
}

TEST_F(Lifecycle, CleanupThreadThatCannotStartLeavesTheLayerClosed) {
    net::RefuseThreadStartsForTest(1);
    net::StartConnectionLayer();
    net::RefuseThreadStartsForTest(0);
    ExpectCreationsRefused();
    net::StopConnectionLayer();

    net::StartConnectionLayer();
    EXPECT_GT(NewServer(), 0);
    net::StopConnectionLayer();
}

TEST_F(Lifecycle, WorkerThatCannotStartFailsTheCreationAndLeavesNothing) {
    net::StartConnectionLayer();
    const std::size_t descriptors = OpenDescriptorCount();
    net::RefuseThreadStartsForTest(1);
    ConnId server = 77;
    EXPECT_EQ(net::CreateServer(server, 0, 1, KeepConnection, nullptr), net::kThreadStartFailed);
    EXPECT_EQ(server, 0);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);

    std::uint16_t port = 0;
    const int listener = ListenLoopback(port);
    net::RefuseThreadStartsForTest(1);
    ConnId client = 77;
    EXPECT_EQ(net::CreateClient(client, "127.0.0.1", port, OnDisconnect, OnConnect, OnData,
                                kLoopbackConnectTimeout),
              net::kThreadStartFailed);
    EXPECT_EQ(client, 0);
    const int reached = AcceptOne(listener);
    EXPECT_TRUE(PeerClosed(reached));
    RawClose(reached);

    const int peer = ConnectLoopback(port);
    const int adopted = AcceptOne(listener);
    net::RefuseThreadStartsForTest(1);
    std::string address;
    ConnId accepted = 77;
    EXPECT_EQ(net::CreateAccept(adopted, accepted, address, OnDisconnect, OnConnect, OnData),
              net::kThreadStartFailed);
    EXPECT_EQ(accepted, 0);
    EXPECT_TRUE(PeerClosed(peer));
    RawClose(peer);
    RawClose(listener);
    EXPECT_EQ(net::RecordCountForTest(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);

    EXPECT_GT(NewServer(), 0) << "the next creation works again";
    net::StopConnectionLayer();
}

void StopFromHandler(ConnId) {
    net::StopConnectionLayer();
}

TEST_F(Lifecycle, StopCalledFromAHandlerClosesEverythingWithoutDeadlock) {
    const std::size_t threads = ThreadCount();
    net::StartConnectionLayer();
    const ConnId server = NewServer();
    std::uint16_t port = ServerPort(server);
    ConnId client = 0;
    ASSERT_EQ(net::CreateClient(client, "127.0.0.1", port, StopFromHandler, nullptr, nullptr,
                                kLoopbackConnectTimeout),
              net::kNoError);
    ASSERT_EQ(net::Disconnect(client), net::kNoError);
    ASSERT_TRUE(WaitFor([&] { return ThreadCount() == threads; })) << ThreadCount();
    EXPECT_EQ(net::RecordCountForTest(), 0u);
    EXPECT_EQ(ConnectLoopback(port), -1) << "the server was closed too";

    net::StartConnectionLayer();
    EXPECT_GT(NewServer(), 0) << "the layer starts again";
    net::StopConnectionLayer();
}

TEST_F(Lifecycle, StopReturnsWhileAGameThreadIsBlockedSending) {
    net::StartConnectionLayer();
    std::uint16_t port = 0;
    const int listener = ListenLoopback(port);
    ConnId client = 0;
    ASSERT_EQ(net::CreateClient(client, "127.0.0.1", port, nullptr, nullptr, nullptr,
                                kLoopbackConnectTimeout),
              net::kNoError);
    const int peer = AcceptOne(listener);  // never reads
    net::ResultCode result = net::kUnknownError;
    std::thread sender([&] {
        std::uint32_t count = 0;
        result = net::SendData(client, std::string(kFloodBytes, 's'), count);
    });
    ASSERT_TRUE(WaitFor([&] { return QueuedForReading(peer) > 0; }));
    net::StopConnectionLayer();
    sender.join();
    EXPECT_EQ(result, net::kSendError);
    RawClose(peer);
    RawClose(listener);
}

// What every game path that ends the process does: stop the layer from a game thread, then end
// at once without running any destructor.
void StopAndExitWithConnectionsOpen() {
    net::StartConnectionLayer();
    ConnId server = 0;
    net::CreateServer(server, 0, 1, AdoptConnection, nullptr);
    ConnId client = 0;
    net::CreateClient(client, "127.0.0.1", ServerPort(server), OnDisconnect, OnConnect, OnData,
                      kLoopbackConnectTimeout);
    WaitFor([] { return CountOf(Kind::Connect) == 2; });
    std::thread game([] {
        net::StopConnectionLayer();
        std::_Exit(CountOf(Kind::Disconnect) == 2 ? 0 : 3);
    });
    game.join();
}

TEST_F(Lifecycle, StopThenImmediateExitFromAGameThreadEndsWithStatusZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StopAndExitWithConnectionsOpen(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace nettest
