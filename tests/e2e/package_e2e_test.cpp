// The program as the .deb installs it, unpacked into a scratch root: it starts
// on a private X server and shows the lobby, pixel for pixel.
#include <gtest/gtest.h>

#include "tests/e2e/expected_screen.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

constexpr char kPackagedBinary[] = MAREVANT_PACKAGED_BINARY;

TEST(PackagedProgram, StartsAndShowsTheLobby) {
    Session session;
    ASSERT_TRUE(StartSession(session, kPackagedBinary)) << "no window from " << kPackagedBinary;
    const Frame expected = ExpectedLobby();
    Frame last;
    EXPECT_TRUE(WaitForFrame(
        session, [&](const Frame& f) { return f == expected; }, kFrameTimeoutMs, last))
        << DescribeDifferences(last, expected);
    ASSERT_TRUE(SendCloseRequest(session));
    EXPECT_EQ(0, WaitForGameExit(session, kExitTimeoutMs));
    EndSession(session);
}

}  // namespace
}  // namespace e2e
