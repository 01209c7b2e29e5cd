// The plain copy of the Windows benchmark: one file through one Winsock connection to the
// benchmark on 127.0.0.1 (bench/support/plain_transfer.h), with nothing of the game in between:
// what a Windows program gets under Wine, for the game's rate to be read beside.
// Usage: plain_copy send PORT FILE | plain_copy receive PORT FILE. Exits 0 when every byte
// went; a receive ends when the benchmark closes its end.
#include <cstdlib>
#include <cstring>

#include "bench/support/plain_transfer.h"
#include "tests/net/system.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int port = std::atoi(argv[2]);
    const int socket = nettest::ConnectLoopback(static_cast<std::uint16_t>(port));
    if (socket < 0) return 1;
    const bool whole = std::strcmp(argv[1], "send") == 0
                           ? bench::SendFileRaw(socket, argv[3])
                           : bench::ReceiveFileRaw(socket, argv[3]) >= 0;
    nettest::RawClose(socket);
    return whole ? 0 : 1;
}
