// Handle allocation (order across kinds, wrap, skipped 0 and live handles, no reuse) and the
// result code texts. Sets the counter through the test hook; never waits on the network.

#ifndef _WIN32
#include <unistd.h>
#endif
#include <algorithm>
#include <climits>

#include "net/registry.h"
#include "net/registry_testing.h"
#include "tests/net/support.h"

namespace nettest {
namespace {

using net::ConnId;

TEST(ResultCodeText, GivesEveryDescriptionByteForByte) {
    const std::vector<std::pair<net::ResultCode, std::string>> table = {
        {0, "Unknown error"},
        {-1, "No error"},
        {-2, "Unknown EventID"},
        {-3, "No Socket found in 'V_SOCKET'"},
        {-4, "Can't create socket"},
        {-5, "Can't bind port on socket"},
        {-6, "Can't set socket into listening-mode"},
        {-7, "Socket is already initalized"},
        {-8, "'V_MaxSimConReq' is out of range"},
        {-9, "Port out of range"},
        {-10, "Can't resolve IPA from host"},
        {-11, "Can't connect to remote computer [Timeout?]"},
        {-12, "Connection ID not found"},
        {-13, "Missing pointer of 'V_Event...'"},
        {-14, "IPA already in list"},
        {-15, "IPA is not in list"},
        {-16, "Return error in callback"},
        {-17, "IPA not found"},
        {-18,
         "Error while sending data. Not sure all data transmitted. Maybe connection lost or "
         "disconnected"},
        {-19, "Connection ID is not a server"},
        {-20, "Can't start thread [Connection layer not running?]"},
        {-21, "No IPV6 supportet!"},
        {-22, "Connect cancelled"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(net::ResultCodeText(code), text) << code;
}

TEST(ResultCodeText, UnknownNumbersGetTheFallbackText) {
    for (net::ResultCode code : {5, 1, -23, -100, INT_MIN, INT_MAX}) {
        EXPECT_EQ(net::ResultCodeText(code), "Unknown result code") << code;
    }
}

using Handles = LayerTest;

TEST_F(Handles, CountUpAcrossServersAcceptedConnectionsAndClients) {
    net::SetConnIdCounterForTest(0);
    ConnId server = 0;
    ASSERT_EQ(net::CreateServer(server, 0, 8, AdoptConnection, nullptr), net::kNoError);
    EXPECT_EQ(server, 1);
    const std::uint16_t port = ServerPort(server);

    const int raw = ConnectLoopback(port);
    ASSERT_GE(raw, 0);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::NewConnection, server) == 1; }));
    EXPECT_EQ(AdoptedBy(server, 1), 2);

    std::uint16_t rawPort = 0;
    const int rawListener = ListenLoopback(rawPort);
    ConnId client = 0;
    ASSERT_EQ(net::CreateClient(client, "127.0.0.1", rawPort, nullptr, nullptr, nullptr,
                                kLoopbackConnectTimeout),
              net::kNoError);
    EXPECT_EQ(client, 3);

    // A client of the layer's own server races its accepted end for the next two handles.
    ConnId second = 0;
    ASSERT_EQ(net::CreateClient(second, "127.0.0.1", port, nullptr, nullptr, nullptr,
                                kLoopbackConnectTimeout),
              net::kNoError);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::NewConnection, server) == 2; }));
    EXPECT_EQ(std::min(second, AdoptedBy(server, 2)), 4);
    EXPECT_EQ(std::max(second, AdoptedBy(server, 2)), 5);
    RawClose(raw);
    RawClose(rawListener);
}

TEST_F(Handles, CounterWrapsPastTheLargestHandleAndSkipsZero) {
    net::SetConnIdCounterForTest(INT_MAX - 1);
    EXPECT_EQ(NewServer(), INT_MAX);
    EXPECT_EQ(NewServer(), INT_MIN);
    net::SetConnIdCounterForTest(-1);
    EXPECT_EQ(NewServer(), 1);
}

TEST_F(Handles, HandlesStillInUseAreSkipped) {
    net::SetConnIdCounterForTest(4);
    ASSERT_EQ(NewServer(), 5);
    net::SetConnIdCounterForTest(4);
    EXPECT_EQ(NewServer(), 6);
    // Skipping 0 and a live 1 in one step.
    net::SetConnIdCounterForTest(0);
    ASSERT_EQ(NewServer(), 1);
    net::SetConnIdCounterForTest(-1);
    EXPECT_EQ(NewServer(), 2);
}

TEST_F(Handles, RemovedHandleIsNotHandedOutAgain) {
    const ConnId first = NewServer();
    ASSERT_EQ(net::Disconnect(first), net::kNoError);
    net::WaitClose(first);
    ASSERT_EQ(net::Disconnect(first), net::kConnIdNotFound);
    const ConnId second = NewServer();
    EXPECT_NE(second, first);
    EXPECT_EQ(second, first + 1);
}

}  // namespace
}  // namespace nettest
