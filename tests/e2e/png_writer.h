// PNG files of captured frames, for people to look at: 8-bit RGB, not
// interlaced, the image data in one zlib stream. Writes files only; reads none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// pixels: 0xRRGGBB, row after row, width * height of them. Returns false when
// the sizes do not match or the file cannot be written.
bool WritePng(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
              int height);

}  // namespace e2e
