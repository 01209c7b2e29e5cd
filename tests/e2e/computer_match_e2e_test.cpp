// End-to-end tests of the match against the computer: the real binary in its
// own X server, played with synthetic clicks and keys from the lobby through
// placement and the exchange of fire to the result and the next match.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "screen/graphics.h"
#include "screen/layout.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/expected_screen.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/png_writer.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr char kOutputDir[] = MAREVANT_E2E_OUTPUT_DIR;

constexpr int kStatusPanelX = 340;
constexpr int kStatusPanelY = 172;
constexpr int kKeyPauseMs = 80;
// A whole match: about 60 turns of the computer with half a second each.
// The next match's computer placement runs between the result and placement.
constexpr int kNextMatchTimeoutMs = 20000;
constexpr int kResultHoldMs = 2000;
constexpr int kResultHoldToleranceMs = 150;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kGrey = 0x696969;
constexpr std::uint32_t kRed = 0xEE0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kYellow = 0xFFFF00;

struct ShipClick {
    int column;
    int row;
    Button button;  // left: to the right, right: downwards
    int length;
};

// A legal fleet in the order the placement screen asks for the ships.
constexpr ShipClick kFleet[] = {
    {1, 1, Button::kLeft, 5},   {1, 3, Button::kLeft, 4}, {1, 5, Button::kLeft, 4},
    {1, 7, Button::kLeft, 3},   {1, 9, Button::kLeft, 3}, {7, 1, Button::kLeft, 3},
    {10, 3, Button::kRight, 2}, {7, 5, Button::kLeft, 2}, {7, 7, Button::kLeft, 2},
    {7, 9, Button::kLeft, 2},
};

int CellCentre(int index) {
    return 25 * index + 12;
}

bool CellIs(const Frame& frame, int column, int row, std::uint32_t colour) {
    const screen::Point p = screen::TargetProbe(column, row);
    for (int y = p.y; y < p.y + 24; ++y) {
        for (int x = p.x; x < p.x + 24; ++x) {
            if (PixelAt(frame, x, y) != colour) return false;
        }
    }
    return true;
}

int CellsOn(const Frame& frame, bool bigBoard, std::uint32_t colour) {
    int cells = 0;
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            const screen::Point p = bigBoard ? screen::TargetProbe(c, r) : screen::FleetProbe(c, r);
            cells += PixelAt(frame, p.x, p.y) == colour ? 1 : 0;
        }
    }
    return cells;
}

bool ShipStands(const Frame& frame, const ShipClick& ship) {
    for (int s = 0; s < ship.length; ++s) {
        const bool right = ship.button == Button::kLeft;
        if (!CellIs(frame, ship.column + (right ? s : 0), ship.row + (right ? 0 : s), kGrey)) {
            return false;
        }
    }
    return true;
}

bool PhaseLabel(const Frame& frame, int x, std::string_view label) {
    return TextShows(frame, x, 240, label, kBlack, kWhite);
}

// The whole result: the label on its colour and the turn indicator dark again.
bool ResultShown(const Frame& frame) {
    const std::uint32_t background = PixelAt(frame, 281, 211);
    const bool label =
        (background == kBlue && TextShows(frame, 308, 240, "Gewonnen", kBlack, kBlue)) ||
        (background == kRed && TextShows(frame, 308, 240, "Verloren", kBlack, kRed));
    return label && PixelAt(frame, 2, 1) == kWhite && PixelAt(frame, 1, 2) == kWhite;
}

std::vector<Ship> FleetOf(const ShipClick (&clicks)[10]) {
    std::vector<Ship> fleet;
    for (const ShipClick& c : clicks)
        fleet.push_back({c.column, c.row, c.button == Button::kLeft, c.length});
    return fleet;
}

// The picture when the exchange of fire begins, drawn offscreen from the ship
// list alone: fleet on the small board, empty big board, lit turn indicator.
Frame ExpectedStartOfFire() {
    StartExpectedFrame();
    const screen::Rect& field = screen::kStatusInterior;
    screen::FillBox(field.x1, field.y1, field.x2, field.y2, screen::kWhite);
    screen::DrawText(332, 170, "KI", screen::kBlack);
    DrawExpectedFleet(FleetOf(kFleet));
    screen::ShowPhaseLabel(screen::Label{{288, 240}, "Spiel startet"});
    screen::PaintTurnIndicator(screen::kTurnYellow);
    return CaptureOffscreen();
}

class ComputerMatchEndToEnd : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_TRUE(StartSession(session, kGameBinary)) << "no game window"; }
    void TearDown() override { EndSession(session); }

    // On a time-out the window's last picture is kept beside the test output.
    void Wait(const FrameCheck& check, int timeoutMs, const char* what) {
        if (WaitForFrame(session, check, timeoutMs, last)) return;
        const std::string name = std::string(kOutputDir) + "/" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 "-actual.png";
        std::filesystem::create_directories(kOutputDir);
        WritePng(name, last, kFrameWidth, kFrameHeight);
        FAIL() << "never saw " << what << " (last picture: " << name << ")";
    }

    void StartComputerMatch() {
        Wait([](const Frame& f) { return TextShows(f, 296, 170, "IP eingeben", kBlack, kWhite); },
             kFrameTimeoutMs, "the lobby");
        ASSERT_TRUE(ClickUntil(
            session, kStatusPanelX, kStatusPanelY, Button::kLeft,
            [](const Frame& f) { return !TextShows(f, 296, 170, "IP eingeben", kBlack, kWhite); },
            last));
        ASSERT_TRUE(TypeText(session, "ki", kKeyPauseMs));
        ASSERT_TRUE(PressNamedKey(session, "Return"));
        Wait([](const Frame& f) { return PhaseLabel(f, 284, "Schiffe setzen"); },
             kNextMatchTimeoutMs, "the placement phase");
        EXPECT_TRUE(TextShows(last, 332, 170, "KI", kBlack, kWhite));
    }

    void PlaceFleet() {
        for (const ShipClick& ship : kFleet) {
            ASSERT_TRUE(ClickUntil(
                session, CellCentre(ship.column), CellCentre(ship.row), ship.button,
                [&ship](const Frame& f) { return ShipStands(f, ship); }, last))
                << "ship at " << ship.column << "," << ship.row << " never stood";
        }
        EXPECT_EQ(CellsOn(last, true, kGrey), 30);
        ASSERT_TRUE(PressNamedKey(session, "Return"));
        Wait([](const Frame& f) { return PhaseLabel(f, 288, "Spiel startet"); }, kFrameTimeoutMs,
             "the exchange of fire");
    }

    void FireUntilTheMatchEnds() {
        ASSERT_TRUE(FireUntilTheComputerMatchEnds(session, last)) << "the match did not end";
        Wait(ResultShown, kFrameTimeoutMs, "the result with the turn indicator dark");
    }

    Session session;
    Frame last;
};

TEST_F(ComputerMatchEndToEnd, AWholeMatchEndsWithTheResultAndTheNextMatchBegins) {
    ASSERT_NO_FATAL_FAILURE(StartComputerMatch());
    ASSERT_NO_FATAL_FAILURE(PlaceFleet());
    const Frame expected = ExpectedStartOfFire();
    Wait([&](const Frame& f) { return SameOutsideLog(f, expected); }, kFrameTimeoutMs,
         "the fleet on the small board and an empty big board");
    ASSERT_NO_FATAL_FAILURE(FireUntilTheMatchEnds());
    const auto resultSeen = Clock::now();
    std::filesystem::create_directories(kOutputDir);
    WritePng(std::string(kOutputDir) + "/computer-match-result.png", last, kFrameWidth,
             kFrameHeight);
    const bool won = PixelAt(last, 281, 211) == kBlue;
    // The winner's opponent fleet is all red: thirty hits on the big board when
    // the player won, on the small board when the computer did.
    EXPECT_EQ(CellsOn(last, won, kRed), 30);
    // The label comes first, then both boards are cleared for placement.
    Wait(
        [](const Frame& f) {
            return PhaseLabel(f, 284, "Schiffe setzen") && CellsOn(f, true, kWhite) == 100 &&
                   CellsOn(f, false, kWhite) == 100;
        },
        kNextMatchTimeoutMs, "the next match's placement on cleared boards");
    const auto held =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - resultSeen);
    EXPECT_GE(held.count(), kResultHoldMs - kResultHoldToleranceMs);
    EXPECT_EQ(PixelAt(last, 281, 211), kWhite);
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

TEST_F(ComputerMatchEndToEnd, ACloseRequestDuringPlacementEndsWithStatusZero) {
    ASSERT_NO_FATAL_FAILURE(StartComputerMatch());
    ASSERT_TRUE(ClickUntil(
        session, CellCentre(1), CellCentre(1), Button::kLeft,
        [](const Frame& f) { return ShipStands(f, kFleet[0]); }, last));
    ASSERT_EQ(kStillRunning, WaitForGameExit(session, 0));
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

TEST_F(ComputerMatchEndToEnd, ACloseRequestDuringTheExchangeOfFireEndsWithStatusZero) {
    ASSERT_NO_FATAL_FAILURE(StartComputerMatch());
    ASSERT_NO_FATAL_FAILURE(PlaceFleet());
    ASSERT_TRUE(ClickUntil(
        session, CellCentre(5), CellCentre(5), Button::kLeft,
        [](const Frame& f) { return !CellIs(f, 5, 5, kWhite); }, last));
    // The indicator goes dark for the computer's turn and lights up again after it.
    Wait([](const Frame& f) { return PixelAt(f, 2, 1) == kWhite; }, kFrameTimeoutMs,
         "the computer's turn");
    Wait([](const Frame& f) { return PixelAt(f, 2, 1) == kYellow; }, kFrameTimeoutMs,
         "the player's turn again");
    ASSERT_EQ(kStillRunning, WaitForGameExit(session, 0));
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

}  // namespace
}  // namespace e2e
