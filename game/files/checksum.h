// The checksum a framed file carries at its end: CRC-32 as zlib computes it, over every byte of
// the file in order. The only part of the game that calls zlib.
#pragma once

#include <cstdint>
#include <string_view>

namespace game {

// The checksum of no bytes.
std::uint32_t StartChecksum();
// The checksum of the bytes so far followed by `bytes`.
std::uint32_t ExtendChecksum(std::uint32_t checksum, std::string_view bytes);

}  // namespace game
