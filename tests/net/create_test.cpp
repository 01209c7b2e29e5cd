// CreateServer, CreateClient and CreateAccept: each failure in its order, what a failure leaves
// behind, the connect time-out, and the records they fill.

#ifndef _WIN32
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#include <chrono>
#include <thread>

#include "net/name_cache.h"
#include "net/name_cache_testing.h"
#include "net/registry.h"
#include "net/registry_testing.h"
#include "net/sockets.h"
#include "tests/net/support.h"

namespace nettest {
namespace {

using net::ConnId;
constexpr ConnId kPreset = 77;
// For texts refused before any connect: the port and time-out are never used.
constexpr std::uint16_t kUnusedPort = 1;
constexpr std::uint32_t kUnusedTimeout = 1;
constexpr std::uint32_t kShortTimeout = 1;
constexpr std::uint32_t kLongTimeout = 30;
constexpr std::chrono::milliseconds kListenerDelay{300};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

net::ResultCode Client(ConnId& id, std::string_view host, std::uint16_t port,
                       std::uint32_t timeout) {
    id = kPreset;
    return net::CreateClient(id, host, port, OnDisconnect, OnConnect, OnData, timeout);
}

net::ResultCode Server(ConnId& id, std::uint16_t port, std::uint16_t backlog,
                       net::NewConnectionHandler handler) {
    id = kPreset;
    return net::CreateServer(id, port, backlog, handler, nullptr);
}

#ifndef _WIN32
// Lowers the descriptor limit so that no further descriptor can be created, until destroyed.
// Windows has no such limit to lower.
struct DescriptorsExhausted {
    rlimit saved{};
    DescriptorsExhausted() {
        getrlimit(RLIMIT_NOFILE, &saved);
        const int lowestFree = fcntl(0, F_DUPFD, 0);
        RawClose(lowestFree);
        rlimit lowered = saved;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorsExhausted() { setrlimit(RLIMIT_NOFILE, &saved); }
};
#endif

using Creation = LayerTest;

TEST_F(Creation, ServerBacklogLimitsAreCheckedBeforeTheHandler) {
    ConnId id = 0;
    EXPECT_EQ(Server(id, 0, 0, nullptr), net::kMaxSimConReqOutOfRange);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(Server(id, 0, 0, KeepConnection), net::kMaxSimConReqOutOfRange);
    EXPECT_EQ(Server(id, 0, 4097, KeepConnection), net::kMaxSimConReqOutOfRange);
    EXPECT_EQ(Server(id, 0, 1, nullptr), net::kMissingEventHandler);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(net::RecordCountForTest(), 0u);
    EXPECT_EQ(Server(id, 0, 1, KeepConnection), net::kNoError);
    EXPECT_EQ(Server(id, 0, 4096, KeepConnection), net::kNoError);
    EXPECT_EQ(net::RecordCountForTest(), 2u);
}

TEST_F(Creation, ServerOnABoundPortFailsAndLeavesNothing) {
    const ConnId first = NewServer();
    const std::uint16_t port = ServerPort(first);
    const std::size_t descriptors = OpenDescriptorCount();
    ConnId second = 0;
    EXPECT_EQ(Server(second, port, 1, KeepConnection), net::kCannotBindPort);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(net::RecordCountForTest(), 1u);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

#ifndef _WIN32
TEST_F(Creation, SocketThatCannotBeCreatedIsReported) {
    std::uint32_t address = 0;
    ASSERT_EQ(net::ResolveHost("127.0.0.1", address), net::kNoError);
    ConnId server = 0;
    ConnId client = 0;
    {
        DescriptorsExhausted exhausted;
        EXPECT_EQ(Server(server, 0, 1, KeepConnection), net::kCannotCreateSocket);
        EXPECT_EQ(Client(client, "127.0.0.1", kUnusedPort, kUnusedTimeout),
                  net::kCannotCreateSocket);
    }
    EXPECT_EQ(server, 0);
    EXPECT_EQ(client, 0);
    EXPECT_EQ(net::RecordCountForTest(), 0u);
}
#endif

TEST_F(Creation, ClientRefusesEmptyAndColonTextsWithoutLookup) {
    const net::NameCacheStats before = net::NameCacheStatsForTest();
    ConnId id = 0;
    EXPECT_EQ(Client(id, "", kUnusedPort, kUnusedTimeout), net::kIpaNotFound);
    EXPECT_EQ(id, 0);
    for (std::string_view host : {"::1", "127.0.0.1:9000", "[::1]", ":", "localhost:"}) {
        EXPECT_EQ(Client(id, host, kUnusedPort, kUnusedTimeout), net::kNoIpv6) << host;
        EXPECT_EQ(id, 0);
    }
    const net::NameCacheStats after = net::NameCacheStatsForTest();
    EXPECT_EQ(after.freshResolutions, before.freshResolutions);
    EXPECT_EQ(after.entries, before.entries);
}

TEST_F(Creation, ClientReportsUnresolvableHosts) {
    ConnId id = 0;
    EXPECT_EQ(Client(id, "255.255.255.255", kUnusedPort, kUnusedTimeout), net::kCannotResolveHost);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(Client(id, "no such host", kUnusedPort, kUnusedTimeout), net::kCannotResolveHost);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(net::RecordCountForTest(), 0u);
}

TEST_F(Creation, ClientTimesOutAgainstAClosedPortAfterTheTimeOut) {
    std::uint16_t port = 0;
    const int bound = BindLoopback(port);  // keeps the port taken, but nothing listens
    ASSERT_GE(bound, 0);
    const std::size_t descriptors = OpenDescriptorCount();
    ConnId id = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Client(id, "127.0.0.1", port, kShortTimeout), net::kConnectTimeout);
    const double elapsed = SecondsSince(start);
    EXPECT_GE(elapsed, kShortTimeout);
    EXPECT_LT(elapsed, kEventWaitSeconds);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(net::RecordCountForTest(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    RawClose(bound);
}

TEST_F(Creation, ClientWithZeroTimeOutGivesUpAtOnce) {
    std::uint16_t port = 0;
    const int bound = BindLoopback(port);
    ASSERT_GE(bound, 0);
    ConnId id = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Client(id, "127.0.0.1", port, 0), net::kConnectTimeout);
    EXPECT_LT(SecondsSince(start), kEventWaitSeconds);
    RawClose(bound);
}

TEST_F(Creation, ClientReachesAListenerThatStartsBeforeTheDeadline) {
    std::uint16_t port = 0;
    const int listener = BindLoopback(port);
    ASSERT_GE(listener, 0);
    std::thread late([listener] {
        std::this_thread::sleep_for(kListenerDelay);
        RawListen(listener);
    });
    ConnId id = 0;
    const auto start = std::chrono::steady_clock::now();
    const net::ResultCode result = Client(id, "127.0.0.1", port, kLongTimeout);
    late.join();
    ASSERT_EQ(result, net::kNoError);
    EXPECT_GE(SecondsSince(start), std::chrono::duration<double>(kListenerDelay).count());
    EXPECT_GT(id, 0);
    const int accepted = AcceptOne(listener);
    EXPECT_GE(accepted, 0);

    net::ConnectionRecord record;
    ASSERT_TRUE(net::CopyRecordForTest(id, record));
    EXPECT_EQ(record.V_IPA, "127.0.0.1");
    EXPECT_EQ(record.V_Port, port);
    EXPECT_EQ(record.V_IsServer, 0);
    EXPECT_EQ(record.V_Protocol, 0);
#ifndef _WIN32
    // Windows sockets stay non-blocking once connected: sends must not wait there either.
    EXPECT_EQ(fcntl(record.V_SOCKET, F_GETFL) & O_NONBLOCK, 0) << "back in blocking mode";
#endif
    RawClose(accepted);
    RawClose(listener);
}

TEST_F(Creation, ClientKeepsTheHostTextAsPassed) {
    std::uint16_t port = 0;
    const int listener = ListenLoopback(port);
    ConnId id = 0;
    ASSERT_EQ(Client(id, "localhost", port, kLoopbackConnectTimeout), net::kNoError);
    net::ConnectionRecord record;
    ASSERT_TRUE(net::CopyRecordForTest(id, record));
    EXPECT_EQ(record.V_IPA, "localhost");
    RawClose(listener);
}

TEST_F(Creation, ServerRecordHoldsItsOwnFields) {
    ConnId id = 0;
    ASSERT_EQ(Server(id, 0, 3, KeepConnection), net::kNoError);
    net::ConnectionRecord record;
    ASSERT_TRUE(net::CopyRecordForTest(id, record));
    EXPECT_EQ(record.V_IPA, "");
    EXPECT_EQ(record.V_Port, 0) << "port 0 stays 0 in the record";
    EXPECT_EQ(record.V_IsServer, 1);
    EXPECT_EQ(record.V_EventNewConnection, &KeepConnection);
    EXPECT_EQ(record.V_EventConnect, nullptr);
    EXPECT_EQ(record.V_EventDisconnect, nullptr);
    EXPECT_NE(ServerPort(id), 0);
}

TEST_F(Creation, AcceptTakesThePeerAddressAndKeepsTheBlockingMode) {
    std::uint16_t port = 0;
    const int listener = ListenLoopback(port);
    const int peer = ConnectLoopback(port);
    const int accepted = AcceptOne(listener);
    ASSERT_GE(accepted, 0);
    SetRawNonBlocking(accepted, true);

    std::string address = "caller's text";
    ConnId id = kPreset;
    ASSERT_EQ(net::CreateAccept(accepted, id, address, OnDisconnect, OnConnect, OnData),
              net::kNoError);
    EXPECT_EQ(address, "127.0.0.1");
#ifndef _WIN32
    EXPECT_NE(fcntl(accepted, F_GETFL) & O_NONBLOCK, 0);
#endif
    net::ConnectionRecord record;
    ASSERT_TRUE(net::CopyRecordForTest(id, record));
    EXPECT_EQ(record.V_IPA, "127.0.0.1");
    EXPECT_EQ(record.V_Port, 0);

    // A non-blocking socket wakes its worker with nothing to read now and then; that must not
    // end the connection.
    ASSERT_EQ(RawSend(peer, "abc"), 3);
    ASSERT_TRUE(WaitFor([&] { return DataOf(id) == "abc"; }));
    EXPECT_EQ(CountOf(Kind::Disconnect, id), 0);
    RawClose(peer);
    RawClose(listener);
}

TEST_F(Creation, ClientAndAcceptedConnectionsSendSmallMessagesWithoutDelay) {
    const LoopbackPair pair = ConnectLoopbackPair();
    ASSERT_FALSE(HasFailure());
    net::ConnectionRecord client, accepted;
    ASSERT_TRUE(net::CopyRecordForTest(pair.client, client));
    ASSERT_TRUE(net::CopyRecordForTest(pair.accepted, accepted));
    EXPECT_TRUE(SendsWithoutDelay(client.V_OwnedSocket->descriptor));
    EXPECT_TRUE(SendsWithoutDelay(accepted.V_OwnedSocket->descriptor));
}

TEST_F(Creation, AcceptOfAnUnconnectedSocketKeepsTheCallersText) {
    const int unconnected = RawSocket();
    std::string address = "caller's text";
    ConnId id = 0;
    ASSERT_EQ(net::CreateAccept(unconnected, id, address, OnDisconnect, OnConnect, OnData),
              net::kNoError);
    EXPECT_EQ(address, "caller's text");
    // Nothing can be received on it, so the worker ends and the connection goes.
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect, id) == 1; }));
}

#ifndef _WIN32
// A socket connected to its own port: Linux makes it from a simultaneous open.
TEST(SelfConnection, IsRecognisedAndTellsApartAnOrdinaryConnection) {
    std::uint16_t port = 0;
    const int self = BindLoopback(port);
    ASSERT_GE(self, 0);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    own.sin_port = htons(port);
    own.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(self, reinterpret_cast<const sockaddr*>(&own), sizeof own), 0);
    EXPECT_TRUE(net::IsSelfConnected(self));

    std::uint16_t listenPort = 0;
    const int listener = ListenLoopback(listenPort);
    const int ordinary = ConnectLoopback(listenPort);
    EXPECT_FALSE(net::IsSelfConnected(ordinary));
    EXPECT_FALSE(net::IsSelfConnected(listener));
    RawClose(self);
    RawClose(ordinary);
    RawClose(listener);
}
#endif

}  // namespace
}  // namespace nettest
