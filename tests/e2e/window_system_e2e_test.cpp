// End-to-end tests of the game against the X server's own behaviour: input
// with no window manager to hand out the focus, and a display connection that
// breaks while the window is being set up.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/child_process.h"
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
