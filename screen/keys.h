// The game's key codes, the same for every window system: a typed character gives the one byte
// that draws it in code page 437, a special key 255 and its classic PC scan code. The window
// systems only say which character or which special key came.
#pragma once

#include <string>

namespace screen {

enum class SpecialKey {
    kUp,
    kDown,
    kLeft,
    kRight,
    kInsert,
    kDelete,
    kHome,
    kEnd,
    kPageUp,
    kPageDown,
    kF1,
    kF2,
    kF3,
    kF4,
    kF5,
    kF6,
    kF7,
    kF8,
    kF9,
    kF10,
};

// 255 and the key's scan code.
std::string SpecialKeyCode(SpecialKey key);
// Enter, Backspace, Escape and Tab ('\r', '\b', 0x1B, '\t') give their one byte; another
// character the code page 437 byte that draws it; other control characters, halves of a
// surrogate pair and characters the code page lacks give nothing.
std::string KeyCodeForCharacter(char32_t character);

}  // namespace screen
