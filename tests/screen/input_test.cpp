// The key queue, the mouse poll and the pauses, fed through the offscreen
// injection that stands in for the window system.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "screen/graphics.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace {

using namespace screen;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Input : public ::testing::Test {
   protected:
    void SetUp() override {
        SetPausesEnabled(true);
        ResetInput();
    }
};

long ElapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

TEST_F(Input, KeyQueueKeepsTheNewestFifteenInOrder) {
    for (int i = 0; i < 16; ++i)
        InjectKey(std::string(1, static_cast<char>('a' + i)));
    EXPECT_EQ(QueuedKeyCount(), 15);
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ(ReadKey(), std::string(1, static_cast<char>('a' + i)));
    EXPECT_EQ(ReadKey(), "");
}

TEST_F(Input, ACloseRequestOutlivesAnyBurstOfKeysAndComesFirst) {
    InjectKey("a");
    InjectKey(kCloseRequest);
    for (int i = 0; i < 40; ++i)
        InjectKey("\xFF\x48");  // a held cursor key repeating
    InjectKey(kCloseRequest);
    EXPECT_EQ(ReadKey(), kCloseRequest);
    EXPECT_EQ(ReadKey(), kCloseRequest);  // two closes are two, not one
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(ReadKey(), "\xFF\x48") << i;
    EXPECT_EQ(ReadKey(), "");
    // A close request alone wakes a sleeping idle loop and ends a long wait.
    const std::uint64_t seen = InputGeneration();
    InjectKey(kCloseRequest);
    WaitForInputAfter(seen);
    const auto start = Clock::now();
    WaitMs(200);
    EXPECT_LT(ElapsedMs(start), 50);
    EXPECT_EQ(QueuedKeyCount(), 1);
}

TEST_F(Input, TwoByteCodesComeBackWhole) {
    InjectKey(kCloseRequest);
    InjectKey("\xFF\x48");
    InjectKey("\xFC");
    EXPECT_EQ(ReadKey(), std::string("\xFF\x6B", 2));
    EXPECT_EQ(ReadKey(), std::string("\xFF\x48", 2));
    EXPECT_EQ(ReadKey(), std::string("\xFC", 1));
    EXPECT_EQ(ReadKey(), "");
}

TEST_F(Input, AKeyReadByAnyThreadIsGoneForEveryone) {
    InjectKey("x");
    std::string other;
    std::thread([&] { other = ReadKey(); }).join();
    EXPECT_EQ(other, "x");
    EXPECT_EQ(ReadKey(), "");
}

TEST_F(Input, MousePollFailsWithoutFocusOrOutsideTheWindow) {
    MouseSample away = PollMouse();
    EXPECT_NE(away.flag, 0);
    EXPECT_EQ(away.x, -1);
    EXPECT_EQ(away.y, -1);
    EXPECT_EQ(away.buttons, -1);
    InjectMouse(10, 20, kButtonLeft | kButtonRight);
    const MouseSample both = PollMouse();
    EXPECT_EQ(both.flag, 0);
    EXPECT_EQ(both.x, 10);
    EXPECT_EQ(both.y, 20);
    EXPECT_EQ(both.buttons, 3);
    InjectFocus(false);  // another window took the focus
    const MouseSample unfocused = PollMouse();
    EXPECT_NE(unfocused.flag, 0);
    EXPECT_EQ(unfocused.x, -1);
    EXPECT_EQ(unfocused.buttons, -1);
    InjectFocus(true);
    EXPECT_EQ(PollMouse().flag, 0);
    InjectMouse(400, 20, 0);  // past the right edge
    EXPECT_NE(PollMouse().flag, 0);
    InjectMouseAway();
    EXPECT_EQ(PollMouse().buttons, -1);
}

TEST_F(Input, LongWaitReturnsAtOnceWhenAKeyHasArrived) {
    InjectKey("k");
    const auto start = Clock::now();
    WaitMs(200);
    EXPECT_LT(ElapsedMs(start), 50);
    EXPECT_EQ(ReadKey(), "k");  // the key that ended the wait stays queued
}

TEST_F(Input, LongWaitEndsAtTheFiftyMillisecondStepAfterAKey) {
    const auto start = Clock::now();
    std::thread typist([] {
        std::this_thread::sleep_for(milliseconds(10));
        InjectKey("k");
    });
    WaitMs(200);
    const long elapsed = ElapsedMs(start);
    typist.join();
    EXPECT_GE(elapsed, 50);
    EXPECT_LT(elapsed, 150);
}

TEST_F(Input, ShortWaitsAndDelaysIgnoreKeys) {
    InjectKey("k");
    auto start = Clock::now();
    WaitMs(80);
    EXPECT_GE(ElapsedMs(start), 80);
    start = Clock::now();
    DelayMs(120);
    EXPECT_GE(ElapsedMs(start), 120);
}

TEST_F(Input, ReadKeyClearsTheArrivalMarkSoALaterWaitRunsFull) {
    InjectKey("k");
    EXPECT_EQ(ReadKey(), "k");
    const auto start = Clock::now();
    WaitMs(100);
    EXPECT_GE(ElapsedMs(start), 100);
}

TEST_F(Input, WaitForInputSleepsUntilAnyInputChanges) {
    const std::uint64_t seen = InputGeneration();
    std::atomic<int> woke{0};
    std::thread idle([&] {
        WaitForInputAfter(seen);
        woke.store(1);
    });
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(woke.load(), 0);
    InjectMouse(5, 5, 0);  // a pointer move is enough
    idle.join();
    EXPECT_EQ(woke.load(), 1);
}

TEST_F(Input, WaitForInputReturnsAtOnceWhileKeysAreQueued) {
    InjectKey("a");
    InjectKey("b");
    const std::uint64_t seen = InputGeneration();
    WaitForInputAfter(seen);  // would block forever if queued keys did not count
    EXPECT_EQ(ReadKey(), "a");
}

TEST(Threads, NoneHandlesDoNothingAndRealOnesWork) {
    ThreadWait(nullptr);
    MutexLock(nullptr);
    MutexUnlock(nullptr);
    MutexDestroy(nullptr);
    static std::atomic<int> ran{0};
    ThreadHandle thread = ThreadCreate([] { ran.store(1); });
    ThreadWait(thread);
    EXPECT_EQ(ran.load(), 1);
    MutexHandle mutex = MutexCreate();
    MutexLock(mutex);
    bool takenElsewhere = true;
    std::thread([&] { takenElsewhere = mutex->native.try_lock(); }).join();
    EXPECT_FALSE(takenElsewhere);
    MutexUnlock(mutex);
    MutexDestroy(mutex);
}

}  // namespace
