// Frame read-back helpers shared by the unit tests.
#include "tests/support/frame_check.h"

#include <gtest/gtest.h>

#include <thread>

#include "screen/font_cp437.h"
#include "screen/message_log.h"

namespace testing_support {

namespace {
constexpr int kGlyphSize = 8;
}

bool GlyphsShow(const std::function<std::uint32_t(int x, int y)>& pixel, int x, int y,
                std::string_view text, std::uint32_t ink, std::uint32_t paper) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto code = static_cast<std::uint8_t>(text[i]);
        for (int row = 0; row < kGlyphSize; ++row) {
            for (int column = 0; column < kGlyphSize; ++column) {
                const bool set = screen::kFontCp437[code][row] & (0x80 >> column);
                const int px = x + kGlyphSize * static_cast<int>(i) + column;
                if (pixel(px, y + row) != (set ? ink : paper)) return false;
            }
        }
    }
    return true;
}

bool TextAt(int x, int y, std::string_view text, screen::Colour ink, screen::Colour paper) {
    const auto read = [](int px, int py) {
        return static_cast<std::uint32_t>(screen::ReadPixel(px, py));
    };
    return GlyphsShow(read, x, y, text, static_cast<std::uint32_t>(ink),
                      static_cast<std::uint32_t>(paper));
}

std::vector<screen::Colour> Snapshot() {
    std::vector<screen::Colour> pixels;
    pixels.reserve(screen::kWidth * screen::kHeight);
    for (int y = 0; y < screen::kHeight; ++y) {
        for (int x = 0; x < screen::kWidth; ++x)
            pixels.push_back(screen::ReadPixel(x, y));
    }
    return pixels;
}

int CountColour(int x1, int y1, int x2, int y2, screen::Colour colour) {
    int count = 0;
    for (int y = y1; y <= y2; ++y) {
        for (int x = x1; x <= x2; ++x)
            count += screen::ReadPixel(x, y) == colour ? 1 : 0;
    }
    return count;
}

std::string NewestLogLine(screen::MutexHandle lock) {
    screen::MutexLock(lock);
    std::string newest;
    for (int slot = screen::kLogSlots - 1; slot >= 0 && newest.empty(); --slot) {
        newest = screen::LogSlot(slot);
    }
    screen::MutexUnlock(lock);
    return newest;
}

std::string LogRows(screen::MutexHandle lock) {
    screen::MutexLock(lock);
    std::string rows;
    for (int slot = 0; slot < screen::kLogSlots; ++slot)
        rows += screen::LogSlot(slot);
    screen::MutexUnlock(lock);
    return rows;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void UseFreshProcessDeathTests() {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
}

}  // namespace testing_support
