// What this side knows of the exchange with its opponent: when a shot may go
// out, which answer counts, and which file chunks must wait because their first
// bytes could pass for a message the opponent may receive now.
#include <gtest/gtest.h>

#include <string>

#include "game/core/match_state.h"
#include "game/wire/exchange.h"
#include "game/wire/plain_peer.h"

namespace {

TEST(ExchangeState, AShotBlocksTheNextOnlyUntilItsAnswerComesOrItCountsAsLost) {
    game::StartExchange(false);
    EXPECT_TRUE(game::MayFire(0));
    game::NoteShotSent("12", 1000);
    EXPECT_FALSE(game::MayFire(1000 + game::kShotAnswerTimeoutMs - 1));
    EXPECT_TRUE(game::MayFire(1000 + game::kShotAnswerTimeoutMs));
    EXPECT_TRUE(game::AnswersPendingShot("12"));
    EXPECT_FALSE(game::AnswersPendingShot("21"));
    game::NoteAnswerReceived(false);
    EXPECT_FALSE(game::AnswersPendingShot("12"));
    EXPECT_TRUE(game::MayFire(1001));
}

// Each row: the messages this side has sent so far, then whether a chunk with
// each lead must wait.
TEST(ExchangeState, AChunkWaitsWhileItsLeadCouldPassForAMessageTheOpponentMayReceive) {
    enum Sent { kNothing, kReady, kReadyAndShot, kReadyShotAnswered, kAnsweredTheirShot };
    struct Row {
        Sent sent;
        const char* lead;
        bool mustWait;
    };
    const Row rows[] = {
        {kNothing, "SYST:R", true},
        {kReady, "SYST:R", false},
        {kReadyAndShot, "SYST:R", true},
        {kReady, "SHOT:12", true},
        {kReadyAndShot, "SHOT:12", false},
        {kReadyAndShot, "SYST:H34", true},
        {kAnsweredTheirShot, "SYST:W56", false},
        {kAnsweredTheirShot, "SHOT:12", true},
        {kReadyShotAnswered, "SYST:H34", true},
        {kNothing, "NACHR:\x02hiSYST:R", true},
        {kReady, "NACHR:\x02hiSYST:R", false},
        {kReadyAndShot, "DATA:x?1", false},
        {kReadyAndShot, "SYST:j", false},
        {kReadyAndShot, "SYST:n", false},
    };
    for (const Row& row : rows) {
        game::StartExchange(false);
        if (row.sent != kNothing) game::NoteReadySent();
        if (row.sent != kNothing && row.sent != kReady) game::NoteShotSent("00", 0);
        if (row.sent == kReadyShotAnswered || row.sent == kAnsweredTheirShot)
            game::NoteAnswerReceived(false);
        if (row.sent == kAnsweredTheirShot) game::NoteAnswerSent(false);
        EXPECT_EQ(game::ChunkMustWait(std::string(row.lead) + "rest of the chunk"), row.mustWait)
            << row.lead << " after " << row.sent;
    }
}

}  // namespace
