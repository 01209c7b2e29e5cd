// End-to-end tests of the game against the X server's own behaviour: input
// with no window manager to hand out the focus, a display connection that
// breaks while the window is being set up or is not there at all, presses
// shorter or longer than the game's pauses, and a window that is larger than
// the picture.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/e2e/expected_screen.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/x_harness.h"
#include "tests/e2e/x_proxy.h"

namespace e2e {
namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;

constexpr int kStatusPanelX = 340;
constexpr int kStatusPanelY = 172;
constexpr int kCellA1 = 37;  // the middle of cell A1 on both axes
constexpr int kKeyPauseMs = 80;
constexpr int kPlacementTimeoutMs = 20000;
// Long enough for many of the placement screen's 80 ms passes.
constexpr int kIgnoredClickMs = 600;
bool CellA1Is(const Frame& f, std::uint32_t colour) {
    return PixelAt(f, kCellA1, kCellA1) == colour;
}

class WindowSystem : public ::testing::Test {
   protected:
    void TearDown() override {
        EndSession(session);
        StopXProxy(proxy);
    }
    Session session;
    XProxy proxy;
    Frame last;
};

// A bare X server leaves the focus at PointerRoot: keys go to the window under
// the pointer, which never gets a FocusIn of its own.
TEST_F(WindowSystem, WithoutAWindowManagerThePointerBringsTheFocus) {
    ASSERT_TRUE(StartXServer(session.server) && ConnectToServer(session) &&
                StartGame(session, kGameBinary) &&
                FindWindowByClass(session, "marevant", "Marevant"));
    ASSERT_TRUE(FocusIsPointerRoot(session));
    ASSERT_TRUE(WaitForFrame(session, InLobby, kFrameTimeoutMs, last));
    ASSERT_TRUE(ClickUntil(
        session, kStatusPanelX, kStatusPanelY, Button::kLeft,
        [](const Frame& f) { return !InLobby(f); }, last))
        << "the click into the address field was not taken";
    ASSERT_TRUE(TypeText(session, "KI", kKeyPauseMs));
    ASSERT_TRUE(PressNamedKey(session, "Return"));
    ASSERT_TRUE(WaitForFrame(session, Placing, kPlacementTimeoutMs, last))
        << "the typed KI and Enter did not start the match";

    // With another window holding the focus, a click on the board is not taken.
    ASSERT_TRUE(GiveFocusToAnotherWindow(session));
    ASSERT_TRUE(MovePointer(session, kCellA1, kCellA1) && PressButton(session, Button::kLeft));
    const bool placed = WaitForFrame(
        session, [](const Frame& f) { return CellA1Is(f, kGreyPixel); }, kIgnoredClickMs, last);
    ASSERT_TRUE(ReleaseButton(session, Button::kLeft));
    EXPECT_FALSE(placed) << "a ship was placed while another window had the focus";
    EXPECT_TRUE(CellA1Is(last, kWhitePixel));

    ASSERT_TRUE(SetPointerRootFocus(session));
    EXPECT_TRUE(ClickUntil(
        session, kCellA1, kCellA1, Button::kLeft,
        [](const Frame& f) { return CellA1Is(f, kGreyPixel); }, last))
        << "the click was not taken once the focus followed the pointer again";
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

// The relay cuts the game's display connection at its CreateWindow request:
// the start must be reported as failed, the game go on without a window and
// end on the close request that the lost display stands for.
TEST_F(WindowSystem, ADisplayLostWhileTheWindowIsSetUpEndsWithStatusZero) {
    ASSERT_TRUE(StartXServer(session.server));
    ASSERT_TRUE(StartXProxy(proxy, session.server.display));
    ChildOptions game;
    game.argv = {kGameBinary};
    game.display = proxy.display;
    session.game = StartChild(game);
    ASSERT_GT(session.game, 0);
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
    StopXProxy(proxy);
    EXPECT_TRUE(proxy.cut.load()) << "the game never sent CreateWindow through the relay";
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

constexpr int kHighDpi = 192;
constexpr int kBigScreenWidth = 1400;
constexpr int kBigScreenHeight = 1100;
constexpr int kMaximisedWidth = 1300;
constexpr int kMaximisedHeight = 1000;
constexpr int kScaledTimeoutMs = 10000;

// The window's picture at `scale` from (left, top), one pixel per square; false unless every
// square is of one colour.
bool ReadScaledFrame(Session& session, int scale, int left, int top, Frame& frame) {
    std::vector<std::uint32_t> pixels;
    const int side = kFrameWidth * scale;
    if (!ReadWindowRegion(session, left, top, side, side, pixels)) return false;
    frame.assign(static_cast<std::size_t>(kFrameWidth) * kFrameHeight, 0);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::uint32_t pixel = pixels[static_cast<std::size_t>(y) * side + x];
            std::uint32_t& target =
                frame[static_cast<std::size_t>(y / scale) * kFrameWidth + x / scale];
            if (x % scale == 0 && y % scale == 0) target = pixel;
            if (pixel != target) return false;
        }
    }
    return true;
}

bool ScaledFrameShows(Session& session, int scale, int left, int top, const FrameCheck& check) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kScaledTimeoutMs);
    Frame frame;
    do {
        if (ReadScaledFrame(session, scale, left, top, frame) && check(frame)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

// A press on a cell of the scaled picture, held until the ship stands there.
bool PlaceScaled(Session& session, int scale, int left, int top, int column, int row, int cells) {
    const int x = left + scale * CellCentre(column);
    const int y = top + scale * CellCentre(row);
    const auto placed = [cells](const Frame& f) { return CellsOn(f, true, kGreyPixel) == cells; };
    const bool shown = MovePointer(session, x, y) && PressButton(session, Button::kLeft) &&
                       ScaledFrameShows(session, scale, left, top, placed);
    return ReleaseButton(session, Button::kLeft) && shown;
}

bool BlackAt(Session& session, int x, int y) {
    std::uint32_t rgb = 1;
    return ReadOnePixel(session, x, y, rgb) && rgb == kBlackPixel;
}

// A screen set to 192 dpi opens the window at twice the size; maximised, the picture stays at
// the largest whole scale that fits, centred on black. Clicks land on the cells they show.
TEST_F(WindowSystem, OnAHighDpiScreenAndMaximisedThePictureGrowsInWholeStepsAndClicksFollow) {
    session.server.screen =
        std::to_string(kBigScreenWidth) + "x" + std::to_string(kBigScreenHeight) + "x24";
    ASSERT_TRUE(StartXServer(session.server) && ConnectToServer(session) &&
                SetDisplayDpi(session, kHighDpi) && StartGame(session, kGameBinary) &&
                FindWindowByClass(session, "marevant", "Marevant") && FocusWindow(session));
    int width = 0, height = 0;
    ASSERT_TRUE(WindowSize(session, width, height));
    EXPECT_EQ(2 * kFrameWidth, width);
    EXPECT_EQ(2 * kFrameHeight, height);
    const Frame lobby = ExpectedLobby();
    EXPECT_TRUE(ScaledFrameShows(session, 2, 0, 0, [&](const Frame& f) { return f == lobby; }));

    ASSERT_TRUE(MovePointer(session, 2 * kStatusPanelX, 2 * kStatusPanelY) &&
                PressButton(session, Button::kLeft) && ReleaseButton(session, Button::kLeft));
    ASSERT_TRUE(ScaledFrameShows(session, 2, 0, 0, [](const Frame& f) { return !InLobby(f); }));
    ASSERT_TRUE(TypeText(session, "KI", kKeyPauseMs) && PressNamedKey(session, "Return"));
    ASSERT_TRUE(ScaledFrameShows(session, 2, 0, 0, Placing));
    EXPECT_TRUE(PlaceScaled(session, 2, 0, 0, 1, 1, 5));

    ASSERT_TRUE(ResizeWindow(session, kMaximisedWidth, kMaximisedHeight));
    const int left = (kMaximisedWidth - 2 * kFrameWidth) / 2;
    const int top = (kMaximisedHeight - 2 * kFrameHeight) / 2;
    EXPECT_TRUE(ScaledFrameShows(session, 2, left, top,
                                 [](const Frame& f) { return CellsOn(f, true, kGreyPixel) == 5; }));
    EXPECT_TRUE(BlackAt(session, 0, 0) && BlackAt(session, left - 1, top) &&
                BlackAt(session, kMaximisedWidth - 1, kMaximisedHeight - 1));
    EXPECT_TRUE(PlaceScaled(session, 2, left, top, 1, 3, 9));
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

// The window's pixels of a window `width` x `height` that shows `frame` from (left, top), at
// scale 1: each pixel on the picture is the frame's, the rest black.
bool ShowsPart(Session& session, const Frame& frame, int width, int height, int left, int top) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kScaledTimeoutMs);
    std::vector<std::uint32_t> pixels;
    const auto expected = [&](int x, int y) {
        const int fx = x - left;
        const int fy = y - top;
        const bool on = fx >= 0 && fy >= 0 && fx < kFrameWidth && fy < kFrameHeight;
        return on ? PixelAt(frame, fx, fy) : kBlackPixel;
    };
    do {
        bool same = ReadWindowRegion(session, 0, 0, width, height, pixels);
        for (int y = 0; y < height && same; ++y) {
            for (int x = 0; x < width && same; ++x)
                same = pixels[static_cast<std::size_t>(y) * width + x] == expected(x, y);
        }
        if (same) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

// Paints the insides of `length` cells of the big board grey, from column A of `row` on.
void PaintShipCells(Frame& frame, int row, int length) {
    constexpr int kCellPitch = 25;
    constexpr int kCellInside = 24;
    for (int column = 1; column <= length && row > 0; ++column) {
        for (int y = kCellPitch * row + 1; y <= kCellPitch * row + kCellInside; ++y) {
            for (int x = kCellPitch * column + 1; x <= kCellPitch * column + kCellInside; ++x)
                frame[static_cast<std::size_t>(y) * kFrameWidth + x] = kGreyPixel;
        }
    }
}

// A window manager that ignores the size hints (a tiling one, or none at all) may make the
// window smaller than the picture: the part that fits shows, from the window's edge on a short
// side and centred on a long one, and a press lands on the cell drawn under it. In each size a
// ship goes to the next odd row; then the window grows back and the whole picture shows them.
TEST_F(WindowSystem, AWindowSmallerThanThePictureShowsWhatFitsAndPressesLandWhereTheyShow) {
    // Tall enough that the window's pixels can be read back whole at every size.
    session.server.screen =
        std::to_string(kBigScreenWidth) + "x" + std::to_string(kBigScreenHeight) + "x24";
    ASSERT_TRUE(StartSession(session, kGameBinary) && StartComputerGame(session, last));
    struct Size {
        int width, height, left, top;
        int row;     // of the ship placed in this size, from column A to the right; 0 for none
        int length;  // of that ship, in the order the placement asks for them
    };
    const Size sizes[] = {{300, 300, 0, 0, 1, 5},
                          {400, 399, 0, 0, 3, 4},
                          {399, 400, 0, 0, 5, 4},
                          {1, 1, 0, 0, 0, 0},
                          {350, 500, 0, 50, 7, 3}};
    Frame whole;
    ASSERT_TRUE(ReadFrame(session, whole));
    for (const Size& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        ASSERT_TRUE(ResizeWindow(session, size.width, size.height));
        EXPECT_TRUE(ShowsPart(session, whole, size.width, size.height, size.left, size.top));
        // Above the picture, over the black: no press on the frame's cell A1 beneath.
        if (size.top > 0) {
            ASSERT_TRUE(MovePointer(session, kCellA1, size.top - 10) &&
                        PressButton(session, Button::kLeft) &&
                        ReleaseButton(session, Button::kLeft));
        }
        if (size.row > 0) {
            const int y = size.top + CellCentre(size.row);
            ASSERT_TRUE(MovePointer(session, kCellA1, y) && PressButton(session, Button::kLeft) &&
                        ReleaseButton(session, Button::kLeft));
            std::uint32_t rgb = 0;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (ReadOnePixel(session, kCellA1, y, rgb) && rgb != kGreyPixel &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            EXPECT_EQ(kGreyPixel, rgb) << "the press did not place the ship where it showed";
        }
        ASSERT_EQ(kStillRunning, WaitForGameExit(session, 0));
        // Back at full size, the whole picture is the last one with the new ship's cells grey.
        Frame expected = whole;
        PaintShipCells(expected, size.row, size.length);
        ASSERT_TRUE(ResizeWindow(session, kFrameWidth, kFrameHeight));
        EXPECT_TRUE(WaitForFrame(
            session, [&](const Frame& f) { return SameOutsideLog(f, expected); }, kFrameTimeoutMs,
            whole))
            << DescribeDifferences(whole, expected);
    }
    EXPECT_FALSE(LogShows(whole, "Hier liegt schon ein Schiff!"));
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
}

// A click shorter than any of the game's pauses places a ship; a button held for longer than
// many of them places one ship and no more, without a refusal for the same press.
TEST_F(WindowSystem, OnePressIsOneActionHoweverShortOrLong) {
    ASSERT_TRUE(StartSession(session, kGameBinary) && StartComputerGame(session, last));
    struct Press {
        int row;
        int holdMs;
        int cells;  // grey cells once the ship stands
    };
    for (const Press press : {Press{1, 20, 5}, Press{3, 600, 9}}) {
        ASSERT_TRUE(MovePointer(session, kCellA1, CellCentre(press.row)) &&
                    PressButton(session, Button::kLeft));
        std::this_thread::sleep_for(std::chrono::milliseconds(press.holdMs));
        ASSERT_TRUE(ReleaseButton(session, Button::kLeft));
        const int cells = press.cells;
        EXPECT_TRUE(WaitForFrame(
            session, [cells](const Frame& f) { return CellsOn(f, true, kGreyPixel) == cells; },
            kFrameTimeoutMs, last))
            << "a press of " << press.holdMs << " ms";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kIgnoredClickMs));
    ASSERT_TRUE(ReadFrame(session, last));
    EXPECT_EQ(9, CellsOn(last, true, kGreyPixel));
    EXPECT_FALSE(LogShows(last, "Hier liegt schon ein Schiff!"));
}

// Without a reachable display the program says which one it tried, on one line, and ends
// with status 1 instead of running on unseen.
TEST(NoDisplay, TheProgramSaysWhichDisplayItTriedAndEndsWithStatusOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"DISPLAY=:97", ":97"},
        {"-u DISPLAY", "DISPLAY is not set"},
    };
    for (const auto& [environment, named] : cases) {
        const std::string command =
            std::string("env ") + environment + " " + kGameBinary + " 2>&1 >/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        for (int c = fgetc(pipe); c != EOF; c = fgetc(pipe))
            output += static_cast<char>(c);
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << environment;
        EXPECT_EQ(1, std::count(output.begin(), output.end(), '\n')) << output;
        EXPECT_NE(output.find(named), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace e2e
