// The icon as a small grid of cells, each a colour of the game's palette. The
// raster and the SVG are both drawn from this one grid, so they agree.
#include "screen/icon.h"

#include <algorithm>
#include <cstdio>

#include "screen/graphics.h"

namespace screen {
namespace {

constexpr int kCells = 4;  // cells across and down
constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr int kSvgSize = 256;

// What each cell shows: a ship along the second row, hit at its right end; a
// miss below; the turn indicator in the corner.
enum class Look { kWater, kShip, kHit, kMiss, kTurn };
constexpr Look kGrid[kCells][kCells] = {
    {Look::kTurn, Look::kWater, Look::kWater, Look::kWater},
    {Look::kWater, Look::kShip, Look::kShip, Look::kHit},
    {Look::kWater, Look::kWater, Look::kWater, Look::kWater},
    {Look::kWater, Look::kMiss, Look::kWater, Look::kWater},
};

Colour ColourOf(Look look) {
    switch (look) {
        case Look::kShip:
            return kShipGrey;
        case Look::kHit:
            return kHitRed;
        case Look::kMiss:
            return kWaterBlue;
        case Look::kTurn:
            return kTurnYellow;
        case Look::kWater:
            break;
    }
    return kWhite;
}

// Grid lines grow with the size so they stay visible in small icons.
int LineWidth(int size) {
    return std::max(1, size / 48);
}

}  // namespace

std::vector<std::uint32_t> RenderIcon(int size) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
    const int line = LineWidth(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int column = std::min(x * kCells / size, kCells - 1);
            const int row = std::min(y * kCells / size, kCells - 1);
            const bool onLine = x % (size / kCells) < line || y % (size / kCells) < line ||
                                x >= size - line || y >= size - line;
            const Colour colour = onLine ? kBlack : ColourOf(kGrid[row][column]);
            pixels[static_cast<std::size_t>(y) * size + x] =
                kOpaque | static_cast<std::uint32_t>(colour);
        }
    }
    return pixels;
}

std::string IconSvg() {
    const int cell = kSvgSize / kCells;
    const int line = LineWidth(kSvgSize);
    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 256 256\">\n";
    char shape[160];
    svg += "<rect width=\"256\" height=\"256\" fill=\"#000000\"/>\n";
    for (int row = 0; row < kCells; ++row) {
        for (int column = 0; column < kCells; ++column) {
            const int inner =
                row == kCells - 1 || column == kCells - 1 ? cell - 2 * line : cell - line;
            std::snprintf(shape, sizeof shape,
                          "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#%06X\"/>\n",
                          column * cell + line, row * cell + line,
                          column == kCells - 1 ? inner : cell - line,
                          row == kCells - 1 ? inner : cell - line,
                          static_cast<unsigned>(ColourOf(kGrid[row][column])));
            svg += shape;
        }
    }
    return svg + "</svg>\n";
}

}  // namespace screen
