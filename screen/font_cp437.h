// The built-in 8 x 8 bitmap font in code page 437 order. Data only; the
// table is generated from a packaged font by tools/gen_font.sh.
#pragma once

#include <cstdint>

namespace screen {

inline constexpr int kGlyphCount = 256;
inline constexpr int kGlyphRows = 8;

// kFontCp437[byte][row]: row 0 is the top; bit 7 is the leftmost pixel.
extern const std::uint8_t kFontCp437[kGlyphCount][kGlyphRows];

}  // namespace screen
