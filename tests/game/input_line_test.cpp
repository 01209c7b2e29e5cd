// The input line in offscreen mode, as the lobby runs it (no connection, so
// every line is chat that only echoes): editing, the visible 28 bytes and the
// cursor, and every way the field closes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "game/core/board.h"
#include "game/match/input_line.h"
#include "game/match/lobby.h"
#include "game/match/network_match.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using testing_support::TextAt;
using testing_support::WaitUntil;

constexpr int kFieldX = 127;
constexpr int kFieldY = 286;
constexpr Point kOutside{10, 390};
constexpr Point kSendButton{370, 290};
const std::string kEnter(1, kKeyEnter);

// The input line on its own thread; left behind after a failed assertion so
// the failure is reported instead of ending the test binary.
struct OpenField {
    std::atomic<bool> closed{false};
    std::thread thread{[this] {
        game::InputLine();
        closed.store(true);
    }};
    ~OpenField() {
        if (thread.joinable()) thread.detach();
    }
    bool Closes() {
        if (!WaitUntil([this] { return closed.load(); })) return false;
        thread.join();
        return true;
    }
};

void Type(const std::string& key) {
    InjectKey(key);
    ASSERT_TRUE(WaitUntil([] { return QueuedKeyCount() == 0; }));
}

void TypeEach(const std::string& text) {
    for (char c : text)
        ASSERT_NO_FATAL_FAILURE(Type(std::string(1, c)));
}

void Click(Point p) {
    InjectClick(p.x, p.y, kButtonLeft);
}

bool FieldShows(const std::string& visible) {
    const std::string blanks(28 - visible.size(), ' ');
    return TextAt(kFieldX, kFieldY, visible, kBlack, kWhite) &&
           (visible.size() == 28 || TextAt(kFieldX + 8 * static_cast<int>(visible.size()) + 8,
                                           kFieldY, blanks.substr(1), kBlack, kWhite));
}

bool CursorAt(int cells) {
    const int x = kFieldX + 8 * cells;
    for (int y = kFieldY; y <= kFieldY + 6; ++y) {
        if (ReadPixel(x, y) != kBlack) return false;
    }
    return true;
}

int LastLogSlot() {
    int slot = kLogSlots - 1;
    while (slot > 0 && LogSlot(slot).empty())
        --slot;
    return slot;
}

class InputField : public ::testing::Test {
   protected:
    void SetUp() override {
        OpenOffscreen();
        DrawStaticScreen();
        ResetInput();
        SetPausesEnabled(false);
        game::PlayerNumber = 0;
        game::QuitFlag.store(0);
        game::StopFlag.store(0);
        LogLine("-");
    }
    void TearDown() override {
        ResetInput();
        SetPausesEnabled(true);
    }
};

TEST_F(InputField, ShowsTheLast28BytesWithTheCursorAndEchoesTheLineAsChat) {
    OpenField field;
    ASSERT_TRUE(WaitUntil([] { return CursorAt(0); }));
    TypeEach("abcde");
    EXPECT_TRUE(WaitUntil([] { return FieldShows("abcde") && CursorAt(5); }));
    TypeEach("fghijklmnopqrstuvwxyz0123");
    EXPECT_TRUE(WaitUntil([] { return FieldShows("cdefghijklmnopqrstuvwxyz0123"); }));
    Type(std::string(1, kKeyBackspace));
    // Keys that type no character leave the line as it is: cursor up, F1, Delete, Escape, Tab.
    for (const char* key : {"\xFF\x48", "\xFF\x3B", "\xFF\x53", "\x1B", "\t", "\x7F"})
        Type(key);
    TypeEach("!?");
    const std::string line = "abcdefghijklmnopqrstuvwxyz012!?";
    EXPECT_TRUE(WaitUntil([&] { return FieldShows(line.substr(line.size() - 28)); }));
    Type(kEnter);
    ASSERT_TRUE(field.Closes());
    EXPECT_TRUE(FieldShows(""));
    const std::string echo = "0> " + line;  // 34 bytes: one row of the log, in blue
    EXPECT_EQ(LogSlot(LastLogSlot()), echo);
    EXPECT_TRUE(TextAt(127, 304 + 10 * LastLogSlot(), echo, kWaterBlue, kWhite));
}

// How the field closes: what the log and the flags show afterwards.
TEST_F(InputField, ClosesOnASendAClickOutsideOrACloseRequestOnly) {
    struct Case {
        const char* what;
        std::string typed;
        std::string end;  // a key, or empty for the click at `at`
        Point at;
        std::string newestLog;
        std::uint8_t quit;
    };
    const Case cases[] = {
        {"Enter on an empty line, then a click outside", "", kEnter, kOutside, "-", 0},
        {"the send button with a line", "hi", "", kSendButton, "0> hi", 0},
        {"the send button with an empty line", "", "", kSendButton, "-", 0},
        {"a close request", "ab", std::string(kCloseRequest), {}, "-", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        OpenField field;
        ASSERT_TRUE(WaitUntil([] { return CursorAt(0); }));
        TypeEach(c.typed);
        if (!c.end.empty()) Type(c.end);
        if (c.end == kEnter) {
            EXPECT_FALSE(
                WaitUntil([&] { return field.closed.load(); }, std::chrono::milliseconds(50)));
        }
        if (c.end.empty() || c.end == kEnter) Click(c.at);
        ASSERT_TRUE(field.Closes());
        InjectMouseAway();
        EXPECT_EQ(LogSlot(LastLogSlot()), c.newestLog);
        EXPECT_EQ(game::QuitFlag.load(), c.quit);
        EXPECT_EQ(game::StopFlag.load(), c.quit);
        // A close request leaves the field as it was; every other end erases it.
        EXPECT_TRUE(FieldShows(c.quit == 1 ? c.typed : ""));
    }
}

// Between keys the line sleeps: the end of its game still closes it at once, erased, and nothing
// typed before goes out.
TEST_F(InputField, TheEndOfTheGameClosesASleepingLine) {
    OpenField field;
    ASSERT_TRUE(WaitUntil([] { return CursorAt(0); }));
    TypeEach("ab");
    EXPECT_FALSE(WaitUntil([&] { return field.closed.load(); }, std::chrono::milliseconds(50)));
    game::RaiseQuitFlag();
    ASSERT_TRUE(field.Closes());
    EXPECT_TRUE(FieldShows(""));
    EXPECT_EQ(LogSlot(LastLogSlot()), "-");
}

TEST_F(InputField, A217ByteLineIsSentWithoutEnter) {
    OpenField field;
    ASSERT_TRUE(WaitUntil([] { return CursorAt(0); }));
    TypeEach(std::string(215, 'x'));
    Type("\xFF\x3B");  // F1 types nothing, so the line stays at 215 bytes
    TypeEach("y");
    EXPECT_FALSE(field.closed.load());
    Type("z");
    ASSERT_TRUE(field.Closes());
    // The echo wraps over several rows and ends with the last two bytes typed.
    EXPECT_TRUE(LogSlot(LastLogSlot()).ends_with("xyz"));
    EXPECT_TRUE(FieldShows(""));
}

}  // namespace
