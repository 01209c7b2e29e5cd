// Small socket helpers shared by the creating operations and the workers.
// Owns nothing; never touches records or locks.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace net {

// An IPv4 socket address from an address in network byte order and a port in host order.
sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port);

// Sets `text` to the peer's dotted IPv4 address; false (text untouched) when it cannot be read.
bool ReadPeerAddress(int socket, std::string& text);

// True when the socket's local and remote endpoints are the same: a connect to a free port in
// the system's own range of source ports can end up connected to itself.
bool IsSelfConnected(int socket);

// A listening port can be bound again at once, while connections of an earlier listener on it
// still linger in TIME_WAIT.
void AllowQuickRebind(int socket);

// Small writes leave at once instead of waiting for the peer's delayed acknowledgement, and
// the send buffer is bounded: a peer that stops reading holds little memory and stalls a send
// within seconds, where the system's own sizing on loopback would queue megabytes first.
void SetUpConnectedSocket(int socket);

inline constexpr int kSendBufferBytes = 64 * 1024;

}  // namespace net
