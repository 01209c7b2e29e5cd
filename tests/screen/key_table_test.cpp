// The translation of X keysyms into the game's key codes. Keysyms are written
// as numbers so the test needs no X headers.
#include <gtest/gtest.h>

#include <string>

#include "screen/frame_internal.h"

namespace {

using screen::KeyCodeForKeysym;

std::string Special(char scanCode) {
    return std::string{'\xFF', scanCode};
}

// Characters arrive as the code page 437 byte that draws them; one the code page lacks
// types nothing.
TEST(KeyTable, CharacterKeysGiveTheirCodePage437Byte) {
    EXPECT_EQ(KeyCodeForKeysym(0x61), "a");
    EXPECT_EQ(KeyCodeForKeysym(0x4B), "K");
    EXPECT_EQ(KeyCodeForKeysym(0x2E), ".");
    EXPECT_EQ(KeyCodeForKeysym(0x20), " ");
    EXPECT_EQ(KeyCodeForKeysym(0xFFB1), "1");  // keypad digits type digits
    EXPECT_EQ(KeyCodeForKeysym(0xFFAE), ".");
    const std::pair<unsigned long, const char*> german[] = {
        {0xE4, "\x84"}, {0xF6, "\x94"}, {0xFC, "\x81"}, {0xC4, "\x8E"},
        {0xD6, "\x99"}, {0xDC, "\x9A"}, {0xDF, "\xE1"},  // a o u A O U umlauts, sharp s
        {0xB0, "\xF8"}, {0x10003B1, "\xE0"},              // degree sign, Unicode alpha
        {0xA4, ""},      {0x20AC, ""},      {0x1000416, ""},  // currency, euro, Cyrillic Zhe
    };
    for (const auto& [symbol, byte] : german)
        EXPECT_EQ(KeyCodeForKeysym(symbol), byte) << std::hex << symbol;
}

TEST(KeyTable, ControlKeysGiveOneByte) {
    EXPECT_EQ(KeyCodeForKeysym(0xFF0D), "\r");
    EXPECT_EQ(KeyCodeForKeysym(0xFF8D), "\r");  // keypad Enter
    EXPECT_EQ(KeyCodeForKeysym(0xFF08), "\b");
    EXPECT_EQ(KeyCodeForKeysym(0xFF1B), "\x1B");
    EXPECT_EQ(KeyCodeForKeysym(0xFF09), "\t");
}

TEST(KeyTable, SpecialKeysGive255AndTheirScanCode) {
    EXPECT_EQ(KeyCodeForKeysym(0xFF52), Special(72));  // up
    EXPECT_EQ(KeyCodeForKeysym(0xFF54), Special(80));  // down
    EXPECT_EQ(KeyCodeForKeysym(0xFF51), Special(75));  // left
    EXPECT_EQ(KeyCodeForKeysym(0xFF53), Special(77));  // right
    EXPECT_EQ(KeyCodeForKeysym(0xFF63), Special(82));  // insert
    EXPECT_EQ(KeyCodeForKeysym(0xFFFF), Special(83));  // delete
    EXPECT_EQ(KeyCodeForKeysym(0xFF50), Special(71));  // home
    EXPECT_EQ(KeyCodeForKeysym(0xFF57), Special(79));  // end
    EXPECT_EQ(KeyCodeForKeysym(0xFF55), Special(73));  // page up
    EXPECT_EQ(KeyCodeForKeysym(0xFF56), Special(81));  // page down
    for (int f = 0; f < 10; ++f) {
        EXPECT_EQ(KeyCodeForKeysym(0xFFBE + f), Special(static_cast<char>(59 + f))) << "F" << f + 1;
    }
}

TEST(KeyTable, F11F12AndModifiersAloneGiveNothing) {
    for (unsigned long keysym : {0xFFC8UL, 0xFFC9UL, 0xFFE1UL, 0xFFE3UL, 0xFFE9UL, 0xFFE5UL}) {
        EXPECT_EQ(KeyCodeForKeysym(keysym), "") << std::hex << keysym;
    }
}

}  // namespace
