// Every call the connection layer makes to the system's sockets, behind one interface: the
// socket library's start and stop, opening, binding, connecting, accepting, waiting, sending,
// receiving, shutting down and closing, the options set on a connection, datagrams, interface
// and endpoint addresses and the name lookup. What differs per system is implemented in
// sockets_posix.cpp and sockets_win32.cpp, the only files of the program that include a socket
// header; what follows from it alike on every system, in sockets.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// The send buffer of a connection: a peer that stops reading holds little memory and stalls a
// send within seconds, where the system's own sizing on loopback would queue megabytes first.
inline constexpr int kSendBufferBytes = 64 * 1024;
// The receive queue of a connection: a message that follows a file's bytes waits behind at most
// this much of them, where the system's own sizing would let megabytes queue up ahead of it.
inline constexpr int kReceiveQueueBytes = 256 * 1024;

// A peer that vanishes without closing (a laptop lid shut, a cable pulled) is noticed by the
// system within kDeadPeerMilliseconds, whether the connection is idle (keepalive probes from
// kKeepAliveIdleSeconds on, every kKeepAliveIntervalSeconds) or has bytes in flight (the user
// time-out). Retransmissions never pause longer than kMaxRetransmitPauseMilliseconds, so an
// outage shorter than the limit is bridged within seconds of its end.
inline constexpr int kKeepAliveIdleSeconds = 10;
inline constexpr int kKeepAliveIntervalSeconds = 3;
inline constexpr int kKeepAliveProbes = 6;
inline constexpr int kDeadPeerMilliseconds = 27000;
inline constexpr int kMaxRetransmitPauseMilliseconds = 3000;

// What made the calling thread's last socket call fail, as far as the layer cares.
enum class SocketError { kWouldBlock, kInterrupted, kAlreadyConnected, kTransient, kOther };
SocketError LastSocketError();

// The system's socket library, around the whole life of the layer; false when it cannot start.
bool StartSocketLibrary();
void StopSocketLibrary();

// An IPv4 stream socket that child processes do not inherit; -1 on failure.
int OpenStreamSocket();
void CloseSocket(int socket);
// Ends both directions; a wait or a send blocked on the socket returns at once.
void ShutDownSocket(int socket);
// Switches the socket between blocking and non-blocking calls; false on failure.
bool SetNonBlocking(int socket, bool nonBlocking);

// Binds to 0.0.0.0 and the port (0 lets the system choose).
bool BindToAnyAddress(int socket, std::uint16_t port);
bool StartListening(int socket, int backlog);
// One connect attempt; true once the connection stands. `address` is in network byte order.
bool ConnectOnce(int socket, std::uint32_t address, std::uint16_t port);
// A connection taken from a listening socket, not inherited by child processes; -1 on failure.
int AcceptConnection(int listener);

enum class WaitResult { kReady, kTimedOut, kFailed };
// Waits until the socket can be read, or written; an interrupted wait counts as timed out.
WaitResult WaitForSocket(int socket, bool forWriting, int timeoutMilliseconds);
// Hands the system what it takes now, without waiting for room and without a broken-pipe
// signal; the count taken, or -1.
long SendWithoutWaiting(int socket, const char* data, std::size_t length);
// Up to `capacity` bytes; 0 when the peer has closed, -1 on failure.
long ReceiveSome(int socket, char* buffer, std::size_t capacity);

// An IPv4 address and port, the address in network byte order.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};
// The socket's own end, or its peer's; false when it cannot be read.
bool ReadEndpoint(int socket, bool peer, Endpoint& endpoint);

// A listening port can be bound again at once, while connections of an earlier listener on it
// still linger in TIME_WAIT.
void AllowQuickRebind(int socket);
// Small writes leave at once instead of waiting for the peer's delayed acknowledgement, the send
// and receive buffers are bounded (kSendBufferBytes, kReceiveQueueBytes), and a vanished peer is
// noticed (kDeadPeerMilliseconds).
void SetUpConnectedSocket(int socket);
// Bytes handed to the system that the peer has not yet acknowledged; 0 where the system cannot
// tell.
std::size_t SocketUnacknowledgedBytes(int socket);

struct InterfaceAddress {
    std::string dotted;  // the interface's IPv4 address
    bool loopback;
    std::uint32_t broadcast;  // its broadcast address in network byte order; 0 when it has none
};
// The IPv4 addresses of the interfaces that are up, in the system's order.
std::vector<InterfaceAddress> ListInterfaceAddresses();

// An IPv4 datagram socket that child processes do not inherit; -1 on failure.
int OpenDatagramSocket();
// Several programs may bind the same datagram port, each getting every broadcast to it.
void ShareDatagramPort(int socket);
// The socket may send to broadcast addresses.
void AllowBroadcast(int socket);
// One datagram to `address` (network byte order) and `port`; false when the system refuses it.
bool SendDatagram(int socket, std::uint32_t address, std::uint16_t port, std::string_view data);
// Waits for the next datagram and takes up to `capacity` bytes of it (a longer one is cut, and
// counts as `capacity + 1` bytes); `source` gets its sender's address in network byte order.
// -1 on failure.
long ReceiveDatagram(int socket, char* buffer, std::size_t capacity, std::uint32_t& source);

// The first IPv4 address the system's resolver gives for a name; false when there is none.
bool LookUpHostAddress(const std::string& name, std::uint32_t& address);

// The portable half of the seam, built on the procedures above (sockets.cpp).
// Sets `text` to the peer's dotted IPv4 address; false (text untouched) when it cannot be read.
bool ReadPeerAddress(int socket, std::string& text);
// True when the socket's local and remote endpoints are the same: a connect to a free port in
// the system's own range of source ports can end up connected to itself.
bool IsSelfConnected(int socket);
// Four decimal numbers from 0 to 255 with a dot between them, in network byte order; false for
// anything else (host names go to LookUpHostAddress) and for 255.255.255.255, which names no
// host.
bool ParseDottedAddress(const std::string& text, std::uint32_t& address);
// "a.b.c.d" of an address in network byte order.
std::string DottedText(std::uint32_t address);

}  // namespace net
