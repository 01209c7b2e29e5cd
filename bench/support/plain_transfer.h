// The plain copy the transfer benchmarks read the game's rates beside: a file sent through or
// received from a raw socket (tests/net/system.h), read or written in pieces of 64 KiB, with
// nothing of the game in between. Built into the Linux benchmarks and the Windows plain copy
// alike; never closes the socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace bench {

// A file of `size` bytes that no two pieces repeat, for the transfers to carry; false when it
// could not be written.
bool WriteTransferFile(const std::filesystem::path& path, std::size_t size);

// Every byte of the file on the socket; false when the socket refused some.
bool SendFileRaw(int socket, const std::filesystem::path& path);
// All that arrives until the other side closes, into the file; the number of bytes written,
// or -1 when the file could not be written.
std::int64_t ReceiveFileRaw(int socket, const std::filesystem::path& path);

}  // namespace bench
