// End-to-end tests of chat and file transfer: two real copies, each on its own
// X server and in its own scratch directory, in one private network
// namespace; and a raw socket peer that offers hostile names, sizes and data
// to the real program. Files are judged by their bytes, the game by its pixels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
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
constexpr int kFileTimeoutMs = 20000;
constexpr int kQuietMs = 400;
constexpr std::size_t kPayloadBytes = 20000;
constexpr std::size_t kChunk = 6144;
constexpr int kKeyPauseMs = 20;

void WriteWhole(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Random bytes with every keyword inside. (One that began a chunk would be read
// as a message: the one case the format cannot tell apart.)
std::string Payload() {
    std::mt19937 random(20000);
    std::string bytes(kPayloadBytes, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    const std::string keywords[] = {"SYST:R", "SHOT:12",
                                    "NACHR:\x03"
                                    "abc",
                                    "DATA:x?5", "SYST:H00"};
    std::size_t at = 100;
    for (const std::string& k : keywords) {
        bytes.replace(at, k.size(), k);
        at += 3001;
    }
    bytes.replace(kChunk - 3, 7, "SHOT:34");  // across a chunk boundary
    return bytes;
}

std::set<std::string> Entries(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

class Transfer : public ::testing::Test {
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

    void Log(Session& s, Frame& last, const std::string& text, std::uint32_t colour = kBlackPixel) {
        EXPECT_TRUE(WaitForFrame(
            s, [&](const Frame& f) { return LogShows(f, text, colour); }, kAnswerTimeoutMs, last))
            << "the log never showed \"" << text << "\"";
    }

    fs::path base;
    Session server;
    Session client;
    Frame serverLast;
    Frame clientLast;
    int raw = -1;
};

TEST_F(Transfer, ChatAndFilesTravelBetweenTwoCopiesAndLeaveTheBoardsAlone) {
    ASSERT_TRUE(StartSession(server, kGameBinary) && StartSession(client, kGameBinary));
    ASSERT_TRUE(StartServerGame(server, serverLast) && StartClientGame(client, clientLast));
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast) &&
                AwaitConnection(client, '2', clientLast));
    const Frame serverBefore = serverLast;
    const Frame clientBefore = clientLast;

    ASSERT_TRUE(SendInputLine(client, "hallo", clientLast));
    Log(client, clientLast, "2> hallo", kBluePixel);
    Log(server, serverLast, "2> hallo", kBluePixel);

    const std::string payload = Payload();
    WriteWhole(base / "client" / "payload.bin", payload);
    ASSERT_TRUE(SendInputLine(client, "sendfile " + (base / "client" / "payload.bin").string(),
                              clientLast));
    Log(server, serverLast, "payload.bin - 19.53125KB");
    Log(server, serverLast, "Soll die Datei angenommen werden?");
    ASSERT_TRUE(SendInputLine(server, "j", serverLast));
    Log(client, clientLast, "Datei wurde angenommen");
    EXPECT_TRUE(FileBecomes(base / "server" / "payload.bin", payload, kFileTimeoutMs));
    // The keywords inside the file did nothing: both windows are as they were,
    // apart from the message log and the progress bar inside it.
    EXPECT_TRUE(WaitForFrame(
        server, [&](const Frame& f) { return SameOutsideLog(f, serverBefore); }, kAnswerTimeoutMs,
        serverLast));
    EXPECT_TRUE(WaitForFrame(
        client, [&](const Frame& f) { return SameOutsideLog(f, clientBefore); }, kAnswerTimeoutMs,
        clientLast));

    WriteWhole(base / "client" / "other.bin", "nicht erwuenscht");
    ASSERT_TRUE(
        SendInputLine(client, "sendfile " + (base / "client" / "other.bin").string(), clientLast));
    Log(server, serverLast, "other.bin - 0.015625KB");
    ASSERT_TRUE(SendInputLine(server, "n", serverLast));
    Log(client, clientLast, "Datei wurde abgelehnt");
    EXPECT_FALSE(fs::exists(base / "server" / "other.bin"));

    ASSERT_TRUE(SendInputLine(client, "sendfile " + (base / "nirgends").string(), clientLast));
    Log(client, clientLast, "Datei konnte nicht gefunden werden");
    EXPECT_EQ(Entries(base / "server"), (std::set<std::string>{"payload.bin"}));
    for (Session* s : {&server, &client}) {
        ASSERT_TRUE(SendCloseRequest(*s));
        EXPECT_EQ(0, WaitForGameExit(*s, kExitTimeoutMs));
    }
}

// German letters typed on the keyboard travel and show as the code page 437 bytes that draw
// them, and a file name with them is found, offered and written in the file system's UTF-8.
TEST_F(Transfer, GermanLettersShowAsTypedInChatAndInFileNames) {
    constexpr XKeySym kUUmlaut = 0xFC;
    constexpr XKeySym kSharpS = 0xDF;
    const std::string content =
        "Gr\xC3\xBC\xC3\x9F"
        "e aus dem Buch";
    WriteWhole(base / "client" /
                   "B\xC3\xBC"
                   "cher.txt",
               content);
    ASSERT_TRUE(StartSession(server, kGameBinary) && StartSession(client, kGameBinary));
    ASSERT_TRUE(StartServerGame(server, serverLast) && StartClientGame(client, clientLast));
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast) &&
                AwaitConnection(client, '2', clientLast));

    ASSERT_TRUE(OpenInputLine(client, clientLast));
    ASSERT_TRUE(TypeKeysyms(client, {'G', 'r', kUUmlaut, kSharpS, 'e'}, kKeyPauseMs) &&
                PressNamedKey(client, "Return"));
    Log(client, clientLast,
        "2> Gr\x81\xE1"
        "e",
        kBluePixel);
    Log(server, serverLast,
        "2> Gr\x81\xE1"
        "e",
        kBluePixel);

    ASSERT_TRUE(OpenInputLine(client, clientLast) && TypeText(client, "sendfile B", kKeyPauseMs) &&
                TypeKeysyms(client, {kUUmlaut}, kKeyPauseMs) &&
                TypeText(client, "cher.txt", kKeyPauseMs) && PressNamedKey(client, "Return"));
    Log(server, serverLast,
        "B\x81"
        "cher.txt - 0.01953125KB");
    ASSERT_TRUE(SendInputLine(server, "j", serverLast));
    EXPECT_TRUE(FileBecomes(base / "server" /
                                "B\xC3\xBC"
                                "cher.txt",
                            content, kFileTimeoutMs));
    Log(server, serverLast,
        "Datei empfangen: B\x81"
        "cher.txt");
}

// Keys that type no character leave the input line as the player typed it, there and on the
// wire; a file whose first chunk could pass for a Ready while the peer places says once why it
// waits; a receiver that goes away mid-file leaves the sender a line saying the file broke off.
TEST_F(Transfer, TheSenderSeesItsLineAsTypedWhyAFileWaitsAndThatOneBrokeOff) {
    ASSERT_TRUE(StartSession(server, kGameBinary));
    ASSERT_TRUE(StartServerGame(server, serverLast));
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast));

    ASSERT_TRUE(OpenInputLine(server, serverLast) && TypeText(server, "a", kKeyPauseMs));
    for (const char* key : {"Escape", "Left", "F1", "Tab", "Delete"})
        ASSERT_TRUE(PressNamedKey(server, key)) << key;
    ASSERT_TRUE(TypeText(server, "b", kKeyPauseMs));
    EXPECT_TRUE(WaitForFrame(
        server, [](const Frame& f) { return InputLineShows(f, "ab"); }, kAnswerTimeoutMs,
        serverLast));
    ASSERT_TRUE(PressNamedKey(server, "Return"));
    EXPECT_EQ(ReadRaw(raw, 9, kAnswerTimeoutMs), std::string("NACHR:\x02") + "ab");
    Log(server, serverLast, "1> ab", kBluePixel);

    const std::string waiting = "SYST:R" + std::string(kChunk, 'w');
    WriteWhole(base / "wartet.bin", waiting);
    ASSERT_TRUE(SendInputLine(server, "sendfile " + (base / "wartet.bin").string(), serverLast));
    const std::string offer = "DATA:wartet.bin?" + std::to_string(waiting.size());
    EXPECT_EQ(ReadRaw(raw, offer.size(), kAnswerTimeoutMs), offer);
    ASSERT_TRUE(SendRaw(raw, "SYST:j"));
    const std::string waits =
        "Datei wartet auf den n\x84"
        "chsten Zug";
    EXPECT_TRUE(WaitForFrame(
        server, [&](const Frame& f) { return LastLogLineShows(f, waits); }, kAnswerTimeoutMs,
        serverLast));
    // Held for as long as the game stands still, and said once.
    EXPECT_EQ(ReadRaw(raw, 1, 3 * kQuietMs), "");
    ASSERT_TRUE(ReadFrame(server, serverLast));
    EXPECT_TRUE(LastLogLineShows(serverLast, waits));
    ASSERT_TRUE(SendRaw(raw, "SYST:n"));
    Log(server, serverLast, "Datei wurde abgelehnt");

    std::string big(kPayloadBytes * 10, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    WriteWhole(base / "gross.bin", big);
    ASSERT_TRUE(SendInputLine(server, "sendfile " + (base / "gross.bin").string(), serverLast));
    const std::string bigOffer = "DATA:gross.bin?" + std::to_string(big.size());
    EXPECT_EQ(ReadRaw(raw, bigOffer.size(), kAnswerTimeoutMs), bigOffer);
    ASSERT_TRUE(SendRaw(raw, "SYST:j"));
    EXPECT_EQ(ReadRaw(raw, 2 * kChunk, kFileTimeoutMs), big.substr(0, 2 * kChunk));
    CloseRaw(raw);
    EXPECT_TRUE(WaitForFrame(
        server,
        [](const Frame& f) {
            return LogShows(f, "Datei nicht vollst\x84ndig gesendet: ") &&
                   LastLogLineShows(f, "gross.bin");
        },
        kFileTimeoutMs, serverLast))
        << "the sender was not told that its file broke off";
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

// Each hostile offer is refused at once with "SYST:n" and its reason in the log.
TEST_F(Transfer, ARawPeerWritesNothingOutsideTheDirectoryNorBeyondTheOffer) {
    fs::create_symlink(base / "target", base / "server" / "link");
    WriteWhole(base / "target", "unberuehrt");
    ASSERT_TRUE(StartSession(server, kGameBinary));
    ASSERT_TRUE(StartServerGame(server, serverLast));
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_TRUE(AwaitConnection(server, '1', serverLast));

    struct Offer {
        std::string bytes;
        const char* reason;
    };
    const Offer refused[] = {
        {"DATA:../x?5", "Ung\x81ltiger Dateiname"},
        {"DATA:/tmp/x?5", "Ung\x81ltiger Dateiname"},
        {"DATA:a/b?5", "Ung\x81ltiger Dateiname"},
        {"DATA:link?5", "Ung\x81ltiger Dateiname"},
        {"DATA:a?-1",
         "Ung\x81ltige Dateigr\x94\xE1"
         "e"},
        {"DATA:a?2147483648",
         "Ung\x81ltige Dateigr\x94\xE1"
         "e"},
        {"DATA:a?12abc",
         "Ung\x81ltige Dateigr\x94\xE1"
         "e"},
    };
    for (const Offer& offer : refused) {
        SCOPED_TRACE(offer.bytes);
        ASSERT_TRUE(SendRaw(raw, offer.bytes));
        EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:n");
        Log(server, serverLast, offer.reason);
    }
    // An empty size, directly followed by a chat line that still arrives.
    ASSERT_TRUE(SendRaw(raw, "DATA:a?NACHR:\x02ok"));
    EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:n");
    Log(server, serverLast, "2> ok", kBluePixel);

    // Data with no offer is dropped; so is what comes beyond an offer's size.
    ASSERT_TRUE(SendRaw(raw, std::string(kChunk, 'q')));
    ASSERT_TRUE(SendRaw(raw, "DATA:klein.bin?10"));
    Log(server, serverLast, "klein.bin - 0.009765625KB");
    ASSERT_TRUE(SendInputLine(server, "j", serverLast));
    EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:j");
    ASSERT_TRUE(SendRaw(raw, "0123456789" + std::string(100, 'z')));
    EXPECT_TRUE(FileBecomes(base / "server" / "klein.bin", "0123456789", kFileTimeoutMs));

    // No offer can come while a file arrives, so one between two chunks is the
    // file's data: the transfer goes on by count and nothing is answered.
    std::string big(3 * kChunk, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(SendRaw(raw, "DATA:gross.bin?" + std::to_string(big.size())));
    Log(server, serverLast, "gross.bin - 18KB");
    ASSERT_TRUE(SendInputLine(server, "j", serverLast));
    EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:j");
    const std::string lookAlike = "DATA:noch.bin?5";
    ASSERT_TRUE(SendRaw(raw, big.substr(0, kChunk)));
    ASSERT_TRUE(SendRaw(raw, lookAlike));
    ASSERT_TRUE(SendRaw(raw, big.substr(kChunk)));
    const std::string written = big.substr(0, kChunk) + lookAlike +
                                big.substr(kChunk, big.size() - kChunk - lookAlike.size());
    EXPECT_TRUE(FileBecomes(base / "server" / "gross.bin", written, kFileTimeoutMs));
    EXPECT_EQ(ReadRaw(raw, 1, kQuietMs), "");

    EXPECT_EQ(Entries(base / "server"), (std::set<std::string>{"gross.bin", "klein.bin", "link"}));
    EXPECT_EQ(Entries(base), (std::set<std::string>{"client", "server", "target"}));
    EXPECT_EQ(ReadWholeFile(base / "target"), "unberuehrt");
    ASSERT_TRUE(SendCloseRequest(server));
    EXPECT_EQ(0, WaitForGameExit(server, kExitTimeoutMs));
}

}  // namespace
}  // namespace e2e
