// The game as it stood before copies greeted each other, built from git, against today's
// program: in either role they connect, place, fire, chat and send a file each way, in the old
// way (raw chunks, 60 KB a second), and every file arrives byte for byte. The old copy drops
// the greeting as bytes that fit no message and loses nothing after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/e2e/child_process.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kNewBinary[] = MAREVANT_BINARY;
constexpr char kOldBinary[] = MAREVANT_OLD_BINARY;
// A few chunks of the old pace, with keywords inside but none at a chunk's start.
constexpr std::size_t kFileBytes = 3 * 6144 + 321;
constexpr int kFileTimeoutMs = 30000;

struct Copy {
    const char* name;
    const char* binary;
    Session session;
    Frame last;
};

std::string FileBytes(unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(kFileBytes, '\0');
    for (char& b : bytes)
        b = static_cast<char>('a' + random() % 26);
    bytes.replace(1000, 6, "SYST:R");
    bytes.replace(7000, 7, "SHOT:12");
    return bytes;
}

class OldPeer : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kOldBinary)) << kOldBinary << " was not built";
        base = MakeWorkingFolders(server.session, client.session);
        ASSERT_FALSE(base.empty());
    }
    void TearDown() override {
        EndSession(server.session);
        EndSession(client.session);
        fs::remove_all(base);
    }

    void Logs(Copy& c, const std::string& text, std::uint32_t colour = kBlackPixel) {
        EXPECT_TRUE(WaitForFrame(
            c.session, [&](const Frame& f) { return LogShows(f, text, colour); }, kFileTimeoutMs,
            c.last))
            << c.name << " never logged \"" << text << "\"";
    }

    // `from` offers a file, `to` accepts it; it arrives byte for byte, in the old way.
    void SendFile(Copy& from, Copy& to, const std::string& name, unsigned seed) {
        const std::string bytes = FileBytes(seed);
        const fs::path source = fs::path(from.session.directory) / name;
        std::ofstream(source, std::ios::binary) << bytes;
        ASSERT_TRUE(SendInputLine(from.session, "sendfile " + source.string(), from.last));
        Logs(to, "Soll die Datei angenommen werden?");
        ASSERT_TRUE(SendInputLine(to.session, "j", to.last));
        EXPECT_TRUE(FileBecomes(fs::path(to.session.directory) / name, bytes, kFileTimeoutMs))
            << name << " from " << from.name;
        Logs(from, "Datei gesendet");
        Logs(to, "Datei empfangen: " + name);
    }

    // Both roles play the same game: connect, place, fire, chat both ways, a file each way.
    void PlayAndTalk() {
        ASSERT_TRUE(StartSession(server.session, server.binary) &&
                    StartSession(client.session, client.binary));
        ASSERT_TRUE(StartServerGame(server.session, server.last) &&
                    StartClientGame(client.session, client.last));
        ASSERT_TRUE(AwaitConnection(server.session, '1', server.last) &&
                    AwaitConnection(client.session, '2', client.last));
        ASSERT_TRUE(PlaceFleet(server.session, kServerFleet, server.last) &&
                    PlaceFleet(client.session, kClientFleet, client.last));
        const auto serverWater = WaterOf(kServerFleet);
        const auto clientWater = WaterOf(kClientFleet);
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(FireAt(client.session, serverWater[i].first, serverWater[i].second, false,
                               client.last));
            ASSERT_TRUE(FireAt(server.session, clientWater[i].first, clientWater[i].second, false,
                               server.last));
        }
        ASSERT_TRUE(SendInputLine(client.session, "hallo", client.last));
        Logs(server, "2> hallo", kBluePixel);
        ASSERT_TRUE(SendInputLine(server.session, "servus", server.last));
        Logs(client, "1> servus", kBluePixel);
        ASSERT_NO_FATAL_FAILURE(SendFile(client, server, "von-client.bin", 1));
        ASSERT_NO_FATAL_FAILURE(SendFile(server, client, "von-server.bin", 2));
        for (Copy* c : {&server, &client}) {
            ASSERT_TRUE(SendCloseRequest(c->session));
            EXPECT_EQ(0, WaitForGameExit(c->session, kExitTimeoutMs)) << c->name;
        }
    }

    fs::path base;
    Copy server{"server", nullptr, {}, {}};
    Copy client{"client", nullptr, {}, {}};
};

TEST_F(OldPeer, AsServerItPlaysChatsAndExchangesFilesWithTodaysClient) {
    server.binary = kOldBinary;
    client.binary = kNewBinary;
    PlayAndTalk();
}

TEST_F(OldPeer, AsClientItPlaysChatsAndExchangesFilesWithTodaysServer) {
    server.binary = kNewBinary;
    client.binary = kOldBinary;
    PlayAndTalk();
}

}  // namespace
}  // namespace e2e
