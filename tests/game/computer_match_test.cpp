// The match against the computer in offscreen mode: the player's phase with
// injected clicks, and the result shown at the end of a match.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "game/core/board.h"
#include "game/core/computer_player.h"
#include "game/core/computer_player_testing.h"
#include "game/match/computer_match.h"
#include "game/match/program.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using testing_support::CountColour;
using testing_support::NewestLogLine;
using testing_support::TextAt;
using testing_support::WaitUntil;

bool LogRowShows(const std::string& text) {
    for (int slot = 0; slot < kLogSlots; ++slot) {
        if (TextAt(127, 304 + 10 * slot, text, kBlack, kWhite)) return true;
    }
    return false;
}

int FiredCells() {
    int fired = 0;
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r)
            fired += game::Cell(game::PlayerShots, c, r);
    }
    return fired;
}

Colour CellColour(int column, int row) {
    const Point p = TargetProbe(column, row);
    return ReadPixel(p.x + 12, p.y + 12);
}

bool TurnIndicatorIs(Colour colour) {
    return CountColour(1, 1, 24, 24, colour) == 24 * 24 - 24;
}

class Match : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        DrawStaticScreen();
        ResetInput();
        SetPausesEnabled(false);
        game::ClearBoard(game::PlayerShots);
        game::ClearBoard(game::ComputerFleet);
        game::EnemyCellsLeft = game::kFleetCells;
        game::OwnCellsLeft = game::kFleetCells;
        game::MyTurn.store(0);
        LogLine("-");
    }
    void TearDown() override {
        ResetInput();
        SetPausesEnabled(true);
    }
    // One pass of the player's phase (MyTurn 0) with a click as given.
    void PollOnce(int x, int y, int buttons) {
        InjectClick(x, y, buttons);
        game::PlayerPhase(game::EndProgram);
        InjectMouseAway();
    }
};

TEST_F(Match, ClicksMapToCellsAndGridLinePixelsCountLeftAndUp) {
    PollOnce(26, 30, kButtonLeft);
    EXPECT_EQ(game::Cell(game::PlayerShots, 1, 1), 1);
    PollOnce(50, 75, kButtonLeft);  // right and bottom grid lines of cells (1, 1) and (1, 2)
    EXPECT_EQ(game::Cell(game::PlayerShots, 1, 2), 1);
    PollOnce(51, 30, kButtonLeft);
    EXPECT_EQ(game::Cell(game::PlayerShots, 2, 1), 1);
    PollOnce(275, 275, kButtonLeft);
    EXPECT_EQ(game::Cell(game::PlayerShots, 10, 10), 1);
    EXPECT_EQ(FiredCells(), 4);
    EXPECT_EQ(CellColour(2, 1), kWaterBlue);
    EXPECT_EQ(NewestLogLine(), "Wasser");
}

TEST_F(Match, ClicksOnTheBoardEdgeOrWithOtherButtonsAreIgnored) {
    for (auto [x, y] : {std::pair{25, 100}, {276, 100}, {100, 25}, {100, 276}}) {
        PollOnce(x, y, kButtonLeft);
    }
    PollOnce(100, 100, kButtonLeft | kButtonRight);
    PollOnce(100, 100, kButtonRight);
    EXPECT_EQ(FiredCells(), 0);
    EXPECT_EQ(NewestLogLine(), "-");
}

TEST_F(Match, AHitIsReportedPaintedAndCounted) {
    game::Cell(game::ComputerFleet, 3, 3) = 1;
    game::MyTurn.store(1);
    PollOnce(90, 90, kButtonLeft);
    EXPECT_EQ(NewestLogLine(), "Du hast ein Schiff getroffen");
    EXPECT_EQ(CellColour(3, 3), kHitRed);
    EXPECT_EQ(game::EnemyCellsLeft, game::kFleetCells - 1);
    EXPECT_TRUE(TurnIndicatorIs(kTurnYellow));
}

TEST_F(Match, ACellFiredAtBeforeIsRefusedAndCostsNoTurn) {
    game::Cell(game::PlayerShots, 4, 4) = 1;
    game::MyTurn.store(1);
    InjectClick(110, 110, kButtonLeft);
    std::thread phase(game::PlayerPhase, game::EndProgram);
    // The phase runs alone, without a screen mutex, so the test watches the
    // picture (the frame buffer has its own lock) rather than the log's slots.
    ASSERT_TRUE(WaitUntil([] { return LogRowShows("Das Feld wurde bereits beschossen"); }));
    InjectClick(160, 110, kButtonLeft);
    phase.join();
    EXPECT_EQ(game::Cell(game::PlayerShots, 6, 4), 1);
    EXPECT_EQ(NewestLogLine(), "Wasser");
    EXPECT_EQ(CellColour(4, 4), kWhite);
}

TEST_F(Match, ACloseRequestInThePlayersPhaseEndsTheProgram) {
    testing_support::UseFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            game::MyTurn.store(1);
            InjectKey(kCloseRequest);
            game::PlayerPhase(game::EndProgram);
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The exchange of fire, with a computer whose every shot hits: a full player
// fleet, one cell from defeat.
class Exchange : public Match {
   protected:
    void SetUp() override {
        Match::SetUp();
        game::StartComputerOpponent();
        for (int c = 1; c <= 10; ++c) {
            for (int r = 1; r <= 10; ++r)
                game::Cell(game::PlayerFleet, c, r) = 1;
        }
        game::OwnCellsLeft = 1;
        game::MyTurn.store(1);
    }
};

TEST_F(Exchange, ThePlayersLastHitEndsTheMatchBeforeTheComputerFires) {
    game::Cell(game::ComputerFleet, 3, 3) = 1;
    game::EnemyCellsLeft = 1;
    const auto shots = game::ComputerShotCount();
    InjectClick(90, 90, kButtonLeft);
    game::ExchangeFire(game::EndProgram);
    EXPECT_EQ(game::EnemyCellsLeft, 0);
    EXPECT_EQ(game::ComputerShotCount(), shots);
    EXPECT_EQ(game::OwnCellsLeft, 1);
}

TEST_F(Exchange, TheComputersLastHitEndsTheMatchWithTheIndicatorDark) {
    const auto shots = game::ComputerShotCount();
    InjectClick(90, 90, kButtonLeft);  // water
    game::ExchangeFire(game::EndProgram);
    EXPECT_EQ(game::ComputerShotCount(), shots + 1);
    EXPECT_EQ(game::OwnCellsLeft, 0);
    EXPECT_EQ(game::MyTurn.load(), 1);
    EXPECT_TRUE(TurnIndicatorIs(kWhite));  // not lit again after the computer's turn
    EXPECT_EQ(NewestLogLine(), "Dein Schiff wurde getroffen");
}

// The result is held for two seconds, so these run with real pauses.
class MatchResult : public Match {
   protected:
    void SetUp() override {
        Match::SetUp();
        SetPausesEnabled(true);
        ShowPhaseLabel(Label{{288, 240}, "Spiel startet"});
        PaintTurnIndicator(kTurnYellow);
    }
};

void ExpectResult(Colour background, const char* text) {
    std::thread finish(game::FinishMatch);
    // The result is complete once the label stands on the colour and the turn
    // indicator is white; all of it shows during the two-second pause.
    ASSERT_TRUE(WaitUntil([&] {
        return ReadPixel(281, 211) == background && TextAt(308, 240, text, kBlack, background) &&
               TurnIndicatorIs(kWhite);
    }));
    const int inside = CountColour(281, 211, 398, 274, background);
    finish.join();
    // The background returns to white; the letters, and any counters they
    // enclose, stay until the next label is drawn.
    const int leftInLetters = CountColour(308, 240, 371, 247, background);
    EXPECT_EQ(CountColour(281, 211, 398, 274, kWhite) + leftInLetters, inside);
    EXPECT_GT(CountColour(308, 240, 371, 247, kBlack), 0);
    EXPECT_EQ(game::EnemyCellsLeft, game::kFleetCells);
    EXPECT_EQ(game::OwnCellsLeft, game::kFleetCells);
}

TEST_F(MatchResult, AWinShowsGewonnenOnBlueAndTheComputerOpensTheNextMatch) {
    game::EnemyCellsLeft = 0;
    game::OwnCellsLeft = 3;
    ExpectResult(kWaterBlue, "Gewonnen");
    EXPECT_EQ(game::MyTurn.load(), 0);
}

TEST_F(MatchResult, ALossShowsVerlorenOnRedAndThePlayerOpensTheNextMatch) {
    game::EnemyCellsLeft = 7;
    game::OwnCellsLeft = 0;
    ExpectResult(kHitRed, "Verloren");
    EXPECT_EQ(game::MyTurn.load(), 1);
}

}  // namespace
