// End-to-end tests of the lobby: the real game binary in its own X server,
// driven by synthetic mouse and key events and judged by its window's pixels
// against frames rendered offscreen by the game's own drawing layer.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "tests/e2e/child_process.h"
#include "tests/e2e/expected_screen.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/png_writer.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr char kOutputDir[] = MAREVANT_E2E_OUTPUT_DIR;

constexpr int kStatusPanelX = 340;  // inside 280 < x < 400, 140 < y < 205
constexpr int kStatusPanelY = 172;

// A cover over the grid, the panels and the message log alike.
constexpr int kCoverX = 100;
constexpr int kCoverY = 100;
constexpr int kCoverWidth = 250;
constexpr int kCoverHeight = 250;

// Landmarks of the static screen, checked apart from the full-frame
// comparison: lines and areas as rectangles of one colour, corners included.
struct Landmark {
    const char* what;
    int x1;
    int y1;
    int x2;
    int y2;
    std::uint32_t colour;
};

constexpr Landmark kLandmarks[] = {
    {"grid line x = 25", 25, 0, 25, 275, kBlackPixel},
    {"grid line y = 25", 0, 25, 275, 25, kBlackPixel},
    {"last grid line x = 275", 275, 0, 275, 275, kBlackPixel},
    {"inside of cell A1", 26, 26, 49, 49, kWhitePixel},
    {"message log frame, top", 125, 302, 399, 302, kBlackPixel},
    {"message log frame, bottom", 125, 399, 399, 399, kBlackPixel},
    {"message log frame, left", 125, 302, 125, 399, kBlackPixel},
    {"message log frame, right", 399, 302, 399, 399, kBlackPixel},
};
constexpr int kDiagonalEnd = 25;  // the turn indicator's diagonal: (k, k) for k = 0 to 25

std::string TestName() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

void SaveFrame(const std::string& fileName, const Frame& frame) {
    std::filesystem::create_directories(kOutputDir);
    EXPECT_TRUE(
        WritePng(std::string(kOutputDir) + "/" + fileName, frame, kFrameWidth, kFrameHeight))
        << "could not write " << fileName << " to " << kOutputDir;
}

// Waits until the window shows exactly `expected`; on time-out describes the
// difference and keeps the window's picture beside the test's output.
::testing::AssertionResult Shows(Session& session, const Frame& expected) {
    Frame last;
    if (WaitForFrame(
            session, [&](const Frame& f) { return f == expected; }, kFrameTimeoutMs, last)) {
        return ::testing::AssertionSuccess();
    }
    const std::string saved = TestName() + "-actual.png";
    SaveFrame(saved, last);
    return ::testing::AssertionFailure()
           << "the window never showed the expected frame (its "
           << "last picture is " << kOutputDir << "/" << saved << ")\n"
           << DescribeDifferences(last, expected);
}

// The points of `area` whose pixel differs from its colour.
std::string WrongPixels(const Frame& frame, const Landmark& area) {
    std::string wrong;
    for (int y = area.y1; y <= area.y2; ++y) {
        for (int x = area.x1; x <= area.x2; ++x) {
            if (PixelAt(frame, x, y) == area.colour) continue;
            wrong += "(" + std::to_string(x) + "," + std::to_string(y) + ") ";
        }
    }
    return wrong;
}

class LobbyEndToEnd : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(StartSession(session, kGameBinary))
            << "no focused, viewable game window on a private X server (" << kGameBinary << ")";
    }
    void TearDown() override { EndSession(session); }

    // From the idle lobby into the address entry: the click counts once the
    // status panel shows the empty field.
    void OpenAddressEntry() {
        ASSERT_TRUE(Shows(session, ExpectedLobby()));
        const Frame emptyField = ExpectedLobbyWithAddress("");
        Frame last;
        ASSERT_TRUE(ClickUntil(
            session, kStatusPanelX, kStatusPanelY, Button::kLeft,
            [&](const Frame& f) { return f == emptyField; }, last))
            << "the status panel was not cleared by the click\n"
            << DescribeDifferences(last, emptyField);
    }

    // Types `text` one key at a time; each key must show before the next.
    void TypeAndSeeEachKey(std::string_view text) {
        std::string shown;
        for (const char c : text) {
            ASSERT_TRUE(TypeText(session, std::string_view(&c, 1), 0)) << "could not type " << c;
            shown.push_back(c);
            ASSERT_TRUE(Shows(session, ExpectedLobbyWithAddress(shown)))
                << "after typing " << shown;
        }
    }

    Session session;
};

TEST_F(LobbyEndToEnd, WindowDeclaresTitleClassSizeCloseProtocolIconPidAndMachine) {
    WindowFacts facts;
    ASSERT_TRUE(ReadWindowFacts(session, facts));
    EXPECT_EQ("Marevant", facts.title);
    EXPECT_EQ("marevant", facts.resName);
    EXPECT_EQ("Marevant", facts.resClass);
    // It may grow (maximised, full screen), never shrink below the picture.
    EXPECT_TRUE(facts.hasMinSize);
    EXPECT_FALSE(facts.hasMaxSize);
    EXPECT_EQ(kFrameWidth, facts.minWidth);
    EXPECT_EQ(kFrameHeight, facts.minHeight);
    EXPECT_EQ(kFrameWidth, facts.width);
    EXPECT_EQ(kFrameHeight, facts.height);
    EXPECT_TRUE(facts.acceptsDeleteWindow) << "WM_PROTOCOLS lacks WM_DELETE_WINDOW";
    EXPECT_EQ(session.game, facts.pid);
    char host[256] = {};
    ASSERT_EQ(0, gethostname(host, sizeof host - 1));
    EXPECT_EQ(host, facts.clientMachine);
    // The icon: opaque, in the game's own colours, with the lit turn indicator
    // in its top-left cell and a grey ship cell in the second row.
    ASSERT_EQ(2u, facts.icons.size());
    for (const WindowFacts::Icon& icon : facts.icons) {
        ASSERT_EQ(static_cast<std::size_t>(icon.width) * icon.height, icon.pixels.size());
        const std::set<std::uint32_t> palette = {0xFFFFFFFF, 0xFF000000, 0xFF696969,
                                                 0xFFEE0000, 0xFF0000FF, 0xFFFFFF00};
        for (std::uint32_t pixel : icon.pixels)
            ASSERT_EQ(1u, palette.count(pixel)) << std::hex << pixel;
        const int quarter = icon.width / 4;
        EXPECT_EQ(0xFFFFFF00, icon.pixels[(quarter / 2) * icon.width + quarter / 2]);
        EXPECT_EQ(0xFF696969,
                  icon.pixels[(quarter + quarter / 2) * icon.width + quarter + quarter / 2]);
    }
    EXPECT_EQ(48, facts.icons.back().width);
}

TEST_F(LobbyEndToEnd, WindowShowsStaticScreenWithHelpLines) {
    ASSERT_TRUE(Shows(session, ExpectedLobby()));
    Frame frame;
    ASSERT_TRUE(ReadFrame(session, frame));
    EXPECT_TRUE(SaveDocPicture("lobby.png", frame));
    for (const Landmark& landmark : kLandmarks) {
        EXPECT_EQ("", WrongPixels(frame, landmark)) << landmark.what;
    }
    for (int k = 0; k <= kDiagonalEnd; ++k) {
        EXPECT_EQ(kBlackPixel, PixelAt(frame, k, k)) << "diagonal at " << k;
    }
}

// Without a window manager's backing store the server clears what was
// covered, so the picture comes back only if the game repaints on Expose.
TEST_F(LobbyEndToEnd, PictureComesBackAfterAnotherWindowCoveredIt) {
    ASSERT_TRUE(Shows(session, ExpectedLobby()));
    ASSERT_TRUE(CoverAndUncover(session, kCoverX, kCoverY, kCoverWidth, kCoverHeight));
    EXPECT_TRUE(Shows(session, ExpectedLobby()));
}

// 8 characters and more take two rows: "192.168." above, the rest centred below.
TEST_F(LobbyEndToEnd, FullLengthAddressFillsTwoRowsAndRefusesASixteenthCharacter) {
    ASSERT_NO_FATAL_FAILURE(OpenAddressEntry());
    ASSERT_NO_FATAL_FAILURE(TypeAndSeeEachKey("192.168.100.200"));
    // Were the sixteenth '9' taken, Backspace would bring back the 15 characters.
    ASSERT_TRUE(TypeText(session, "9", 0));
    ASSERT_TRUE(PressNamedKey(session, "BackSpace"));
    EXPECT_TRUE(Shows(session, ExpectedLobbyWithAddress("192.168.100.20")));
}

// Below 8 characters the address is one row centred on x = 340; Backspace
// from 8 characters goes back from two rows to one.
TEST_F(LobbyEndToEnd, ShortAddressIsCentredOnOneRowAndBackspaceRedrawsIt) {
    ASSERT_NO_FATAL_FAILURE(OpenAddressEntry());
    ASSERT_NO_FATAL_FAILURE(TypeAndSeeEachKey("10.0.0.1"));
    ASSERT_TRUE(PressNamedKey(session, "BackSpace"));
    ASSERT_TRUE(Shows(session, ExpectedLobbyWithAddress("10.0.0.")));
    ASSERT_TRUE(PressNamedKey(session, "BackSpace"));
    EXPECT_TRUE(Shows(session, ExpectedLobbyWithAddress("10.0.0")));
}

// Only digits, the full stop and A, I, K in either case are taken; the
// last key is an accepted one, so its picture shows every key before it
// has been read.
TEST_F(LobbyEndToEnd, AddressTakesOnlyDigitsFullStopAndTheLettersAIK) {
    ASSERT_NO_FATAL_FAILURE(OpenAddressEntry());
    ASSERT_TRUE(TypeText(session, "kIx A,b/Z-9", 0));
    EXPECT_TRUE(Shows(session, ExpectedLobbyWithAddress("kIA9")));
}

TEST_F(LobbyEndToEnd, CloseRequestInTheIdleStepEndsWithStatusZero) {
    ASSERT_TRUE(Shows(session, ExpectedLobby()));
    ASSERT_EQ(kStillRunning, WaitForGameExit(session, 0)) << "the game ended on its own";
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

// Losing the display is taken like a close request: the game ends, with status 0.
TEST_F(LobbyEndToEnd, LosingTheXServerEndsTheGameWithStatusZero) {
    ASSERT_TRUE(Shows(session, ExpectedLobby()));
    DisconnectFromServer(session);
    ASSERT_EQ(0, kill(session.server.pid, SIGKILL));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

// The open input line takes the close request; the lobby ends the program at once for it.
TEST_F(LobbyEndToEnd, CloseRequestWhileTheInputLineIsOpenEndsWithStatusZero) {
    ASSERT_TRUE(Shows(session, ExpectedLobby()));
    Frame last;
    ASSERT_TRUE(OpenInputLine(session, last));
    ASSERT_TRUE(TypeText(session, "hallo", 0));
    ASSERT_TRUE(WaitForFrame(
        session, [](const Frame& f) { return InputLineShows(f, "hallo"); }, kFrameTimeoutMs, last));
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

TEST_F(LobbyEndToEnd, CloseRequestDuringAddressEntryEndsWithStatusZero) {
    ASSERT_NO_FATAL_FAILURE(OpenAddressEntry());
    ASSERT_NO_FATAL_FAILURE(TypeAndSeeEachKey("1"));
    ASSERT_EQ(kStillRunning, WaitForGameExit(session, 0)) << "the game ended on its own";
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

}  // namespace
}  // namespace e2e
