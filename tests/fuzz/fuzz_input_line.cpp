// Fuzz target: the input line fed with arbitrary keys and clicks (each a press
// and its release), offscreen,
// as the lobby runs it (every line is chat that only echoes). Each key waits
// until the line has taken it; a click outside the field ends the input. The
// line must always close, never draw outside its field (the band of the
// screen around it stays as it was), and a close request raises both flags.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "game/core/board.h"
#include "game/match/input_line.h"
#include "game/match/network_match.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"

namespace {

constexpr std::uint8_t kSpecialPrefix = 0xFF;
constexpr std::uint8_t kClickPrefix = 0xFE;
// The band of the screen around the field, and the field's inside, which alone may change.
constexpr screen::Rect kBand{0, 276, 399, 301};
constexpr screen::Rect kFieldInside{126, 281, 350, 299};
constexpr screen::Point kOutside{10, 390};
constexpr double kPixelsPerByte = 400.0 / 256.0;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_input_line: %s\n", what);
    std::abort();
}

// Waits until the field has taken the key, or has closed.
void Give(const std::string& key, const bool& closed) {
    screen::InjectKey(key);
    while (screen::QueuedKeyCount() > 0 && !__atomic_load_n(&closed, __ATOMIC_ACQUIRE))
        std::this_thread::yield();
}

struct FuzzState {
    std::vector<screen::Colour> band;  // as drawn at start, the field's inside included
};

FuzzState fuzz;

bool InsideField(int x, int y) {
    return x >= kFieldInside.x1 && x <= kFieldInside.x2 && y >= kFieldInside.y1 &&
           y <= kFieldInside.y2;
}

std::vector<screen::Colour> ReadBand() {
    std::vector<screen::Colour> pixels;
    for (int y = kBand.y1; y <= kBand.y2; ++y) {
        for (int x = kBand.x1; x <= kBand.x2; ++x)
            pixels.push_back(InsideField(x, y) ? screen::kWhite : screen::ReadPixel(x, y));
    }
    return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    screen::OpenOffscreen();
    screen::DrawStaticScreen();
    screen::SetPausesEnabled(false);
    game::PlayerNumber = 0;
    fuzz.band = ReadBand();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    screen::ResetInput();
    game::QuitFlag.store(0);
    game::StopFlag.store(0);
    bool closed = false;
    std::thread field([&closed] {
        game::InputLine();
        __atomic_store_n(&closed, true, __ATOMIC_RELEASE);
    });
    for (std::size_t at = 0; at < size && !__atomic_load_n(&closed, __ATOMIC_ACQUIRE); ++at) {
        if (data[at] == kClickPrefix && at + 2 < size) {
            screen::InjectClick(static_cast<int>(data[at + 1] * kPixelsPerByte),
                                static_cast<int>(data[at + 2] * kPixelsPerByte),
                                screen::kButtonLeft);
            at += 2;
        } else if (data[at] == kSpecialPrefix && at + 1 < size) {
            Give(std::string{static_cast<char>(kSpecialPrefix), static_cast<char>(data[at + 1])},
                 closed);
            ++at;
        } else {
            Give(std::string(1, static_cast<char>(data[at])), closed);
        }
    }
    screen::InjectClick(kOutside.x, kOutside.y, screen::kButtonLeft);
    field.join();
    if (game::QuitFlag.load() != game::StopFlag.load())
        Fail("a close request raised one flag only");
    if (ReadBand() != fuzz.band) Fail("the line drew outside its field");
    return 0;
}
