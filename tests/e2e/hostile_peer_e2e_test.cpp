// End-to-end tests of the real program against peers that vanish, stop
// reading or storm the port: raw sockets in the test's private network
// namespace. After each the program must show the lost connection, take the
// next client, stay playable and end with status 0.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/raw_peer.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr int kStormClients = 1000;
constexpr int kSettleTimeoutMs = 10000;
constexpr int kStallTimeoutMs = 50000;  // the buffers filling first, then the stall limit
constexpr std::size_t kBigFileBytes = 4 << 20;

std::size_t Entries(const fs::path& directory) {
    std::error_code error;
    std::size_t count = 0;
    for (auto it = fs::directory_iterator(directory, error);
         !error && it != fs::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

std::string Digits(int column, int row) {
    return {static_cast<char>('0' + column - 1), static_cast<char>('0' + row - 1)};
}

class HostilePeer : public ::testing::Test {
   protected:
    void SetUp() override {
        server.directory = MakeScratchDirectory();
        ASSERT_FALSE(server.directory.empty());
    }
    void TearDown() override {
        EndSession(server);
        CloseRaw(raw);
        fs::remove_all(server.directory);
    }

    void Expect(const FrameCheck& check, const char* what) {
        EXPECT_TRUE(WaitForFrame(server, check, kAnswerTimeoutMs, last)) << "never showed " << what;
    }

    void StartServer() {
        ASSERT_TRUE(StartSession(server, kGameBinary));
        ASSERT_TRUE(StartServerGame(server, last));
    }

    // A new raw client, met by placement on the server.
    void Join() {
        raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
        ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
        ASSERT_GE(raw, 0);
        ASSERT_TRUE(AwaitConnection(server, '1', last)) << "the next client was not taken";
    }

    void PlaceServerFleet() {
        ASSERT_TRUE(PlaceFleet(server, kServerFleet, last));
        EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:R");
    }

    // The peer fires; the server must answer.
    void PeerFires(int column, int row, bool hit) {
        ASSERT_TRUE(SendRaw(raw, "SHOT:" + Digits(column, row)));
        EXPECT_EQ(ReadRaw(raw, 8, kAnswerTimeoutMs),
                  std::string(hit ? "SYST:H" : "SYST:W") + Digits(column, row));
    }

    // The server fires at a cell; the peer answers water unless `answer` is false.
    void ServerFires(int column, int row, bool answer) {
        ASSERT_TRUE(MovePointer(server, CellCentre(column), CellCentre(row)) &&
                    PressButton(server, Button::kLeft));
        const std::string shot = ReadRaw(raw, 7, kAnswerTimeoutMs);
        ASSERT_TRUE(ReleaseButton(server, Button::kLeft));
        ASSERT_EQ(shot, "SHOT:" + Digits(column, row));
        if (answer) {
            ASSERT_TRUE(SendRaw(raw, "SYST:W" + Digits(column, row)));
            Expect([=](const Frame& f) { return BigCellIs(f, column, row, kBluePixel); },
                   "the answer");
        }
    }

    void ReachPlacement() {}
    void ReachWaitForReady() { PlaceServerFleet(); }
    void ReachUnansweredShot() {
        ASSERT_NO_FATAL_FAILURE(PlaceServerFleet());
        ASSERT_TRUE(SendRaw(raw, "SYST:R"));
        ASSERT_NO_FATAL_FAILURE(PeerFires(10, 10, false));
        ASSERT_NO_FATAL_FAILURE(ServerFires(1, 1, false));
    }
    // The peer sinks the whole fleet; the server answers every shot and fires back.
    void ReachResultPause() {
        ASSERT_NO_FATAL_FAILURE(PlaceServerFleet());
        ASSERT_TRUE(SendRaw(raw, "SYST:R"));
        const auto targets = FleetCells(kServerFleet);
        for (std::size_t i = 0; i < targets.size(); ++i) {
            ASSERT_NO_FATAL_FAILURE(PeerFires(targets[i].first, targets[i].second, true));
            if (i + 1 < targets.size()) {
                ASSERT_NO_FATAL_FAILURE(ServerFires(1 + i % 10, 1 + i / 10, true));
            }
        }
        Expect([](const Frame& f) { return ResultShows(f, false); }, "Verloren");
    }
    void ReachFileHalfway() {
        ASSERT_TRUE(SendRaw(raw, "DATA:halb.bin?100000"));
        Expect([](const Frame& f) { return LogShows(f, "j/n"); }, "the offer");
        ASSERT_TRUE(SendInputLine(server, "j", last));
        EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:j");
        ASSERT_TRUE(SendRaw(raw, std::string(6144, 'h')));
    }

    Session server;
    Frame last;
    int raw = -1;
};

// Each phase twice, the peer closing in order and resetting; one server takes
// every next client.
TEST_F(HostilePeer, APeerThatVanishesInAnyPhaseLeavesTheServerReadyForTheNext) {
    struct Phase {
        const char* what;
        std::function<void()> reach;
    };
    const Phase phases[] = {
        {"during placement", [this] { ReachPlacement(); }},
        {"before its Ready", [this] { ReachWaitForReady(); }},
        {"with the server's shot unanswered", [this] { ReachUnansweredShot(); }},
        {"during the result pause", [this] { ReachResultPause(); }},
        {"in the middle of a file", [this] { ReachFileHalfway(); }},
    };
    ASSERT_NO_FATAL_FAILURE(StartServer());
    for (const Phase& phase : phases) {
        for (const bool reset : {false, true}) {
            SCOPED_TRACE(std::string(phase.what) + (reset ? ", reset" : ", closed"));
            ASSERT_NO_FATAL_FAILURE(Join());
            ASSERT_NO_FATAL_FAILURE(phase.reach());
            reset ? ResetRaw(raw) : CloseRaw(raw);
            Expect(Disconnected, "the lost connection");
        }
    }
    ASSERT_NO_FATAL_FAILURE(Join());
    ASSERT_NO_FATAL_FAILURE(PlaceServerFleet());
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

// The peer takes the offer and then reads nothing more: the send gives up,
// the connection counts as lost, and the game never stops answering meanwhile.
TEST_F(HostilePeer, APeerThatStopsReadingCannotFreezeTheGame) {
    std::ofstream(fs::path(server.directory) / "gross.bin", std::ios::binary)
        << std::string(kBigFileBytes, 'g');
    ASSERT_NO_FATAL_FAILURE(StartServer());
    raw = ConnectRawPeerWithSmallBuffer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_TRUE(AwaitConnection(server, '1', last));
    ASSERT_TRUE(SendInputLine(server, "sendfile gross.bin", last));
    const std::string offer = "DATA:gross.bin?" + std::to_string(kBigFileBytes);
    ASSERT_EQ(ReadRaw(raw, offer.size(), kAnswerTimeoutMs), offer);
    ASSERT_TRUE(SendRaw(raw, "SYST:j"));
    // While the chunks pile up unread, the player can still place ships.
    ASSERT_TRUE(PlaceFleet(server, kServerFleet, last));
    EXPECT_TRUE(WaitForFrame(server, Disconnected, kStallTimeoutMs, last))
        << "the stalled connection was never given up";
    ASSERT_NO_FATAL_FAILURE(Join());
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

// A thousand clients that connect and drop against a server in a running game
// leave it with its descriptors and threads, and playable.
TEST_F(HostilePeer, AStormOfShortLivedClientsLeavesTheGameAsItWas) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(Join());
    ASSERT_NO_FATAL_FAILURE(PlaceServerFleet());
    ASSERT_TRUE(SendRaw(raw, "SYST:R"));
    Expect([](const Frame& f) { return PhaseShows(f, 288, "Spiel startet"); }, "the game running");
    const fs::path process = "/proc/" + std::to_string(server.game);
    const std::size_t descriptors = Entries(process / "fd");
    const std::size_t threads = Entries(process / "task");
    for (int i = 0; i < kStormClients; ++i)
        ConnectAndDrop(kGamePort, i % 2 == 1);
    const auto settled = [&] {
        return Entries(process / "fd") == descriptors && Entries(process / "task") == threads;
    };
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kSettleTimeoutMs);
    while (!settled() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Entries(process / "fd"), descriptors);
    EXPECT_EQ(Entries(process / "task"), threads);
    ASSERT_NO_FATAL_FAILURE(PeerFires(1, 1, true));
    Expect([](const Frame& f) { return SmallCellIs(f, 1, 1, kRedPixel) && Connected(f); },
           "the shot answered on the same connection");
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

}  // namespace
}  // namespace e2e
