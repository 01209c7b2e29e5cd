// End-to-end tests of the way from the lobby to an opponent and back: a
// client that tries in vain and a waiting server are both left with Escape, a
// client whose start fails returns by itself, and each time the lobby works
// as at start-up, down to a match against the computer. Each runs in the
// private network namespace of the port tests, where only loopback is up.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/child_process.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;

bool ConnectPrompt(const Frame& f) {
    return PhaseShows(f, 304, "Verbinden");
}

class Connecting : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(StartSession(session, kGameBinary)); }
    void TearDown() override { EndSession(session); }

    void Shows(const FrameCheck& check, const std::string& what, int timeoutMs = kAnswerTimeoutMs) {
        EXPECT_TRUE(WaitForFrame(session, check, timeoutMs, last)) << "never showed " << what;
    }
    void Logs(const std::string& text) {
        Shows([&](const Frame& f) { return LogShows(f, text); }, "\"" + text + "\"");
    }

    // The lobby looks as it did at start-up, and a match against the computer starts from it.
    void BackInTheLobbyThenAgainstTheComputer() {
        Shows([](const Frame& f) { return InLobby(f) && ConnectPrompt(f); }, "the lobby");
        ASSERT_TRUE(StartComputerGame(session, last));
        ASSERT_TRUE(SendCloseRequest(session));
        EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
    }

    Session session;
    Frame last;
};

// Nobody listens on the port, so the client tries until Escape.
TEST_F(Connecting, EscapeLeavesAClientThatTriesInVain) {
    ASSERT_TRUE(StartClientGame(session, last, "127.0.0.1"));
    Shows(
        [](const Frame& f) {
            return TextShows(f, 288, 170, "Starte Client", kBlackPixel, kWhitePixel);
        },
        "the client starting");
    Logs("Verbinde mit 127.0.0.1");
    Logs("Abbrechen mit ESC");
    ASSERT_TRUE(PressNamedKey(session, "Escape"));
    Logs("Verbindungsaufbau abgebrochen");
    ASSERT_NO_FATAL_FAILURE(BackInTheLobbyThenAgainstTheComputer());
}

// The server names the addresses it can be reached at (here only loopback is
// up), and Escape takes it down again: the port is free for the next start.
TEST_F(Connecting, EscapeLeavesAWaitingServerThatNamedItsAddress) {
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(StartServerGame(session, last)) << round;
        Logs("Adresse: 127.0.0.1");
        Logs("Abbrechen mit ESC");
        ASSERT_TRUE(PressNamedKey(session, "Escape"));
        Shows([](const Frame& f) { return InLobby(f) && ConnectPrompt(f); }, "the lobby");
    }
    ASSERT_NO_FATAL_FAILURE(BackInTheLobbyThenAgainstTheComputer());
}

// A double click on "Verbinden" starts one server; its second press was made while the server
// waited and is not replayed in the lobby, so one Escape is enough: the lobby stays as at
// start-up, with the cancellation as the log's newest line.
TEST_F(Connecting, ADoubleClickOnVerbindenStartsOneServerThatOneEscapeLeaves) {
    constexpr int kReplayWindowMs = 1500;
    Shows([](const Frame& f) { return InLobby(f) && ConnectPrompt(f); }, "the lobby");
    ASSERT_TRUE(MovePointer(session, kConnectButtonX, kConnectButtonY));
    for (int press = 0; press < 2; ++press)
        ASSERT_TRUE(PressButton(session, Button::kLeft) && ReleaseButton(session, Button::kLeft));
    Logs("Abbrechen mit ESC");
    ASSERT_TRUE(PressNamedKey(session, "Escape"));
    const auto cancelled = [](const Frame& f) {
        return InLobby(f) && ConnectPrompt(f) &&
               LastLogLineShows(f, "Verbindungsaufbau abgebrochen");
    };
    Shows(cancelled, "the lobby after one Escape");
    // A replayed press would start the server again within a pass of the idle step.
    EXPECT_FALSE(WaitForFrame(
        session, [&](const Frame& f) { return !cancelled(f); }, kReplayWindowMs, last))
        << "the lobby did not stay as it was after one Escape";
    ASSERT_NO_FATAL_FAILURE(BackInTheLobbyThenAgainstTheComputer());
}

// A name that cannot be resolved fails at once: the code stays in the panel,
// the reason goes to the log, and the lobby takes input again.
TEST_F(Connecting, AFailedClientStartReturnsToTheLobbyWithItsReason) {
    ASSERT_TRUE(StartClientGame(session, last, "kia"));
    Shows(
        [](const Frame& f) {
            return TextShows(f, 304, 170, "Fehler: -10", kBlackPixel, kWhitePixel);
        },
        "the code of the failed lookup");
    Logs("Die Adresse kann nicht aufgel\x94st");
    EXPECT_TRUE(ConnectPrompt(last));
    // A click into the field clears the code and takes the next address.
    ASSERT_TRUE(ClickUntil(
        session, 340, 172, Button::kLeft,
        [](const Frame& f) { return !TextShows(f, 304, 170, "Fehler", kBlackPixel, kWhitePixel); },
        last));
    ASSERT_TRUE(TypeText(session, "KI", 20) && PressNamedKey(session, "Return"));
    Shows(Placing, "the placement against the computer", kNextGameTimeoutMs);
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

}  // namespace
}  // namespace e2e
