// The plain copy of the Windows benchmark: one file through one Winsock connection to the
// benchmark on 127.0.0.1, read from disk or written to disk in pieces of 64 KiB, with nothing of
// the game in between: what a Windows program gets under Wine, for the game's rate to be read
// beside. Usage: plain_copy send PORT FILE | plain_copy receive PORT FILE. Exits 0 when every
// byte went; a receive ends when the benchmark closes its end.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

#include "tests/net/system.h"

namespace {

constexpr std::size_t kPiece = 64 * 1024;

bool SendFile(int socket, const char* path) {
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

bool ReceiveFile(int socket, const char* path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> piece(kPiece);
    long n = 0;
    while ((n = nettest::RawReceive(socket, piece.data(), piece.size())) > 0)
        out.write(piece.data(), n);
    out.close();
    return n == 0 && out.good();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int port = std::atoi(argv[2]);
    const int socket = nettest::ConnectLoopback(static_cast<std::uint16_t>(port));
    if (socket < 0) return 1;
    const bool sending = std::strcmp(argv[1], "send") == 0;
    const bool whole = sending ? SendFile(socket, argv[3]) : ReceiveFile(socket, argv[3]);
    nettest::RawClose(socket);
    return whole ? 0 : 1;
}
