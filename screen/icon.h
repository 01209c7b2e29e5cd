// The game's icon, drawn from its own look: a corner of the big board with a
// grey ship, one red hit and one blue miss, and the lit turn indicator. Pure
// pixels; the window sets it as its icon and tools/make_icons.cpp writes the
// installed PNG and SVG files from the same description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace screen {

// The icon at `size` x `size` pixels, row by row, as opaque 0xAARRGGBB.
std::vector<std::uint32_t> RenderIcon(int size);

// The same picture as a scalable SVG document.
std::string IconSvg();

}  // namespace screen
