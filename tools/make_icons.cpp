// Writes the installed icons from the game's own icon description: PNG files
// at 48, 128 and 256 pixels and a scalable SVG, into the hicolor layout below
// the folder given as the only argument.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "screen/icon.h"
#include "tests/e2e/png_writer.h"

namespace {

constexpr int kSizes[] = {48, 128, 256};
constexpr std::uint32_t kRgb = 0x00FFFFFFu;

bool WriteRaster(const std::filesystem::path& top, int size) {
    const std::string side = std::to_string(size);
    const std::filesystem::path folder = top / (side + "x" + side) / "apps";
    std::filesystem::create_directories(folder);
    std::vector<std::uint32_t> pixels = screen::RenderIcon(size);
    for (std::uint32_t& pixel : pixels)
        pixel &= kRgb;
    return e2e::WritePng((folder / "marevant.png").string(), pixels, size, size);
}

bool WriteScalable(const std::filesystem::path& top) {
    const std::filesystem::path folder = top / "scalable" / "apps";
    std::filesystem::create_directories(folder);
    std::ofstream svg(folder / "marevant.svg");
    svg << screen::IconSvg();
    return static_cast<bool>(svg);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons FOLDER\n");
        return 2;
    }
    const std::filesystem::path top = argv[1];
    for (int size : kSizes) {
        if (!WriteRaster(top, size)) return 1;
    }
    return WriteScalable(top) ? 0 : 1;
}
