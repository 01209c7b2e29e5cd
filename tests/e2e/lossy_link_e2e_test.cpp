// End-to-end tests over a lossy link: two real copies in two network
// namespaces joined by a relay that delays, drops and blacks out their packets.
// A whole game and a file get through loss and an outage; a client that
// vanishes behind a blackout is given up in time and the next one is taken.
// Skipped where no such link can be made (it needs root and a TUN device).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/e2e/lossy_link.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr std::size_t kFileBytes = 300 * 1000;
constexpr LinkImpairment kLossy{20, 5, 5.0, false};
constexpr std::chrono::seconds kIntoTheTransfer{2};
constexpr std::chrono::seconds kBlackout{8};
constexpr int kFileTimeoutMs = 90000;
constexpr int kLossyAnswerTimeoutMs = 15000;
// A vanished peer must be noticed within half a minute; the picture is read a
// little later than the game draws it.
constexpr int kNoticeLimitMs = 30000;
constexpr int kPictureSlackMs = 1500;

class LossyLink : public ::testing::Test {
   protected:
    void SetUp() override {
        if (!StartLossyLink({})) GTEST_SKIP() << "no lossy link here (needs root and a TUN)";
        base = MakeWorkingFolders(server, client);
        ASSERT_FALSE(base.empty());
        server.networkNamespaceFd = LinkNamespaceFd(kLinkSideA);
        client.networkNamespaceFd = LinkNamespaceFd(kLinkSideB);
    }
    void TearDown() override {
        EndSession(server);
        EndSession(client);
        StopLossyLink();
        if (!base.empty()) fs::remove_all(base);
    }

    void Connect() {
        ASSERT_TRUE(StartSession(server, kGameBinary) && StartSession(client, kGameBinary));
        ASSERT_TRUE(StartServerGame(server, serverLast));
        ASSERT_TRUE(StartClientGame(client, clientLast, LinkAddress(kLinkSideA)));
        ASSERT_TRUE(AwaitConnection(server, '1', serverLast));
        ASSERT_TRUE(AwaitConnection(client, '2', clientLast));
    }

    fs::path base;
    Session server;
    Session client;
    Frame serverLast;
    Frame clientLast;
};

// Every shot is answered on both screens through 5 % loss, and the file that
// was under way when the link went dark for eight seconds arrives whole.
TEST_F(LossyLink, AWholeGameAndAFileGetThroughLossDelayAndABlackout) {
    std::mt19937 random(300);
    std::string payload(kFileBytes, '\0');
    for (char& b : payload)
        b = static_cast<char>(random());
    std::ofstream(base / "client" / "gross.bin", std::ios::binary) << payload;
    SetLinkImpairment(kLossy);
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(PlaceFleet(server, kServerFleet, serverLast));
    ASSERT_TRUE(PlaceFleet(client, kClientFleet, clientLast));

    ASSERT_TRUE(SendInputLine(client, "sendfile gross.bin", clientLast));
    ASSERT_TRUE(WaitForFrame(
        server, [](const Frame& f) { return LogShows(f, "j/n"); }, kLossyAnswerTimeoutMs,
        serverLast));
    ASSERT_TRUE(SendInputLine(server, "j", serverLast));
    std::this_thread::sleep_for(kIntoTheTransfer);
    SetLinkImpairment({kLossy.delayMs, kLossy.jitterMs, kLossy.lossPercent, true});
    std::this_thread::sleep_for(kBlackout);
    SetLinkImpairment(kLossy);

    // The game goes on while the rest of the file arrives.
    const auto targets = FleetCells(kServerFleet);
    const auto water = WaterOf(kClientFleet);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        ASSERT_TRUE(FireAt(client, targets[i].first, targets[i].second, true, clientLast)) << i;
        if (i + 1 == targets.size()) break;
        ASSERT_TRUE(FireAt(server, water[i].first, water[i].second, false, serverLast)) << i;
    }
    EXPECT_TRUE(WaitForFrame(
        client, [](const Frame& f) { return ResultShows(f, true); }, kLossyAnswerTimeoutMs,
        clientLast));
    EXPECT_TRUE(WaitForFrame(
        server, [](const Frame& f) { return ResultShows(f, false); }, kLossyAnswerTimeoutMs,
        serverLast));
    EXPECT_TRUE(FileBecomes(base / "server" / "gross.bin", payload, kFileTimeoutMs));
}

// The client's packets vanish and it dies: the server notices within half a
// minute, shows the loss and takes the next client that comes.
TEST_F(LossyLink, AVanishedClientIsGivenUpInTimeAndTheNextOneIsTaken) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetLinkImpairment({0, 0, 0, true});
    const auto vanished = Clock::now();
    StopChild(client.game, false);
    ASSERT_TRUE(WaitForFrame(server, Disconnected, kNoticeLimitMs + kPictureSlackMs, serverLast))
        << "the server never noticed";
    const auto noticed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - vanished);
    EXPECT_LE(noticed.count(), kNoticeLimitMs + kPictureSlackMs);
    std::cout << "vanished client noticed after " << noticed.count() << " ms\n";

    SetLinkImpairment({});
    EndSession(client);
    client.networkNamespaceFd = LinkNamespaceFd(kLinkSideB);
    ASSERT_TRUE(StartSession(client, kGameBinary));
    ASSERT_TRUE(StartClientGame(client, clientLast, LinkAddress(kLinkSideA)));
    EXPECT_TRUE(AwaitConnection(server, '1', serverLast));
    EXPECT_TRUE(AwaitConnection(client, '2', clientLast));
}

}  // namespace
}  // namespace e2e
