// End-to-end tests of file contents that look like messages and of transfers
// that end early: two real copies exchanging a file whose chunks each begin
// with a message while they fire at each other, and a raw peer whose file
// stops short, is refused half-way or carries the name of a FIFO. The game
// must stay in step with its opponent and say how every transfer ended.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
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
using std::chrono::milliseconds;

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr std::size_t kChunk = 6144;
constexpr std::size_t kTailBytes = 1000;
constexpr int kFileTimeoutMs = 30000;
constexpr int kQuietMs = 400;
// Longer than the pause that shows a sender's chunk has ended early.
constexpr milliseconds kSenderPause{300};
constexpr std::size_t kShotsAfterTheFile = 2;
// Code page 437: 0x84 a-umlaut, 0x81 u-umlaut.
constexpr char kIncomplete[] = "Datei unvollst\x84ndig: ";
constexpr char kBadName[] = "Ung\x81ltiger Dateiname";

// Every message a chunk of a file could begin with.
const std::string kLookAlikes[] = {
    "SYST:R",   "SHOT:12", "SYST:H34", "SYST:W56", std::string("NACHR:\x05hallo"),
    "DATA:x?1", "SYST:j",  "SYST:n",
};

std::string RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

// One chunk for each look-alike, each beginning with it, and a short tail.
std::string LookAlikeFile() {
    std::string bytes = RandomBytes(std::size(kLookAlikes) * kChunk + kTailBytes, 6144);
    for (std::size_t i = 0; i < std::size(kLookAlikes); ++i)
        bytes.replace(i * kChunk, kLookAlikes[i].size(), kLookAlikes[i]);
    return bytes;
}

std::string Digits(int column, int row) {
    return {static_cast<char>('0' + column - 1), static_cast<char>('0' + row - 1)};
}

class FileStream : public ::testing::Test {
   protected:
    void SetUp() override {
        base = MakeWorkingFolders(server, client);
        ASSERT_FALSE(base.empty());
    }
    void TearDown() override {
        EndSession(server);
        EndSession(client);
        CloseRaw(raw);
        fs::remove_all(base);
    }

    void Shows(Session& s, Frame& last, const FrameCheck& check, const std::string& what) {
        EXPECT_TRUE(WaitForFrame(s, check, kAnswerTimeoutMs, last)) << "never showed " << what;
    }
    void Logs(Session& s, Frame& last, const std::string& text) {
        Shows(
            s, last, [&](const Frame& f) { return LogShows(f, text); }, "\"" + text + "\"");
    }

    // A server whose fleet stands, against a raw client that is ready too: the
    // client's turn.
    void StartAgainstRawPeer() {
        ASSERT_TRUE(StartSession(server, kGameBinary));
        ASSERT_TRUE(StartServerGame(server, serverLast));
        raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
        ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
        ASSERT_TRUE(AwaitConnection(server, '1', serverLast));
        ASSERT_TRUE(PlaceFleet(server, kServerFleet, serverLast));
        ASSERT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:R");
        ASSERT_TRUE(SendRaw(raw, "SYST:R"));
    }

    // The raw peer's offer, accepted on the server.
    void OfferAccepted(const std::string& name, std::size_t size) {
        ASSERT_TRUE(SendRaw(raw, "DATA:" + name + "?" + std::to_string(size)));
        Logs(server, serverLast, "Soll die Datei angenommen werden?");
        ASSERT_TRUE(SendInputLine(server, "j", serverLast));
        ASSERT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:j");
    }

    void RawShotAnswered(int column, int row, bool hit) {
        ASSERT_TRUE(SendRaw(raw, "SHOT:" + Digits(column, row)));
        EXPECT_EQ(ReadRaw(raw, 8, kAnswerTimeoutMs),
                  (hit ? "SYST:H" : "SYST:W") + Digits(column, row));
    }

    fs::path base;
    Session server;
    Session client;
    Frame serverLast;
    Frame clientLast;
    int raw = -1;
};

// The receiver takes each look-alike as file data, so the file arrives byte for
// byte, and the shots fired meanwhile and after it are all answered.
TEST_F(FileStream, ChunksThatBeginWithMessagesArriveByteForByteWhileBothSidesFire) {
    const std::string payload = LookAlikeFile();
    std::ofstream(base / "client" / "muster.bin", std::ios::binary) << payload;
    ASSERT_TRUE(StartSession(server, kGameBinary) && StartSession(client, kGameBinary));
    ASSERT_TRUE(StartServerGame(server, serverLast) && StartClientGame(client, clientLast));
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast) &&
                AwaitConnection(client, '2', clientLast));
    ASSERT_TRUE(PlaceFleet(server, kServerFleet, serverLast));
    ASSERT_TRUE(PlaceFleet(client, kClientFleet, clientLast));
    ASSERT_TRUE(SendInputLine(client, "sendfile muster.bin", clientLast));
    Logs(server, serverLast, "Soll die Datei angenommen werden?");
    ASSERT_TRUE(SendInputLine(server, "j", serverLast));

    // A chunk that begins like a shot or an answer waits for the turn in which the
    // opponent cannot take it for one, so the players fire until the file is whole.
    const auto serverWater = WaterOf(kServerFleet);
    const auto clientWater = WaterOf(kClientFleet);
    const fs::path received = base / "server" / "muster.bin";
    std::size_t shot = 0;
    const auto exchange = [&](std::size_t shots) {
        for (const std::size_t end = shot + shots; shot < end; ++shot) {
            ASSERT_TRUE(FireAt(client, serverWater[shot].first, serverWater[shot].second, false,
                               clientLast))
                << "client shot " << shot;
            ASSERT_TRUE(FireAt(server, clientWater[shot].first, clientWater[shot].second, false,
                               serverLast))
                << "server shot " << shot;
        }
    };
    while (shot < serverWater.size() - kShotsAfterTheFile && ReadWholeFile(received) != payload)
        ASSERT_NO_FATAL_FAILURE(exchange(1));
    EXPECT_TRUE(FileBecomes(received, payload, kFileTimeoutMs));
    Logs(server, serverLast, "Datei empfangen: muster.bin");
    Logs(client, clientLast, "Datei gesendet");
    ASSERT_NO_FATAL_FAILURE(exchange(kShotsAfterTheFile));
    Shows(
        client, clientLast, [](const Frame& f) { return PixelAt(f, 2, 1) == kYellowPixel; },
        "its turn after the last answer");
}

// A file that stops short of its size, and one the receiver refuses half-way,
// leave the stream to the messages that follow; the log says each is incomplete.
TEST_F(FileStream, AShortFileOrAnAnswerNHalfWayLeavesTheStreamToTheGame) {
    ASSERT_NO_FATAL_FAILURE(StartAgainstRawPeer());
    const std::string bytes = RandomBytes(3 * kChunk, 18432);

    ASSERT_NO_FATAL_FAILURE(OfferAccepted("abbruch.bin", bytes.size()));
    ASSERT_TRUE(SendRaw(raw, bytes.substr(0, kChunk)));
    ASSERT_TRUE(
        FileBecomes(base / "server" / "abbruch.bin", bytes.substr(0, kChunk), kFileTimeoutMs));
    ASSERT_TRUE(SendInputLine(server, "n", serverLast));
    EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:n");
    Logs(server, serverLast, std::string(kIncomplete) + "abbruch.bin");
    ASSERT_NO_FATAL_FAILURE(RawShotAnswered(1, 1, true));

    // The server's turn: its shot, answered; then the raw peer's turn again.
    ASSERT_TRUE(MovePointer(server, CellCentre(5), CellCentre(5)) &&
                PressButton(server, Button::kLeft));
    EXPECT_EQ(ReadRaw(raw, 7, kAnswerTimeoutMs), "SHOT:44");
    ASSERT_TRUE(ReleaseButton(server, Button::kLeft));
    ASSERT_TRUE(SendRaw(raw, "SYST:W44"));
    Shows(
        server, serverLast, [](const Frame& f) { return BigCellIs(f, 5, 5, kBluePixel); },
        "its water shot");

    // 6,144 + 3,000 of 18,432 bytes, a pause, then a shot: the file ends there.
    ASSERT_NO_FATAL_FAILURE(OfferAccepted("kurz.bin", bytes.size()));
    const std::size_t shortBy = kChunk - 3000;
    ASSERT_TRUE(SendRaw(raw, bytes.substr(0, kChunk)) &&
                SendRaw(raw, bytes.substr(kChunk, kChunk - shortBy)));
    std::this_thread::sleep_for(kSenderPause);
    ASSERT_NO_FATAL_FAILURE(RawShotAnswered(4, 5, true));
    const std::string written = ReadWholeFile(base / "server" / "kurz.bin");
    EXPECT_TRUE(written == bytes.substr(0, 2 * kChunk - shortBy)) << written.size() << " bytes";
    Logs(server, serverLast, std::string(kIncomplete) + "kurz.bin");
    Shows(
        server, serverLast,
        [](const Frame& f) {
            return SmallCellIs(f, 4, 5, kRedPixel) && PixelAt(f, 300, 396) == kWhitePixel;
        },
        "the shot on its small board and the progress bar gone");
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

// A FIFO under the offered name is refused without blocking, whether it stood
// there before the offer or appeared before the answer; so are names too long
// to hold and names with control bytes. One close still ends the program.
TEST_F(FileStream, NamesOfFifosOverlongNamesAndControlBytesAreRefused) {
    ASSERT_EQ(0, mkfifo((base / "server" / "rohr").c_str(), 0644));
    ASSERT_TRUE(StartSession(server, kGameBinary));
    ASSERT_TRUE(StartServerGame(server, serverLast));
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast));
    for (const std::string& name : {std::string("rohr"), std::string(256, 'a'),
                                    std::string("a\x01z"), std::string("a\x7Fz")}) {
        SCOPED_TRACE(name.size());
        ASSERT_TRUE(SendRaw(raw, "DATA:" + name + "?5"));
        EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:n");
        Logs(server, serverLast, kBadName);
    }
    ASSERT_TRUE(SendRaw(raw, "DATA:spaet?5"));
    Logs(server, serverLast, "Soll die Datei angenommen werden?");
    ASSERT_EQ(0, mkfifo((base / "server" / "spaet").c_str(), 0644));
    ASSERT_TRUE(SendInputLine(server, "j", serverLast));
    EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:n");
    Logs(server, serverLast, "Datei konnte nicht gespeichert");
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

// A line cut off by the opponent's leaving is erased, and neither it nor the
// keys typed while no line is open reach the next opponent.
TEST_F(FileStream, AnInputLineCutOffByADisconnectIsErasedAndSendsNothingLater) {
    ASSERT_TRUE(StartSession(server, kGameBinary));
    ASSERT_TRUE(StartServerGame(server, serverLast));
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast));
    ASSERT_TRUE(OpenInputLine(server, serverLast) && TypeText(server, "abc", 20));
    Shows(
        server, serverLast,
        [](const Frame& f) { return TextShows(f, 127, 286, "abc", kBlackPixel, kWhitePixel); },
        "the typed line");
    CloseRaw(raw);
    Shows(
        server, serverLast,
        [](const Frame& f) {
            return Disconnected(f) && TextShows(f, 127, 286, "    ", kBlackPixel, kWhitePixel) &&
                   PixelAt(f, 151, 289) == kWhitePixel;
        },
        "the lost connection and an empty field without its cursor");
    ASSERT_TRUE(TypeText(server, "xyz", 20));
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast));
    ASSERT_TRUE(SendInputLine(server, "ok", serverLast));
    EXPECT_EQ(ReadRaw(raw, 9, kAnswerTimeoutMs), std::string("NACHR:\x02ok"));
    EXPECT_EQ(ReadRaw(raw, 1, kQuietMs), "");
}

}  // namespace
}  // namespace e2e
