// Encodes a frame as a PNG file: signature, IHDR, one IDAT and IEND, each
// chunk with its CRC. Uses zlib for the deflate stream and the CRC; keeps no
// state between calls.
#include "tests/e2e/png_writer.h"

#include <zlib.h>

#include <fstream>
#include <string_view>

namespace e2e {
namespace {

using Bytes = std::vector<unsigned char>;

constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char kBitDepth = 8;
constexpr unsigned char kColourTypeRgb = 2;
constexpr unsigned char kDeflateMethod = 0;
constexpr unsigned char kAdaptiveFilters = 0;
constexpr unsigned char kNoInterlace = 0;
constexpr unsigned char kFilterNone = 0;
constexpr int kBytesPerPixel = 3;
constexpr int kByteBits = 8;
constexpr int kChunkTypeLength = 4;

void PutBigEndian(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= kByteBits) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

// Length, type, data, then the CRC over type and data.
void AppendChunk(Bytes& file, std::string_view type, const Bytes& data) {
    PutBigEndian(file, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeStart = file.size();
    file.insert(file.end(), type.begin(), type.begin() + kChunkTypeLength);
    file.insert(file.end(), data.begin(), data.end());
    const uLong crc =
        crc32(0L, file.data() + typeStart, static_cast<uInt>(file.size() - typeStart));
    PutBigEndian(file, static_cast<std::uint32_t>(crc));
}

Bytes HeaderData(int width, int height) {
    Bytes data;
    PutBigEndian(data, static_cast<std::uint32_t>(width));
    PutBigEndian(data, static_cast<std::uint32_t>(height));
    data.insert(data.end(),
                {kBitDepth, kColourTypeRgb, kDeflateMethod, kAdaptiveFilters, kNoInterlace});
    return data;
}

// Every row starts with its filter byte; no filtering keeps the encoder trivial.
Bytes RawRows(const std::vector<std::uint32_t>& pixels, int width, int height) {
    Bytes raw;
    raw.reserve(static_cast<std::size_t>(height) * (width * kBytesPerPixel + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(kFilterNone);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t rgb = pixels[static_cast<std::size_t>(y) * width + x];
            raw.insert(raw.end(),
                       {static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
                        static_cast<unsigned char>(rgb)});
        }
    }
    return raw;
}

bool Deflate(const Bytes& raw, Bytes& packed) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    packed.resize(size);
    if (compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return false;
    }
    packed.resize(size);
    return true;
}

}  // namespace

bool WritePng(const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
              int height) {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<std::size_t>(width) * height) {
        return false;
    }
    Bytes packed;
    if (!Deflate(RawRows(pixels, width, height), packed)) return false;
    Bytes file(std::begin(kSignature), std::end(kSignature));
    AppendChunk(file, "IHDR", HeaderData(width, height));
    AppendChunk(file, "IDAT", packed);
    AppendChunk(file, "IEND", {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace e2e
