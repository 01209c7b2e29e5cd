// Datagrams on the local network, for finding a game: a listener on a UDP port that other
// programs on the machine may share, and broadcasts to every interface that can carry them.
// Owns only the sockets it opens; knows nothing of what the datagrams hold. Usable while the
// connection layer runs (it starts the system's socket library).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace net {

inline constexpr int kNoDatagramSocket = -1;
// A datagram is read into a buffer this large; a longer one comes cut, one byte over.
inline constexpr std::size_t kLargestDatagram = 512;

// A socket that receives the datagrams sent to `port` on any address, beside other programs on
// the machine that do the same; kNoDatagramSocket when it cannot be bound.
int OpenDatagramListener(std::uint16_t port);
// Waits for the next datagram; `source` gets its sender's address in network byte order. False
// when the socket failed.
bool ReceiveNextDatagram(int listener, std::string& data, std::uint32_t& source);
// A socket to broadcast from; kNoDatagramSocket when none can be made.
int OpenBroadcaster();
// Sends `data` to `port` at the broadcast address of every IPv4 interface that is up and can
// broadcast; returns how many interfaces it went out on.
int Broadcast(int broadcaster, std::uint16_t port, std::string_view data);
void CloseDatagramSocket(int socket);

// "a.b.c.d" of an address in network byte order.
std::string DottedText(std::uint32_t address);
// Whether `text` is a dotted numeric IPv4 address.
bool IsDottedAddress(const std::string& text);

}  // namespace net
