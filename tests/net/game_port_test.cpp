// The layer used the way the game uses it: a server on the fixed port 9000 that adopts the
// first connection, and a client with the 60-second time-out. Runs in its own network
// namespace where possible (see tools/netns-run.sh), else one test at a time.

#ifndef _WIN32
#include <unistd.h>
#endif
#include "tests/net/support.h"

namespace nettest {
namespace {

using net::ConnId;
constexpr std::uint16_t kGamePort = 9000;
constexpr std::uint16_t kGameBacklog = 1;
constexpr std::uint32_t kGameConnectTimeoutSeconds = 60;

struct Match {
    ConnId server = 0;
    ConnId client = 0;
    ConnId accepted = 0;
};

// Without a server there is nothing to connect to, and the client would wait its full minute.
Match OpenMatch() {
    Match match;
    const net::ResultCode served =
        net::CreateServer(match.server, kGamePort, kGameBacklog, AdoptConnection, nullptr);
    EXPECT_EQ(served, net::kNoError) << "port 9000 is taken";
    if (served != net::kNoError) return match;
    EXPECT_EQ(net::CreateClient(match.client, "127.0.0.1", kGamePort, OnDisconnect, OnConnect,
                                OnData, kGameConnectTimeoutSeconds),
              net::kNoError);
    EXPECT_TRUE(WaitFor([&] { return CountOf(Kind::NewConnection, match.server) == 1; }));
    match.accepted = AdoptedBy(match.server, 1);
    EXPECT_GT(match.accepted, 0);
    return match;
}

using GamePort = LayerTest;

TEST_F(GamePort, TwoSidesConnectAndTalkOnTheFixedPort) {
    const Match match = OpenMatch();
    ASSERT_GT(match.accepted, 0);
    EXPECT_EQ(EventsOf(match.server).front().data, "127.0.0.1");
    std::uint32_t count = 0;
    ASSERT_EQ(net::SendData(match.client, "SYST:R", count), net::kNoError);
    ASSERT_EQ(net::SendData(match.accepted, "SHOT:37", count), net::kNoError);
    ASSERT_TRUE(WaitFor(
        [&] { return DataOf(match.accepted) == "SYST:R" && DataOf(match.client) == "SHOT:37"; }));

    ConnId second = 0;
    EXPECT_EQ(net::CreateServer(second, kGamePort, kGameBacklog, AdoptConnection, nullptr),
              net::kCannotBindPort);
    EXPECT_EQ(second, 0);

    ASSERT_EQ(net::Disconnect(match.client), net::kNoError);
    ASSERT_TRUE(WaitFor([&] {
        return CountOf(Kind::Disconnect, match.client) == 1 &&
               CountOf(Kind::Disconnect, match.accepted) == 1;
    }));
    ASSERT_EQ(net::Disconnect(match.server), net::kNoError);
    net::WaitClose(match.server);
    // The client closed first, so no closed connection holds the port: it can be bound again.
    ConnId again = 0;
    EXPECT_EQ(net::CreateServer(again, kGamePort, kGameBacklog, AdoptConnection, nullptr),
              net::kNoError);
}

TEST_F(GamePort, PortCanBeBoundAgainRightAfterTheServerSideClosedFirst) {
    const Match match = OpenMatch();
    ASSERT_GT(match.accepted, 0);
    ASSERT_EQ(net::Disconnect(match.accepted), net::kNoError);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect) == 2; }));
    ASSERT_EQ(net::Disconnect(match.server), net::kNoError);
    net::WaitClose(match.server);
    // The connection that ended on the port lingers, but the listener asks for address reuse:
    // a server restarted at once does not fail for a minute.
    ConnId again = 0;
    EXPECT_EQ(net::CreateServer(again, kGamePort, kGameBacklog, AdoptConnection, nullptr),
              net::kNoError);
}

}  // namespace
}  // namespace nettest
