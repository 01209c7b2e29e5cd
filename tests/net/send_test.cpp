// SendData: counts and totals, empty and zero-byte data, unknown and ending handles, a peer
// that has gone, and a Disconnect during a blocked send.

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#include <chrono>
#include <future>
#include <thread>

#include "net/registry.h"
#include "net/registry_testing.h"
#include "net/send_testing.h"
#include "tests/net/support.h"

namespace nettest {
namespace {

using net::ConnId;
constexpr std::uint32_t kPresetCount = 99;
constexpr std::size_t kBigMessageBytes = 100000;
constexpr int kSendAttempts = 200;
constexpr std::chrono::milliseconds kSendRetryPause{5};
constexpr std::chrono::milliseconds kStillBlocked{100};
constexpr std::size_t kSlowReadBytes = 65536;
constexpr std::chrono::microseconds kSlowReadPause{200};

std::uint64_t BytesSent(ConnId id) {
    net::ConnectionRecord record;
    return net::CopyRecordForTest(id, record) ? record.V_BytesSent : ~0ull;
}

std::uint64_t BytesReceived(ConnId id) {
    net::ConnectionRecord record;
    return net::CopyRecordForTest(id, record) ? record.V_BytesReceived : ~0ull;
}

using Sending = LayerTest;

TEST_F(Sending, EmptyDataSucceedsAndSendsNothing) {
    const RawPeer pair = ConnectToRawPeer();
    std::uint32_t count = kPresetCount;
    EXPECT_EQ(net::SendData(pair.client, "", count), net::kNoError);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(BytesSent(pair.client), 0u);
    ASSERT_EQ(net::SendData(pair.client, "x", count), net::kNoError);
    EXPECT_EQ(ReceiveExactly(pair.peer, 1), "x") << "nothing came before the real byte";
    CloseRaw(pair);
}

TEST_F(Sending, BytesArriveWholeAndBothTotalsAreExact) {
    const LoopbackPair pair = ConnectLoopbackPair();
    ASSERT_FALSE(HasFailure());
    const ConnId client = pair.client;
    const ConnId accepted = pair.accepted;

    std::string big(kBigMessageBytes, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 251);
    const std::vector<std::string> messages = {std::string("\0\0zero\0", 7), "SHOT:45", big};
    std::string expected;
    for (const std::string& message : messages) {
        std::uint32_t count = kPresetCount;
        ASSERT_EQ(net::SendData(client, message, count), net::kNoError);
        EXPECT_EQ(count, message.size());
        expected += message;
        EXPECT_EQ(BytesSent(client), expected.size());
    }
    ASSERT_TRUE(WaitFor([&] { return DataOf(accepted).size() == expected.size(); }));
    EXPECT_EQ(DataOf(accepted), expected);
    EXPECT_EQ(BytesReceived(accepted), expected.size());
    EXPECT_EQ(BytesReceived(client), 0u);
    EXPECT_EQ(BytesSent(accepted), 0u);
}

// A connection adopted from a non-blocking socket, where send accepts only what
// fits, and the raw end that reads from it.
struct NonBlockingPair {
    int listener = -1;
    int reader = -1;
    ConnId id = 0;
};

NonBlockingPair AdoptNonBlocking() {
    NonBlockingPair pair;
    std::uint16_t port = 0;
    pair.listener = ListenLoopback(port);
    pair.reader = ConnectLoopback(port);
    const int adopted = AcceptOne(pair.listener);
    if (adopted < 0) return pair;
    SetRawNonBlocking(adopted, true);
    std::string address;
    if (net::CreateAccept(adopted, pair.id, address, OnDisconnect, OnConnect, OnData) !=
        net::kNoError)
        pair.id = 0;
    return pair;
}

// A pattern without a short period: a resend from the wrong place cannot match it.
std::string PatternedBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

TEST_F(Sending, PartialSendsOnANonBlockingSocketGoOnWhereTheyStopped) {
    const NonBlockingPair pair = AdoptNonBlocking();
    ASSERT_GT(pair.id, 0);
    const ConnId id = pair.id;
    const int reader = pair.reader;
    const std::string data = PatternedBytes(kFloodBytes / 8);
    std::uint32_t count = 0;
    auto sending = std::async(std::launch::async, [&] { return net::SendData(id, data, count); });
    // A slow reader keeps the connection full, so send accepts only part each time.
    std::string received;
    char chunk[kSlowReadBytes];
    while (received.size() < data.size()) {
        std::this_thread::sleep_for(kSlowReadPause);
        const long got = RawReceive(reader, chunk, sizeof chunk);
        if (got <= 0) break;
        received.append(chunk, static_cast<std::size_t>(got));
    }
    ASSERT_EQ(sending.get(), net::kNoError);
    EXPECT_EQ(count, data.size());
    ASSERT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data) << "the bytes arrived out of order or repeated";
    RawClose(reader);
    RawClose(pair.listener);
}

// Partial sends on a full connection would let two messages mix if the sends
// of two threads were not kept apart.
TEST_F(Sending, MessagesFromSeveralThreadsReachTheWireWhole) {
    const NonBlockingPair pair = AdoptNonBlocking();
    ASSERT_GT(pair.id, 0);
    const ConnId id = pair.id;
    const int reader = pair.reader;
    const std::size_t size = kFloodBytes / 2;
    const std::string a(size, 'a'), b(size, 'b');
    std::uint32_t countA = 0, countB = 0;
    auto sendA = std::async(std::launch::async, [&] { return net::SendData(id, a, countA); });
    auto sendB = std::async(std::launch::async, [&] { return net::SendData(id, b, countB); });
    std::this_thread::sleep_for(kStillBlocked);  // both sends now wait for room
    const std::string received = ReceiveExactly(reader, 2 * size);
    EXPECT_EQ(sendA.get(), net::kNoError);
    EXPECT_EQ(sendB.get(), net::kNoError);
    ASSERT_EQ(received.size(), 2 * size);
    EXPECT_TRUE(received == a + b || received == b + a) << "the two messages were mixed";
    RawClose(reader);
    RawClose(pair.listener);
}

TEST_F(Sending, UnknownAndEndingHandlesGiveNotFound) {
    std::uint32_t count = kPresetCount;
    EXPECT_EQ(net::SendData(424242, "x", count), net::kConnIdNotFound);
    EXPECT_EQ(count, 0u);

    const RawPeer pair = ConnectToRawPeer();
    Hold(Kind::Disconnect);
    ASSERT_EQ(net::Disconnect(pair.client), net::kNoError);
    count = kPresetCount;
    EXPECT_EQ(net::SendData(pair.client, "x", count), net::kConnIdNotFound);
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect, pair.client) == 1; }));
    EXPECT_EQ(net::SendData(pair.client, "x", count), net::kConnIdNotFound) << "still listed";
    Release(Kind::Disconnect);
    net::WaitClose(pair.client);
    EXPECT_EQ(net::SendData(pair.client, "x", count), net::kConnIdNotFound) << "removed";
    CloseRaw(pair);
}

TEST_F(Sending, WritingToAPeerThatHasGoneNeverEndsTheProcess) {
    Hold(Kind::Connect);  // keeps the worker from noticing the peer's end by itself
    RawPeer pair = ConnectToRawPeer();
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Connect, pair.client) == 1; }));
    RawClose(pair.peer);
    pair.peer = -1;

    std::vector<net::ResultCode> results;
    std::uint32_t count = 0;
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        results.push_back(net::SendData(pair.client, "SHOT:12", count));
        if (results.back() != net::kNoError) break;
        std::this_thread::sleep_for(kSendRetryPause);
    }
    ASSERT_GE(results.size(), 2u);
    EXPECT_EQ(results.front(), net::kNoError) << "the system took the first bytes";
    EXPECT_EQ(results.back(), net::kSendError);
    EXPECT_EQ(count, 0u);

    Release(Kind::Connect);
    ASSERT_TRUE(
        WaitFor([&] { return net::SendData(pair.client, "x", count) == net::kConnIdNotFound; }));
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect, pair.client) == 1; }));
    CloseRaw(pair);
}

// The limit is shortened here; the game's own is half a minute. The send must end by that limit
// well before the system's own dead-peer time (also about half a minute) could end it.
TEST_F(Sending, APeerThatStopsReadingIsTakenForLostAfterTheStallLimit) {
    constexpr int kShortStallMs = 2000;
    constexpr std::chrono::seconds kLongBeforeTheSystemGivesUp{15};
    const RawPeer pair = ConnectToRawPeer();  // the peer never reads
    const std::string flood(kFloodBytes, 'f');
    std::uint32_t count = 0;
    net::SetSendStallForTest(kShortStallMs);
    auto sending =
        std::async(std::launch::async, [&] { return net::SendData(pair.client, flood, count); });
    EXPECT_EQ(sending.wait_for(kLongBeforeTheSystemGivesUp), std::future_status::ready);
    EXPECT_EQ(sending.get(), net::kSendError);
    net::SetSendStallForTest(0);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, flood.size());
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect, pair.client) == 1; }));
    EXPECT_EQ(net::SendData(pair.client, "x", count), net::kConnIdNotFound);
    CloseRaw(pair);
}

TEST_F(Sending, DisconnectDuringABlockedSendMakesItFail) {
    const RawPeer pair = ConnectToRawPeer();  // the peer never reads
    Hold(Kind::Disconnect);
    const std::string flood(kFloodBytes, 'f');
    std::uint32_t count = 0;
    auto sending =
        std::async(std::launch::async, [&] { return net::SendData(pair.client, flood, count); });
    ASSERT_TRUE(WaitFor([&] { return QueuedForReading(pair.peer) > 0; }));
    ASSERT_EQ(sending.wait_for(kStillBlocked), std::future_status::timeout)
        << "the send is blocked on a full connection";
    ASSERT_EQ(net::Disconnect(pair.client), net::kNoError);
    ASSERT_EQ(sending.wait_for(std::chrono::duration<double>(kEventWaitSeconds)),
              std::future_status::ready);
    EXPECT_EQ(sending.get(), net::kSendError);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, flood.size());
    EXPECT_EQ(BytesSent(pair.client), count);
    Release(Kind::Disconnect);
    CloseRaw(pair);
}

}  // namespace
}  // namespace nettest
