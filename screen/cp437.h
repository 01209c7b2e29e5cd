// Code page 437, the encoding of every text the game holds, draws and sends: its upper half
// as Unicode, and conversions to and from UTF-8 for typed characters and file names. The lower
// half is ASCII, control bytes included. Pure functions; no state, no drawing.
#pragma once

#include <string>
#include <string_view>

namespace screen {

inline constexpr int kNoCp437Byte = -1;

char32_t Cp437ToUnicode(unsigned char byte);
// The byte that stands for the character, or kNoCp437Byte when code page 437 lacks it.
int UnicodeToCp437(char32_t character);

std::string Cp437ToUtf8(std::string_view text);
// Characters that code page 437 lacks, and bytes that are no valid UTF-8, become `missing`.
std::string Utf8ToCp437(std::string_view text, char missing);

}  // namespace screen
