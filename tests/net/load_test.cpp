// Many short connections against one server: every event exactly once, and no descriptor or
// thread left over afterwards.
#include <set>

#include "tests/net/support.h"

namespace nettest {
namespace {

using net::ConnId;
constexpr int kCycles = 1000;

using Load = LayerTest;

TEST_F(Load, ThousandCyclesOfConnectSendDisconnectLeaveNothingBehind) {
    const std::size_t descriptors = OpenDescriptorCount();
    const std::size_t threads = ThreadCount();
    ConnId server = 0;
    ASSERT_EQ(net::CreateServer(server, 0, 64, AdoptConnection, nullptr), net::kNoError);
    const std::uint16_t port = ServerPort(server);

    std::vector<ConnId> clients;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ConnId client = 0;
        ASSERT_EQ(net::CreateClient(client, "127.0.0.1", port, OnDisconnect, OnConnect, OnData,
                                    kLoopbackConnectTimeout),
                  net::kNoError);
        clients.push_back(client);
        std::uint32_t count = 0;
        const std::string message = "cycle " + std::to_string(cycle);
        ASSERT_EQ(net::SendData(client, message, count), net::kNoError);
        ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Data) == cycle + 1; }));
        ASSERT_EQ(net::Disconnect(client), net::kNoError);
        ASSERT_TRUE(WaitFor([&] { return CountOf(Kind::Disconnect) == 2 * (cycle + 1); }));
    }

    std::set<ConnId> accepted;
    for (const Event& event : EventsOf(server)) {
        if (event.kind == Kind::NewConnection) accepted.insert(event.adopted);
    }
    ASSERT_EQ(accepted.size(), static_cast<std::size_t>(kCycles));
    for (ConnId id : clients) {
        EXPECT_EQ(CountOf(Kind::Connect, id), 1) << id;
        EXPECT_EQ(CountOf(Kind::Disconnect, id), 1) << id;
        EXPECT_FALSE(accepted.count(id)) << id;
    }
    int cycle = 0;
    for (ConnId id : accepted) {
        EXPECT_EQ(CountOf(Kind::Connect, id), 1) << id;
        EXPECT_EQ(CountOf(Kind::Disconnect, id), 1) << id;
        EXPECT_EQ(DataOf(id), "cycle " + std::to_string(cycle++)) << id;
    }

    ASSERT_EQ(net::Disconnect(server), net::kNoError);
    net::WaitClose(server);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    // A joined thread can linger in the task list for a moment.
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() == threads; })) << ThreadCount();
}

}  // namespace
}  // namespace nettest
