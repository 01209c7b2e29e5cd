// Where the picture stands in windows of every size, and which frame pixel a press in the
// window reaches: the table the window systems draw and map presses by.
#include <gtest/gtest.h>

#include "screen/graphics.h"
#include "screen/offscreen.h"
#include "screen/window_fit.h"

namespace {

using screen::FitFrame;
using screen::FrameFit;
using screen::WindowToFrame;

struct Fit {
    int width, height;            // the window
    int scale, left, top;         // where the picture stands
    int shownWidth, shownHeight;  // window pixels of it that fit
};

// Smaller than the picture: scale 1 from the window's edge on that axis, centred on an axis
// with room to spare. Larger: whole steps, centred.
constexpr Fit kFits[] = {
    {400, 400, 1, 0, 0, 400, 400},
    {300, 300, 1, 0, 0, 300, 300},
    {400, 399, 1, 0, 0, 400, 399},
    {399, 400, 1, 0, 0, 399, 400},
    {1, 1, 1, 0, 0, 1, 1},
    {350, 500, 1, 0, 50, 350, 400},
    {500, 350, 1, 50, 0, 400, 350},
    {200, 150, 1, 0, 0, 200, 150},
    {799, 1000, 1, 199, 300, 400, 400},
    {800, 800, 2, 0, 0, 800, 800},
    {1300, 1000, 2, 250, 100, 800, 800},
    {0, -5, 1, 0, 0, 1, 1},
};

TEST(WindowFit, ThePictureStandsWhereTheTableSaysInWindowsOfEverySize) {
    for (const Fit& want : kFits) {
        SCOPED_TRACE(std::to_string(want.width) + " x " + std::to_string(want.height));
        const FrameFit fit = FitFrame(want.width, want.height);
        EXPECT_EQ(want.scale, fit.scale);
        EXPECT_EQ(want.left, fit.left);
        EXPECT_EQ(want.top, fit.top);
        EXPECT_EQ(want.shownWidth, fit.shownWidth);
        EXPECT_EQ(want.shownHeight, fit.shownHeight);
        // What is shown lies inside the window, so drawing it stays inside the window's image.
        EXPECT_LE(fit.left + fit.shownWidth, fit.width);
        EXPECT_LE(fit.top + fit.shownHeight, fit.height);
    }
}

// Every window pixel of the shown part reaches the frame pixel drawn there, and no pixel
// outside it reaches the frame.
TEST(WindowFit, APressReachesTheFramePixelDrawnUnderItAndNothingOutsideThePicture) {
    for (const Fit& want : kFits) {
        SCOPED_TRACE(std::to_string(want.width) + " x " + std::to_string(want.height));
        const FrameFit fit = FitFrame(want.width, want.height);
        struct Probe {
            int x, y;
            bool onPicture;
        };
        const int right = want.left + want.shownWidth - 1;
        const int bottom = want.top + want.shownHeight - 1;
        const Probe probes[] = {
            {want.left, want.top, true},
            {right, bottom, true},
            {want.left - 1, want.top, false},
            {want.left, want.top - 1, false},
            {right + 1, bottom, false},
            {right, bottom + 1, false},
            {-1, -1, false},
        };
        for (const Probe& probe : probes) {
            int x = probe.x;
            int y = probe.y;
            EXPECT_EQ(probe.onPicture, WindowToFrame(fit, x, y)) << probe.x << "," << probe.y;
            if (!probe.onPicture) continue;
            EXPECT_EQ((probe.x - want.left) / want.scale, x);
            EXPECT_EQ((probe.y - want.top) / want.scale, y);
            EXPECT_TRUE(x >= 0 && x < screen::kWidth && y >= 0 && y < screen::kHeight);
        }
    }
}

// A window system that reports a press off the frame (a window larger than the picture on a
// system that does not map it) leaves no press for the game to act on.
TEST(WindowFit, PressesOffTheFrameAreNoPresses) {
    screen::OpenOffscreen();
    screen::ResetInput();
    for (const auto& [x, y] : {std::pair{-1, 10}, {10, -1}, {400, 10}, {10, 400}, {5000, 5000}})
        screen::InjectClick(x, y, screen::kButtonLeft);
    EXPECT_EQ(1, screen::TakePress().flag);
    screen::InjectClick(399, 399, screen::kButtonLeft);
    const screen::MouseSample press = screen::TakePress();
    EXPECT_TRUE(screen::IsLeftClick(press) && press.x == 399 && press.y == 399);
}

}  // namespace
