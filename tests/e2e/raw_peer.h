// A raw TCP peer for end-to-end tests: a plain socket that connects to the
// game's port on loopback and sends and reads protocol bytes exactly as
// given, so a test can split, join or forge messages. Owns only the sockets
// it opens; knows nothing of the game's screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace e2e {

// Connects to 127.0.0.1:port, trying again until a listener answers or
// timeoutMs has passed; -1 on failure.
int ConnectRawPeer(std::uint16_t port, int timeoutMs);
// The same with a tiny receive buffer, for a peer that means to stop reading.
int ConnectRawPeerWithSmallBuffer(std::uint16_t port, int timeoutMs);
bool SendRaw(int socket, std::string_view bytes);
// Reads until `count` bytes have come or timeoutMs has passed; returns what came.
std::string ReadRaw(int socket, std::size_t count, int timeoutMs);
// The game's greeting as a copy built only for the original wire sees it: a block of its own,
// which such a copy ignores whole ("SYST:" and a letter it does not know).
inline constexpr std::string_view kGreeting = "SYST:VMarevant/01";
// What one receive returns, the first bytes to come within timeoutMs; empty when none came.
std::string ReadFirstBlock(int socket, int timeoutMs);
// The first block is exactly the greeting, alone.
bool TakeGreeting(int socket, int timeoutMs);
// True when the other side closes the connection within timeoutMs.
bool ClosedByPeer(int socket, int timeoutMs);
void CloseRaw(int& socket);
// Ends the connection with a reset instead of an orderly close.
void ResetRaw(int& socket);
// Opens a connection without waiting long for it and drops it at once, with a
// reset when `reset`; for storms of short-lived clients.
void ConnectAndDrop(std::uint16_t port, bool reset);

}  // namespace e2e
