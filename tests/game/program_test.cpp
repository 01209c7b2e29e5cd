// The one way out of the program: the connection layer is stopped, so every
// connection's disconnect event is raised, and the exit status is 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "game/match/program.h"
#include "net/net.h"
#include "tests/net/support.h"
#include "tests/support/frame_check.h"

namespace {

constexpr std::uint32_t kConnectTimeoutSeconds = 5;

void SayDisconnected(net::ConnId id) {
    std::fprintf(stderr, "disconnected %d\n", id);
}

void Adopt(net::ConnId, int socket, std::string_view) {
    net::ConnId accepted = 0;
    std::string address;
    net::CreateAccept(socket, accepted, address, SayDisconnected, nullptr, nullptr);
}

TEST(Program, EndingStopsTheConnectionLayerAndExitsWithStatusZero) {
    testing_support::UseFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            net::StartConnectionLayer();
            net::ConnId server = 0;
            net::ConnId client = 0;
            if (net::CreateServer(server, 0, 1, Adopt, nullptr) != net::kNoError) std::_Exit(2);
            if (net::CreateClient(client, "127.0.0.1", nettest::ServerPort(server), SayDisconnected,
                                  nullptr, nullptr, kConnectTimeoutSeconds) != net::kNoError) {
                std::_Exit(3);
            }
            game::EndProgram();
        },
        ::testing::ExitedWithCode(0), "disconnected 2");
}

}  // namespace
