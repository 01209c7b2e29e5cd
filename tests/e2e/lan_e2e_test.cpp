// Finding a game on a LAN and leaving a lost one: two network namespaces joined by a veth pair
// stand for two machines. A waiting server is found by a lobby on the other machine and joined
// with one click; a lost connection leads back to the lobby with Escape on either side; a flood
// of datagrams lists nothing but well-formed announcements and costs the lobby no memory.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/expected_screen.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr char kLanPair[] = MAREVANT_LAN_PAIR;
constexpr char kBroadcast[] = "10.78.0.255";
constexpr char kFound[] = "Server gefunden: 10.78.0.1";
constexpr char kBackHint[] =
    "Zur\x81"
    "ck zur Lobby mit ESC";
// A server announces itself at once and then every second; a lobby lists it within
// milliseconds (bench_match measures it). The bound is wide for a loaded machine.
constexpr int kFoundTimeoutMs = kFrameTimeoutMs;
constexpr int kFloodSenders = 100;
constexpr int kFloodDatagrams = 10000;
constexpr long kFlatKiB = 4096;

std::string Announcement(std::uint32_t instance) {
    std::string bytes = "MRVNT-LAN\x01";
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += static_cast<char>(instance >> shift & 0xFF);
    return bytes;
}

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    }
    return -1;
}

class Lan : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(MakeLan(0)); }
    void TearDown() override {
        EndSession(server);
        EndSession(client);
        for (int fd : namespaces)
            if (fd >= 0) close(fd);
        RunLanPair("down", 0);
    }

    bool RunLanPair(const char* command, int extra) {
        const std::string line = std::string(kLanPair) + " " + command + " " + name + " " +
                                 std::to_string(extra) + " >/dev/null 2>&1";
        return std::system(line.c_str()) == 0;
    }

    bool MakeLan(int extra) {
        if (!RunLanPair("up", extra)) return false;
        for (int side = 0; side < 2; ++side) {
            const std::string path = "/var/run/netns/" + name + (side == 0 ? "-a" : "-b");
            namespaces[side] = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        server.networkNamespaceFd = namespaces[0];
        client.networkNamespaceFd = namespaces[1];
        return namespaces[0] >= 0 && namespaces[1] >= 0;
    }

    void Shows(Session& s, Frame& last, const FrameCheck& check, const std::string& what,
               int timeoutMs = kAnswerTimeoutMs) {
        EXPECT_TRUE(WaitForFrame(s, check, timeoutMs, last)) << "never showed " << what;
    }

    // The lobby of `s` lists the server; a click on its line connects to it.
    void FindAndJoin() {
        Shows(
            client, clientLast, [](const Frame& f) { return LastLogLineShows(f, kFound); },
            "the server found", kFoundTimeoutMs);
        constexpr int kNewestRow = 8;  // the log's last row holds its newest line
        ASSERT_TRUE(MovePointer(client, 200, LogRowMiddleY(kNewestRow)) &&
                    PressButton(client, Button::kLeft) && ReleaseButton(client, Button::kLeft));
        ASSERT_TRUE(AwaitConnection(server, '1', serverLast) &&
                    AwaitConnection(client, '2', clientLast));
    }

    // After the opponent is gone: the hint, then Escape brings the lobby as it was at start-up.
    void BackToTheLobby(Session& s, Frame& last) {
        Shows(s, last, Disconnected, "the lost connection");
        Shows(
            s, last, [](const Frame& f) { return LogShows(f, kBackHint); }, "the way back");
        ASSERT_TRUE(PressNamedKey(s, "Escape"));
        const Frame lobby = ExpectedLobby();
        Shows(
            s, last, [&](const Frame& f) { return SameOutsideLog(f, lobby); },
            "the lobby as at start-up");
    }

    void StartServer() {
        server = Session{};
        server.networkNamespaceFd = namespaces[0];
        ASSERT_TRUE(StartSession(server, kGameBinary)) << "no window of the server";
        ASSERT_TRUE(StartServerGame(server, serverLast)) << "the server did not start";
    }

    std::string name = "mvlan" + std::to_string(getpid());
    int namespaces[2] = {-1, -1};
    Session server;
    Session client;
    Frame serverLast;
    Frame clientLast;
};

// Found and joined with one click, lost, left with Escape, found again and played; then the
// server's side of a lost opponent.
TEST_F(Lan, AServerIsFoundJoinedLostLeftAndFoundAgainAndEitherSideFindsItsWayBack) {
    ASSERT_TRUE(StartSession(client, kGameBinary));
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(FindAndJoin());
    EndSession(server);
    ASSERT_NO_FATAL_FAILURE(BackToTheLobby(client, clientLast));

    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(FindAndJoin());
    ASSERT_TRUE(PlaceFleet(server, kServerFleet, serverLast) &&
                PlaceFleet(client, kClientFleet, clientLast));
    const auto water = WaterOf(kServerFleet);
    ASSERT_TRUE(FireAt(client, water[0].first, water[0].second, false, clientLast));
    ASSERT_TRUE(SendCloseRequest(client));
    EXPECT_EQ(0, WaitForGameExit(client, kExitTimeoutMs));
    ASSERT_NO_FATAL_FAILURE(BackToTheLobby(server, serverLast));
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

// Sends from `senders` addresses of side a: random datagrams and announcements, broadcast and
// straight to the lobby.
void Flood() {
    std::mt19937 random(20261210);
    std::vector<int> sockets;
    for (int i = 0; i < kFloodSenders; ++i) {
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, ("10.78.0." + std::to_string(100 + i)).c_str(), &from.sin_addr);
        bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from);
        sockets.push_back(s);
    }
    for (int i = 0; i < kFloodDatagrams; ++i) {
        std::string bytes = Announcement(static_cast<std::uint32_t>(random()));
        if (i % 2 == 0) {
            bytes.assign(random() % 1500, '\0');
            for (char& b : bytes)
                b = static_cast<char>(random());
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kGamePort);
        inet_pton(AF_INET, i % 3 == 0 ? "10.78.0.2" : kBroadcast, &to.sin_addr);
        sendto(sockets[random() % sockets.size()], bytes.data(), bytes.size(), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    for (int s : sockets)
        close(s);
}

// More servers were found than the log has rows: every row is one of them, from side a's
// flood addresses (10.78.0.100 to 10.78.0.199), and nothing else of the flood shows.
bool OnlyFoundLines(const Frame& f) {
    for (int row = 0; row < 9; ++row) {
        if (!TextShows(f, 127, LogRowMiddleY(row) - 4, "Server gefunden: 10.78.0.1", kBlackPixel,
                       kWhitePixel)) {
            return false;
        }
    }
    return true;
}

TEST_F(Lan, AFloodOfDatagramsListsOnlyAnnouncersAndLeavesTheLobbyAsItWas) {
    RunLanPair("down", 0);
    ASSERT_TRUE(MakeLan(kFloodSenders));
    ASSERT_TRUE(StartSession(client, kGameBinary));
    Shows(client, clientLast, InLobby, "the lobby");
    const long before = ResidentKiB(client.game);
    std::thread sender([this] {
        if (setns(namespaces[0], CLONE_NEWNET) == 0) Flood();
    });
    sender.join();
    Shows(
        client, clientLast,
        [](const Frame& f) { return LastLogLineShows(f, "Server gefunden: 10.78.0."); },
        "servers of the flood");
    const long after = ResidentKiB(client.game);
    EXPECT_LT(after - before, kFlatKiB) << before << " KiB before, " << after << " after";
    ASSERT_TRUE(ReadFrame(client, clientLast));
    EXPECT_TRUE(OnlyFoundLines(clientLast));
    // The lobby still answers at once: "KI" starts the match against the computer.
    ASSERT_TRUE(StartComputerGame(client, clientLast));
    ASSERT_TRUE(SendCloseRequest(client));
    EXPECT_EQ(0, WaitForGameExit(client, kExitTimeoutMs));
}

}  // namespace
}  // namespace e2e
