// End-to-end tests of the network match: real copies of the game, each on its
// own X server, all in one private network namespace so that port 9000 is
// theirs. Driven through their windows and judged by their pixels; a raw
// socket stands in for a peer that splits, joins, forges or fires out of turn.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "screen/graphics.h"
#include "screen/layout.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/expected_screen.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/png_writer.h"
#include "tests/e2e/raw_peer.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr char kOutputDir[] = MAREVANT_E2E_OUTPUT_DIR;
constexpr int kQuietMs = 400;  // long enough for several of the game's 50 ms polls
constexpr std::size_t kShotsBeforePicture = 12;

// What a side shows when the exchange of fire begins, from the test's own
// fleet: connected status, its player digit, its fleet on the small board.
Frame ExpectedStartOfFire(const std::vector<Ship>& fleet, char digit, bool ourTurn) {
    StartExpectedFrame();
    const screen::Rect& panel = screen::kStatusInterior;
    screen::FillBox(panel.x1, panel.y1, panel.x2, panel.y2, screen::kWhite);
    screen::DrawText(300, 165, "Verbindung", screen::kBlack);
    screen::DrawText(296, 175, "hergestellt", screen::kBlack);
    screen::DrawText(368, 98, std::string(1, screen::kBlankChar), screen::kWhite);
    screen::DrawText(368, 98, std::string(1, digit), screen::kBlack);
    DrawExpectedFleet(fleet);
    screen::ShowPhaseLabel(screen::Label{{288, 240}, "Spiel startet"});
    if (ourTurn) screen::PaintTurnIndicator(screen::kTurnYellow);
    return CaptureOffscreen();
}

struct Player {
    const char* name;
    Session session;
    Frame last;
};

class NetworkMatch : public ::testing::Test {
   protected:
    void TearDown() override {
        for (Player* p : {&server, &client, &second})
            EndSession(p->session);
        CloseRaw(raw);
        CloseRaw(refused);
    }

    // On a failed step the window's last picture is kept beside the test output.
    ::testing::AssertionResult Shown(Player& p, bool done, const std::string& what) {
        if (done) return ::testing::AssertionSuccess();
        const std::string name = std::string(kOutputDir) + "/" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 "-" + p.name + ".png";
        std::filesystem::create_directories(kOutputDir);
        WritePng(name, p.last, kFrameWidth, kFrameHeight);
        return ::testing::AssertionFailure()
               << p.name << " never showed " << what << " (last picture: " << name << ")";
    }

    void Wait(Player& p, const FrameCheck& check, int timeoutMs, const std::string& what) {
        ASSERT_TRUE(Shown(p, WaitForFrame(p.session, check, timeoutMs, p.last), what));
    }

    void StartServer(Player& p) {
        ASSERT_TRUE(StartSession(p.session, kGameBinary)) << p.name << ": no game window";
        ASSERT_TRUE(Shown(p, StartServerGame(p.session, p.last), "a ready server"));
    }

    void StartClient(Player& p) {
        ASSERT_TRUE(StartSession(p.session, kGameBinary)) << p.name << ": no game window";
        ASSERT_TRUE(Shown(p, StartClientGame(p.session, p.last), "the address typed"));
    }

    void Connect(Player& p, char digit) {
        ASSERT_TRUE(Shown(p, AwaitConnection(p.session, digit, p.last),
                          "the connection and the placement"));
    }

    void Place(Player& p, const std::vector<Ship>& fleet) {
        ASSERT_TRUE(Shown(p, PlaceFleet(p.session, fleet, p.last), "its whole fleet"));
    }

    // The shooter sees the answer on its big board, the target the same cell on
    // its small board.
    void Fire(Player& shooter, Player& target, int column, int row, bool hit) {
        ASSERT_TRUE(Shown(shooter, FireAt(shooter.session, column, row, hit, shooter.last),
                          "the answer to its shot"));
        const std::uint32_t colour = hit ? kRedPixel : kBluePixel;
        Wait(
            target, [=](const Frame& f) { return SmallCellIs(f, column, row, colour); },
            kAnswerTimeoutMs, "the shot on its small board");
    }

    void ExpectStartOfFire(Player& p, const std::vector<Ship>& fleet, char digit, bool ourTurn) {
        const Frame expected = ExpectedStartOfFire(fleet, digit, ourTurn);
        Wait(
            p, [&](const Frame& f) { return SameOutsideLog(f, expected); }, kNextGameTimeoutMs,
            "its fleet, an empty big board and the turn indicator at the start of the game");
    }

    void ReachConnecting() {
        ASSERT_NO_FATAL_FAILURE(StartClient(server));
        Wait(
            server,
            [](const Frame& f) {
                return TextShows(f, 288, 170, "Starte Client", kBlackPixel, kWhitePixel);
            },
            kAnswerTimeoutMs, "the client starting");
    }
    void ReachServerWaiting() { ASSERT_NO_FATAL_FAILURE(StartServer(server)); }
    void ReachPlacing() {
        ASSERT_NO_FATAL_FAILURE(StartServer(server));
        raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
        ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
        ASSERT_NO_FATAL_FAILURE(Connect(server, '1'));
    }
    void ReachWaitingForReady() {
        ASSERT_NO_FATAL_FAILURE(ReachPlacing());
        ASSERT_NO_FATAL_FAILURE(Place(server, kServerFleet));
        EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:R");
    }

    Player server{"server", {}, {}};
    Player client{"client", {}, {}};
    Player second{"second-client", {}, {}};
    int raw = -1;
    int refused = -1;
};

TEST_F(NetworkMatch, TwoCopiesPlayGameAfterGameKeepTheScoreAndTheServerTakesANewClient) {
    ASSERT_NO_FATAL_FAILURE(StartServer(server));
    ASSERT_NO_FATAL_FAILURE(StartClient(client));
    ASSERT_NO_FATAL_FAILURE(Connect(server, '1'));
    ASSERT_NO_FATAL_FAILURE(Connect(client, '2'));
    ASSERT_NO_FATAL_FAILURE(Place(server, kServerFleet));
    ASSERT_TRUE(Shown(client, PlaceShips(client.session, kClientFleet, client.last), "its ships"));
    Wait(
        client, [](const Frame& f) { return LogShows(f, "mit ESC l\x94schen"); }, kAnswerTimeoutMs,
        "the question to confirm the fleet");
    EXPECT_TRUE(SaveDocPicture("placement.png", client.last));
    ASSERT_TRUE(PressNamedKey(client.session, "Return"));
    // The client fires first in the first game; the server waits.
    ASSERT_NO_FATAL_FAILURE(ExpectStartOfFire(server, kServerFleet, '1', false));
    ASSERT_NO_FATAL_FAILURE(ExpectStartOfFire(client, kClientFleet, '2', true));

    const auto targets = FleetCells(kServerFleet);
    const auto water = WaterOf(kClientFleet);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        ASSERT_NO_FATAL_FAILURE(Fire(client, server, targets[i].first, targets[i].second, true));
        if (i == kShotsBeforePicture) {
            EXPECT_TRUE(SaveDocPicture("match.png", client.last));
        }
        if (i + 1 < targets.size()) {
            ASSERT_NO_FATAL_FAILURE(Fire(server, client, water[i].first, water[i].second, false));
        }
    }
    // Both turn indicators are dark while the result shows, and the log keeps the score.
    Wait(
        server,
        [](const Frame& f) {
            return ResultShows(f, false) && PixelAt(f, 2, 1) == kWhitePixel &&
                   LogShows(f, "Spiel 1 verloren - Stand 0:1");
        },
        kAnswerTimeoutMs, "Verloren and the score");
    Wait(
        client,
        [](const Frame& f) {
            return ResultShows(f, true) && PixelAt(f, 2, 1) == kWhitePixel &&
                   LogShows(f, "Spiel 1 gewonnen - Stand 1:0");
        },
        kAnswerTimeoutMs, "Gewonnen and the score");
    EXPECT_TRUE(SaveDocPicture("result.png", client.last));
    EXPECT_EQ(CellsOn(server.last, false, kRedPixel), 30);
    EXPECT_EQ(CellsOn(client.last, true, kRedPixel), 30);
    EXPECT_EQ(CellsOn(client.last, false, kBluePixel), 29);

    // The next game: both boards cleared, placement again, the loser fires first.
    for (Player* p : {&server, &client}) {
        const std::uint32_t indicator = p == &server ? kYellowPixel : kWhitePixel;
        Wait(
            *p,
            [indicator](const Frame& f) {
                return Placing(f) && CellsOn(f, true, kWhitePixel) == 100 &&
                       CellsOn(f, false, kWhitePixel) == 100 && PixelAt(f, 2, 1) == indicator;
            },
            kNextGameTimeoutMs, "the next game's placement on cleared boards");
    }
    ASSERT_NO_FATAL_FAILURE(Place(server, kServerFleet));
    ASSERT_NO_FATAL_FAILURE(Place(client, kClientFleet));
    ASSERT_NO_FATAL_FAILURE(ExpectStartOfFire(server, kServerFleet, '1', true));
    ASSERT_NO_FATAL_FAILURE(ExpectStartOfFire(client, kClientFleet, '2', false));
    // The server wins the second game: the score is even.
    const auto clientShips = FleetCells(kClientFleet);
    const auto serverWater = WaterOf(kServerFleet);
    for (std::size_t i = 0; i < clientShips.size(); ++i) {
        ASSERT_NO_FATAL_FAILURE(
            Fire(server, client, clientShips[i].first, clientShips[i].second, true));
        if (i + 1 < clientShips.size()) {
            ASSERT_NO_FATAL_FAILURE(
                Fire(client, server, serverWater[i].first, serverWater[i].second, false));
        }
    }
    Wait(
        server, [](const Frame& f) { return LogShows(f, "Spiel 2 gewonnen - Stand 1:1"); },
        kAnswerTimeoutMs, "the score after the second game");
    Wait(
        client, [](const Frame& f) { return LogShows(f, "Spiel 2 verloren - Stand 1:1"); },
        kAnswerTimeoutMs, "the score after the second game");

    // One close request ends the client; the server sees the loss.
    ASSERT_TRUE(SendCloseRequest(client.session));
    EXPECT_EQ(0, WaitForGameExit(client.session, kExitTimeoutMs));
    Wait(server, Disconnected, kAnswerTimeoutMs, "the lost connection");

    // A new client starts a fresh game, and fires first as in a first game.
    ASSERT_NO_FATAL_FAILURE(StartClient(second));
    ASSERT_NO_FATAL_FAILURE(Connect(second, '2'));
    Wait(
        server,
        [](const Frame& f) {
            return Connected(f) && PlayerDigitShows(f, '1') && Placing(f) &&
                   CellsOn(f, false, kWhitePixel) == 100 && PixelAt(f, 2, 1) == kWhitePixel;
        },
        kConnectTimeoutMs, "the new connection on cleared boards");
    ASSERT_NO_FATAL_FAILURE(Place(server, kServerFleet));
    ASSERT_NO_FATAL_FAILURE(Place(second, kClientFleet));
    ASSERT_NO_FATAL_FAILURE(ExpectStartOfFire(server, kServerFleet, '1', false));
    ASSERT_NO_FATAL_FAILURE(ExpectStartOfFire(second, kClientFleet, '2', true));
    ASSERT_NO_FATAL_FAILURE(Fire(second, server, 5, 1, true));

    for (Player* p : {&server, &second}) {
        ASSERT_TRUE(SendCloseRequest(p->session));
        EXPECT_EQ(0, WaitForGameExit(p->session, kExitTimeoutMs)) << p->name;
    }
}

TEST_F(NetworkMatch, ARawPeerCannotForgeAnswersNorFireOutOfTurn) {
    ASSERT_NO_FATAL_FAILURE(StartServer(server));
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_GE(raw, 0);
    ASSERT_NO_FATAL_FAILURE(Connect(server, '1'));
    // A second request while connected is closed at once.
    refused = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_GE(refused, 0);
    EXPECT_TRUE(ClosedByPeer(refused, kAnswerTimeoutMs));

    // A shot before the game runs is not acted on.
    ASSERT_TRUE(SendRaw(raw, "SHOT:00"));
    ASSERT_NO_FATAL_FAILURE(Place(server, kServerFleet));
    EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:R");
    Wait(
        server,
        [](const Frame& f) {
            return PhaseShows(f, 308, "Warte...") && SmallCellIs(f, 1, 1, kGreyPixel);
        },
        kAnswerTimeoutMs, "the wait for the opponent with its fleet untouched");

    // Ready and a shot joined in one piece, the shot itself split in two.
    ASSERT_TRUE(SendRaw(raw, "SYST:RSHOT:0"));
    ASSERT_TRUE(SendRaw(raw, "0"));
    EXPECT_EQ(ReadRaw(raw, 8, kAnswerTimeoutMs), "SYST:H00");
    Wait(
        server,
        [](const Frame& f) {
            return SmallCellIs(f, 1, 1, kRedPixel) && PixelAt(f, 2, 1) == kYellowPixel;
        },
        kAnswerTimeoutMs, "the hit on its small board and its turn");

    // It is the server's turn now: a shot out of turn gets no answer.
    ASSERT_TRUE(SendRaw(raw, "SHOT:11"));
    EXPECT_EQ(ReadRaw(raw, 1, kQuietMs), "");
    ASSERT_TRUE(ReadFrame(server.session, server.last));
    EXPECT_TRUE(SmallCellIs(server.last, 2, 2, kWhitePixel));

    // The server fires; a forged answer for another cell changes nothing.
    ASSERT_TRUE(MovePointer(server.session, CellCentre(5), CellCentre(5)) &&
                PressButton(server.session, Button::kLeft));
    const std::string shot = ReadRaw(raw, 7, kAnswerTimeoutMs);
    ASSERT_TRUE(ReleaseButton(server.session, Button::kLeft));
    EXPECT_EQ(shot, "SHOT:44");
    ASSERT_TRUE(SendRaw(raw, "SYST:H99"));
    EXPECT_EQ(ReadRaw(raw, 1, kQuietMs), "");
    ASSERT_TRUE(ReadFrame(server.session, server.last));
    EXPECT_TRUE(BigCellIs(server.last, 10, 10, kWhitePixel));
    EXPECT_TRUE(BigCellIs(server.last, 5, 5, kWhitePixel));
    EXPECT_EQ(PixelAt(server.last, 2, 1), kYellowPixel);

    // The real answer, split, with the peer's next shot joined to its end.
    ASSERT_TRUE(SendRaw(raw, "SYST:W4"));
    ASSERT_TRUE(SendRaw(raw, "4SHOT:52"));
    EXPECT_EQ(ReadRaw(raw, 8, kAnswerTimeoutMs), "SYST:W52");
    Wait(
        server,
        [](const Frame& f) {
            return BigCellIs(f, 5, 5, kBluePixel) && SmallCellIs(f, 6, 3, kBluePixel) &&
                   PixelAt(f, 2, 1) == kYellowPixel;
        },
        kAnswerTimeoutMs, "the answer on its big board and the peer's shot on its small one");

    // The peer vanishes; the next one is taken.
    CloseRaw(raw);
    Wait(server, Disconnected, kAnswerTimeoutMs, "the lost connection");
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_GE(raw, 0);
    ASSERT_NO_FATAL_FAILURE(Connect(server, '1'));
    ASSERT_TRUE(SendCloseRequest(server.session));
    EXPECT_EQ(0, WaitForGameExit(server.session, kExitTimeoutMs));
}

// Whoever reads the close request (the main thread's wait, the placement
// screen, the turn loop's wait for the opponent), one is enough; a client
// still connecting does not wait for its 60-second time-out.
TEST_F(NetworkMatch, ASingleCloseRequestEndsTheProgramInEveryPhase) {
    struct Phase {
        const char* what;
        std::function<void()> reach;
    };
    const Phase phases[] = {
        {"connecting to an address where nothing listens", [this] { ReachConnecting(); }},
        {"waiting for a client", [this] { ReachServerWaiting(); }},
        {"placing ships", [this] { ReachPlacing(); }},
        {"waiting for the opponent's Ready", [this] { ReachWaitingForReady(); }},
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.what);
        ASSERT_NO_FATAL_FAILURE(phase.reach());
        ASSERT_EQ(kStillRunning, WaitForGameExit(server.session, 0));
        ASSERT_TRUE(SendCloseRequest(server.session));
        EXPECT_EQ(0, WaitForGameExit(server.session, kExitTimeoutMs));
        EndSession(server.session);
        CloseRaw(raw);
    }
}

}  // namespace
}  // namespace e2e
