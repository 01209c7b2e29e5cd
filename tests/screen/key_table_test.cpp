// What a typed key gives the game, for every window system alike: the code page 437 byte that
// draws a character, one byte for Enter, Backspace, Escape and Tab, 255 and the scan code for a
// special key, and nothing for what the game cannot show.
#include <gtest/gtest.h>

#include <string>

#include "screen/keys.h"

namespace {

using screen::KeyCodeForCharacter;
using screen::SpecialKey;
using screen::SpecialKeyCode;

TEST(Keys, CharactersGiveTheCodePage437ByteThatDrawsThem) {
    const std::pair<char32_t, const char*> characters[] = {
        {U'a', "a"},
        {U'K', "K"},
        {U'.', "."},
        {U' ', " "},
        {U'\u00E4', "\x84"},
        {U'\u00F6', "\x94"},
        {U'\u00FC', "\x81"},
        {U'\u00C4', "\x8E"},
        {U'\u00D6', "\x99"},
        {U'\u00DC', "\x9A"},
        {U'\u00DF', "\xE1"},
        {U'\u00B0', "\xF8"},
        {U'\u03B1', "\xE0"},
        // Currency sign, euro, Cyrillic Zhe: the code page lacks them.
        {U'\u00A4', ""},
        {U'\u20AC', ""},
        {U'\u0416', ""},
        // Control characters but the four, and halves of a surrogate pair.
        {U'\x01', ""},
        {U'\n', ""},
        {0xD800, ""},
        {0xDFFF, ""},
    };
    for (const auto& [character, code] : characters)
        EXPECT_EQ(KeyCodeForCharacter(character), code)
            << std::hex << static_cast<unsigned>(character);
}

TEST(Keys, EnterBackspaceEscapeAndTabGiveOneByteAndSpecialKeys255AndTheirScanCode) {
    EXPECT_EQ(KeyCodeForCharacter(U'\r'), "\r");
    EXPECT_EQ(KeyCodeForCharacter(U'\b'), "\b");
    EXPECT_EQ(KeyCodeForCharacter(U'\x1B'), "\x1B");
    EXPECT_EQ(KeyCodeForCharacter(U'\t'), "\t");
    const std::pair<SpecialKey, char> keys[] = {
        {SpecialKey::kUp, 72},       {SpecialKey::kDown, 80},   {SpecialKey::kLeft, 75},
        {SpecialKey::kRight, 77},    {SpecialKey::kInsert, 82}, {SpecialKey::kDelete, 83},
        {SpecialKey::kHome, 71},     {SpecialKey::kEnd, 79},    {SpecialKey::kPageUp, 73},
        {SpecialKey::kPageDown, 81}, {SpecialKey::kF1, 59},     {SpecialKey::kF10, 68},
    };
    for (const auto& [key, scan] : keys)
        EXPECT_EQ(SpecialKeyCode(key), (std::string{'\xFF', scan}));
}

}  // namespace
