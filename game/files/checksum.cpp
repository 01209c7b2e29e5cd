// CRC-32 through zlib, fed in pieces no larger than zlib's length type takes.
#include "game/files/checksum.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace game {

std::uint32_t StartChecksum() {
    return static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
}

std::uint32_t ExtendChecksum(std::uint32_t checksum, std::string_view bytes) {
    constexpr std::size_t kLargestPiece = std::numeric_limits<uInt>::max();
    uLong crc = checksum;
    while (!bytes.empty()) {
        const std::size_t piece = std::min(bytes.size(), kLargestPiece);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(piece));
        bytes.remove_prefix(piece);
    }
    return static_cast<std::uint32_t>(crc);
}

}  // namespace game
