// WriteTransferFile, SendFileRaw and ReceiveFileRaw.
#include "bench/support/plain_transfer.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/net/system.h"

namespace bench {
namespace {

constexpr std::size_t kPiece = 64 * 1024;
constexpr std::uint32_t kSpread = 2654435761u;  // a multiplicative hash: neighbouring bytes differ
constexpr int kSpreadShift = 13;

}  // namespace

bool WriteTransferFile(const std::filesystem::path& path, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    std::string piece(kPiece, '\0');
    for (std::size_t at = 0; at < size; at += piece.size()) {
        for (std::size_t i = 0; i < piece.size(); ++i)
            piece[i] = static_cast<char>((at + i) * kSpread >> kSpreadShift);
        out.write(piece.data(), static_cast<std::streamsize>(std::min(piece.size(), size - at)));
    }
    out.close();
    return out.good();
}

bool SendFileRaw(int socket, const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> piece(kPiece);
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
        std::string_view bytes(piece.data(), static_cast<std::size_t>(in.gcount()));
        while (!bytes.empty()) {
            const long sent = nettest::RawSend(socket, bytes);
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
    }
    return in.eof();
}

std::int64_t ReceiveFileRaw(int socket, const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> piece(kPiece);
    std::int64_t total = 0;
    for (long n; (n = nettest::RawReceive(socket, piece.data(), piece.size())) > 0; total += n)
        out.write(piece.data(), n);
    out.close();
    return out.good() ? total : -1;
}

}  // namespace bench
