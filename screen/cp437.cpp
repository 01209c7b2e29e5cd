// The upper half of code page 437 and the UTF-8 coding around it.
#include "screen/cp437.h"

#include <cstdint>

namespace screen {
namespace {

constexpr unsigned char kFirstUpper = 0x80;

constexpr char16_t kUpperHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character at `at`, which moves past it; U+FFFD for a byte that starts no valid sequence.
char32_t NextUtf8(std::string_view text, std::size_t& at) {
    constexpr char32_t kInvalid = 0xFFFD;
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) return lead;
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || lead >= 0xF8) return kInvalid;
    char32_t c = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i, ++at) {
        if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80)
            return kInvalid;
        c = c << 6 | (static_cast<unsigned char>(text[at]) & 0x3F);
    }
    return c;
}

}  // namespace

char32_t Cp437ToUnicode(unsigned char byte) {
    return byte < kFirstUpper ? byte : kUpperHalf[byte - kFirstUpper];
}

int UnicodeToCp437(char32_t character) {
    if (character < kFirstUpper) return static_cast<int>(character);
    for (int i = 0; i < 128; ++i) {
        if (kUpperHalf[i] == character) return kFirstUpper + i;
    }
    return kNoCp437Byte;
}

std::string Cp437ToUtf8(std::string_view text) {
    std::string out;
    for (char byte : text)
        AppendUtf8(out, Cp437ToUnicode(static_cast<unsigned char>(byte)));
    return out;
}

std::string Utf8ToCp437(std::string_view text, char missing) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const int byte = UnicodeToCp437(NextUtf8(text, at));
        out += byte == kNoCp437Byte ? missing : static_cast<char>(byte);
    }
    return out;
}

}  // namespace screen
