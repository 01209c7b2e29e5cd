// Key codes from characters and special keys.
#include "screen/keys.h"

#include "screen/cp437.h"
#include "screen/graphics.h"

namespace screen {
namespace {

// In the order of SpecialKey.
constexpr char kScanCodes[] = {72, 80, 75, 77, 82, 83, 71, 79, 73, 81,
                               59, 60, 61, 62, 63, 64, 65, 66, 67, 68};

constexpr char32_t kFirstPrintable = 0x20;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;

}  // namespace

std::string SpecialKeyCode(SpecialKey key) {
    return std::string{kSpecialKeyPrefix, kScanCodes[static_cast<int>(key)]};
}

std::string KeyCodeForCharacter(char32_t character) {
    switch (character) {
        case '\r':
            return std::string(1, kKeyEnter);
        case '\b':
            return std::string(1, kKeyBackspace);
        case 0x1B:
            return std::string(1, kKeyEscape);
        case '\t':
            return std::string(1, kKeyTab);
        default:
            break;
    }
    if (character < kFirstPrintable ||
        (character >= kFirstSurrogate && character <= kLastSurrogate))
        return {};
    const int byte = UnicodeToCp437(character);
    return byte == kNoCp437Byte ? std::string() : std::string(1, static_cast<char>(byte));
}

}  // namespace screen
