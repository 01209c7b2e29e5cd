// The lobby in offscreen mode: help lines, address entry with injected keys
// and clicks, and the choice among the three ways to play.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "game/core/board.h"
#include "game/match/lobby.h"
#include "game/match/network_match.h"
#include "game/match/program.h"
#include "screen/font_cp437.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using game::AddressText;
using game::ScreenMutex;
using testing_support::CountColour;
using testing_support::TextAt;
using testing_support::WaitUntil;

constexpr Point kOutside{10, 390};  // the small board: no zone of the lobby
constexpr Point kConnectButton{340, 240};
constexpr Point kAddressField{340, 170};

class Lobby : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        DrawStaticScreen();
        ResetInput();
        SetPausesEnabled(false);
        AddressText.clear();
        MutexDestroy(ScreenMutex);
        ScreenMutex = nullptr;
        game::MyTurn.store(0);
    }
    void TearDown() override {
        ResetInput();
        SetPausesEnabled(true);
    }
};

void TypeAndWait(const std::string& key) {
    InjectKey(key);
    ASSERT_TRUE(WaitUntil([] { return QueuedKeyCount() == 0; }));
}

// Runs the address entry on its own thread, feeds it the keys one by one, then
// ends it with a left click at `end`.
void EnterAddress(const std::vector<std::string>& keys, Point end = kOutside) {
    std::thread entry(game::AddressEntry, game::EndProgram);
    for (const std::string& key : keys)
        TypeAndWait(key);
    InjectClick(end.x, end.y, kButtonLeft);
    entry.join();
    InjectMouseAway();
}

std::vector<std::string> Keys(const std::string& text) {
    std::vector<std::string> keys;
    for (char c : text)
        keys.emplace_back(1, c);
    return keys;
}

bool StatusPanelBlankApartFrom(int inkPixels) {
    const Rect& r = kStatusInterior;
    const int area = (r.x2 - r.x1 + 1) * (r.y2 - r.y1 + 1);
    return CountColour(r.x1, r.y1, r.x2, r.y2, kWhite) == area - inkPixels &&
           CountColour(r.x1, r.y1, r.x2, r.y2, kBlack) == inkPixels;
}

int InkOf(const std::string& text) {
    int pixels = 0;
    for (unsigned char c : text) {
        for (std::uint8_t row : kFontCp437[c])
            pixels += std::popcount(row);
    }
    return pixels;
}

TEST_F(Lobby, HelpLinesFillTheFirstEightRowsWithTheirExactBytes) {
    if (!LogSlot(0).empty()) GTEST_SKIP() << "log already used in this process";
    game::ShowHelpLines();
    const std::string line4 = "Zu Server verbinden: IP eingeben  und \"Verbinden\"";
    const std::string line6 = "Spiel gegen PC: \"KI\" bei IP       eingeben und \"Verbinden\"";
    EXPECT_EQ(LogSlot(0), " ");
    EXPECT_EQ(LogSlot(1), "Um Server zu starten: \"Verbinden\"");
    EXPECT_EQ(LogSlot(2), " ");
    EXPECT_EQ(LogSlot(3), line4);
    EXPECT_EQ(LogSlot(4), "und \"Verbinden\"");
    EXPECT_EQ(LogSlot(5), " ");
    EXPECT_EQ(LogSlot(6), line6);
    EXPECT_EQ(LogSlot(7), "eingeben und \"Verbinden\"");
    EXPECT_EQ(LogSlot(8), "");
    // The padding blanks end the first row of each long line exactly at the wrap.
    EXPECT_EQ(line4.substr(32, 2), "  ");
    EXPECT_EQ(line6.substr(27, 7), "       ");
    EXPECT_TRUE(TextAt(127, 334, line4.substr(0, 34), kBlack, kWhite));
}

TEST_F(Lobby, AFullAddressShowsOnTwoRows) {
    EnterAddress(Keys("192.168.100.200"));
    EXPECT_EQ(AddressText, "192.168.100.200");
    EXPECT_TRUE(TextAt(308, 165, "192.168.", kBlack, kWhite));
    EXPECT_TRUE(TextAt(312, 175, "100.200", kBlack, kWhite));
    EXPECT_TRUE(StatusPanelBlankApartFrom(InkOf("192.168.") + InkOf("100.200")));
}

// Up to 14 characters fit the field's width, so a dotted address reads as typed.
TEST_F(Lobby, AnAddressThatFitsIsCentredOnOneRow) {
    for (const std::string address : {"10.0.0", "192.168.1.20", "192.168.100.20"}) {
        EnterAddress(Keys(address));
        EXPECT_EQ(AddressText, address);
        const int x = 340 - 4 * static_cast<int>(address.size());
        EXPECT_TRUE(TextAt(x, 170, address, kBlack, kWhite)) << address;
        EXPECT_TRUE(StatusPanelBlankApartFrom(InkOf(address))) << address;
    }
}

TEST_F(Lobby, TheSixteenthCharacterIsIgnored) {
    EnterAddress(Keys("1234567890123456"));
    EXPECT_EQ(AddressText, "123456789012345");
    EXPECT_TRUE(TextAt(308, 165, "12345678", kBlack, kWhite));
    EXPECT_TRUE(TextAt(312, 175, "9012345", kBlack, kWhite));
}

TEST_F(Lobby, OnlyDigitsFullStopAndTheLettersAIKAreAccepted) {
    EnterAddress({"x", "k", "Z", ",", "I", "-", "b", "\xFC", "a", "\xFF\x48", "\t", " ", "9",
                  std::string(1, kKeyEscape), "."});
    EXPECT_EQ(AddressText, "kIa9.");
    EXPECT_TRUE(TextAt(340 - 4 * 5, 170, "kIa9.", kBlack, kWhite));
}

TEST_F(Lobby, BackspaceRemovesTheLastCharacterAndIsHarmlessOnAnEmptyField) {
    EnterAddress({std::string(1, kKeyBackspace)});
    EXPECT_EQ(AddressText, "");
    EXPECT_TRUE(StatusPanelBlankApartFrom(0));  // "IP eingeben" is gone
    EnterAddress({"1", "2", std::string(1, kKeyBackspace)});
    EXPECT_EQ(AddressText, "1");
    EXPECT_TRUE(TextAt(336, 170, "1", kBlack, kWhite));
    EXPECT_TRUE(StatusPanelBlankApartFrom(InkOf("1")));
}

TEST_F(Lobby, EnterOnAnEmptyFieldStartsNothing) {
    EnterAddress({std::string(1, kKeyEnter)});
    EXPECT_EQ(ScreenMutex, nullptr);
    EXPECT_EQ(AddressText, "");
}

TEST_F(Lobby, ANewClickIntoTheFieldClearsTheAddress) {
    EnterAddress(Keys("10.0.0.1"));
    EXPECT_EQ(AddressText, "10.0.0.1");
    EnterAddress({});
    EXPECT_EQ(AddressText, "");
    EXPECT_TRUE(StatusPanelBlankApartFrom(0));
}

// The connection layer is not running here, so the server cannot be created:
// the code shows in the panel and the lobby has control again.
TEST_F(Lobby, ConnectWithAnEmptyAddressTakesTheServerPathAndComesBackOnFailure) {
    game::Connect(game::EndProgram);
    EXPECT_NE(ScreenMutex, nullptr);
    EXPECT_EQ(game::MyTurn.load(), 0);
    EXPECT_EQ(game::PlayerNumber, 0);
    EXPECT_TRUE(TextAt(304, 170, "Fehler: -20", kBlack, kWhite));
}

// Without the connection layer both starts fail at once and come back to the lobby with the
// code in the panel and its reason in the log; the client's address stays for another try.
TEST_F(Lobby, ConnectWithAnyOtherAddressTakesTheClientPathAndComesBackOnFailure) {
    AddressText = "10.0.0.1";
    game::Connect(game::EndProgram);
    EXPECT_EQ(AddressText, "10.0.0.1");
    EXPECT_EQ(game::PlayerNumber, 0);
    EXPECT_TRUE(TextAt(304, 170, "Fehler: -20", kBlack, kWhite));
    EXPECT_EQ(testing_support::NewestLogLine(ScreenMutex), "Das Netzwerk ist nicht gestartet");
}

// The computer match never returns, so it runs in a child process that reports
// what it saw through its exit status, after a close request ended the match.
void ExpectComputerMatchFor(const std::string& typed) {
    testing_support::UseFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            OpenOffscreen();
            DrawStaticScreen();
            AddressText = typed;
            std::thread([] { game::Connect(game::EndProgram); }).detach();
            const bool shown = WaitUntil(
                [] { return TextAt(332, 170, "KI", kBlack, kWhite) && game::MyTurn.load() == 1; });
            if (!shown) std::_Exit(1);
            InjectKey(kCloseRequest);
            std::this_thread::sleep_for(std::chrono::seconds(10));
            std::_Exit(2);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Lobby, KIAndAIInAnyCaseStartTheComputerMatch) {
    for (const char* typed : {"KI", "ki", "Ki", "aI", "AI"})
        ExpectComputerMatchFor(typed);
}

TEST_F(Lobby, ACloseRequestWhileTypingEndsTheProgramWithStatusZero) {
    testing_support::UseFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            OpenOffscreen();
            InjectKey("1");
            InjectKey(kCloseRequest);
            game::AddressEntry(game::EndProgram);
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The lobby loop on its own thread. After a failed assertion it may still run:
// it is then left behind, so the failure is reported instead of the test
// binary ending in std::terminate.
struct LobbyThread {
    std::thread thread{game::LobbyLoop, game::EndProgram};
    ~LobbyThread() {
        if (thread.joinable()) thread.detach();
    }
    void CloseAndJoin() {
        InjectMouseAway();
        InjectKey(kCloseRequest);
        thread.join();
    }
};

TEST_F(Lobby, IdleStepEndsOnACloseRequestAndDropsOtherKeys) {
    LobbyThread lobby;
    InjectKey("1");
    InjectKey(std::string(1, kKeyEnter));
    ASSERT_TRUE(WaitUntil([] { return QueuedKeyCount() == 0; }));
    lobby.CloseAndJoin();
    EXPECT_EQ(QueuedKeyCount(), 0);
    EXPECT_EQ(ScreenMutex, nullptr);
    EXPECT_EQ(AddressText, "");
}

TEST_F(Lobby, IdleClicksOpenTheFieldOrConnect) {
    LobbyThread lobby;
    // A click on "Verbinden" with no address starts the server, which cannot be
    // created without the connection layer: its code shows, once.
    InjectClick(kConnectButton.x, kConnectButton.y, kButtonLeft);
    ASSERT_TRUE(WaitUntil([] { return TextAt(304, 170, "Fehler: ", kBlack, kWhite); }));
    lobby.CloseAndJoin();
    EXPECT_NE(ScreenMutex, nullptr);
}

// A held button re-enters the address entry at every pass of the idle step,
// so the release lands either in the entry, which then takes the next key, or
// in the idle step, which drops it. Each round marks the panel, clicks until an
// entry has cleared the mark, releases and types; it ends once the key shows.
bool AKeyTypedAfterAnIdleClickShows() {
    constexpr int kRounds = 50;
    constexpr std::chrono::milliseconds kKeyShowsWithin{200};
    const Rect& panel = kStatusInterior;
    for (int round = 0; round < kRounds; ++round) {
        FillBox(panel.x1, panel.y1, panel.x1, panel.y1, kBlack);
        InjectClick(kAddressField.x, kAddressField.y, kButtonLeft);
        if (!WaitUntil([] { return StatusPanelBlankApartFrom(0); })) return false;
        InjectMouseAway();
        InjectKey("7");
        if (!WaitUntil([] { return QueuedKeyCount() == 0; })) return false;
        if (WaitUntil([] { return TextAt(336, 170, "7", kBlack, kWhite); }, kKeyShowsWithin))
            return true;
    }
    return false;
}

// The entry keeps running without a click, so the close request is its own,
// and a close request in the entry ends the program with status 0.
TEST_F(Lobby, AnIdleClickIntoTheFieldStartsTheAddressEntry) {
    testing_support::UseFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            std::thread(game::LobbyLoop, game::EndProgram).detach();
            if (!AKeyTypedAfterAnIdleClickShows()) std::_Exit(1);
            InjectKey(kCloseRequest);
            std::this_thread::sleep_for(std::chrono::seconds(10));
            std::_Exit(2);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Lobby, ClicksWithOtherButtonsOrOnZoneEdgesDoNothing) {
    LobbyThread lobby;
    for (Point p : {Point{280, 170}, Point{340, 140}, Point{340, 205}, Point{340, 210}}) {
        InjectClick(p.x, p.y, kButtonLeft);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    InjectClick(kConnectButton.x, kConnectButton.y, kButtonLeft | kButtonRight);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lobby.CloseAndJoin();
    EXPECT_EQ(ScreenMutex, nullptr);
    EXPECT_TRUE(TextAt(296, 170, "IP eingeben", kBlack, kWhite));
}

}  // namespace
