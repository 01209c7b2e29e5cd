// Pixel-exact frame comparison for failure reports. Owns no state.
#include "tests/e2e/frame_compare.h"

#include <cstdio>

#include "tests/support/frame_check.h"

namespace e2e {
namespace {

constexpr int kLineCapacity = 96;

std::string DescribePixel(int x, int y, std::uint32_t actual, std::uint32_t expected) {
    char line[kLineCapacity];
    std::snprintf(line, sizeof line, "  (%d,%d) actual 0x%06X expected 0x%06X\n", x, y, actual,
                  expected);
    return line;
}

}  // namespace

std::string DescribeDifferences(const Frame& actual, const Frame& expected) {
    if (actual.size() != expected.size()) {
        return "frame sizes differ: " + std::to_string(actual.size()) + " pixels read, " +
               std::to_string(expected.size()) + " expected\n";
    }
    std::string firstFew;
    int count = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] == expected[i]) continue;
        if (count++ < kReportedDifferences) {
            const int x = static_cast<int>(i % kFrameWidth);
            const int y = static_cast<int>(i / kFrameWidth);
            firstFew += DescribePixel(x, y, actual[i], expected[i]);
        }
    }
    if (count == 0) return {};
    return std::to_string(count) + " pixels differ, the first ones:\n" + firstFew;
}

std::uint32_t PixelAt(const Frame& frame, int x, int y) {
    return frame.at(static_cast<std::size_t>(y) * kFrameWidth + x);
}

bool SameOutsideLog(const Frame& actual, const Frame& expected) {
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            const bool logText = x > 125 && x < 399 && y > 302 && y < 399;
            if (!logText && PixelAt(actual, x, y) != PixelAt(expected, x, y)) return false;
        }
    }
    return true;
}

bool TextShows(const Frame& frame, int x, int y, std::string_view text, std::uint32_t ink,
               std::uint32_t paper) {
    const auto read = [&frame](int px, int py) { return PixelAt(frame, px, py); };
    return testing_support::GlyphsShow(read, x, y, text, ink, paper);
}

}  // namespace e2e
