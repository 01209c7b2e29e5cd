// Writes the installed icons from the game's own icon description: PNG files
// at 48, 128 and 256 pixels and a scalable SVG, into the hicolor layout below
// the folder given as the only argument; or, with --ico, the Windows program's
// icon file at 16, 24, 32 and 48 pixels.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "screen/icon.h"
#include "tests/e2e/png_writer.h"

namespace {

constexpr int kSizes[] = {48, 128, 256};
constexpr int kIcoSizes[] = {16, 24, 32, 48};
constexpr std::uint32_t kRgb = 0x00FFFFFFu;
constexpr std::uint32_t kIcoHeaderBytes = 6;
constexpr std::uint32_t kIcoEntryBytes = 16;
constexpr std::uint32_t kBitmapHeaderBytes = 40;
constexpr std::uint16_t kIcoType = 1;
constexpr std::uint16_t kBitsPerPixel = 32;
constexpr int kMaskRowAlign = 32;

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

void Put(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

// One image of an .ico: a bitmap header whose height counts the colour rows and the mask's,
// the colour rows bottom-up, then an all-clear mask (the icon is opaque).
std::string IcoImage(int size) {
    const std::uint32_t maskRow = (size + kMaskRowAlign - 1) / kMaskRowAlign * 4;
    const std::uint32_t colourBytes = static_cast<std::uint32_t>(size * size) * 4;
    std::string image;
    for (std::uint32_t value : {kBitmapHeaderBytes, static_cast<std::uint32_t>(size),
                                static_cast<std::uint32_t>(2 * size)})
        Put(image, value, 4);
    Put(image, 1, 2);
    Put(image, kBitsPerPixel, 2);
    Put(image, 0, 4);
    Put(image, colourBytes + maskRow * size, 4);
    Put(image, 0, 16);
    const std::vector<std::uint32_t> pixels = screen::RenderIcon(size);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x)
            Put(image, pixels[static_cast<std::size_t>(y * size + x)], 4);
    }
    image.append(maskRow * size, '\0');
    return image;
}

bool WriteIco(const std::filesystem::path& file) {
    std::string header;
    std::string images;
    Put(header, 0, 2);
    Put(header, kIcoType, 2);
    Put(header, std::size(kIcoSizes), 2);
    std::uint32_t offset = kIcoHeaderBytes + kIcoEntryBytes * std::size(kIcoSizes);
    for (int size : kIcoSizes) {
        const std::string image = IcoImage(size);
        Put(header, size, 1);
        Put(header, size, 1);
        Put(header, 0, 2);
        Put(header, 1, 2);
        Put(header, kBitsPerPixel, 2);
        Put(header, image.size(), 4);
        Put(header, offset, 4);
        offset += image.size();
        images += image;
    }
    std::ofstream out(file, std::ios::binary);
    out << header << images;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--ico") return WriteIco(argv[2]) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons FOLDER | make_icons --ico FILE\n");
        return 2;
    }
    const std::filesystem::path top = argv[1];
    for (int size : kSizes) {
        if (!WriteRaster(top, size)) return 1;
    }
    return WriteScalable(top) ? 0 : 1;
}
