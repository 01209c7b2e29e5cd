// Raw sockets and process introspection for the tests and benchmarks, one implementation per
// system (system_posix.cpp, system_win32.cpp): plain sockets beside the connection layer, never
// through it, and counts of the process's descriptors and threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nettest {

// Generous bound for anything that should happen "soon"; only a hang reaches it.
inline constexpr double kEventWaitSeconds = 20.0;

// The system's id of a thread, as the handlers record it.
using ThreadId = std::uint64_t;
ThreadId ThisThreadId();

// Raw loopback sockets, all blocking unless switched.
int ListenLoopback(std::uint16_t& port);  // bound to 127.0.0.1:0 and listening
int BindLoopback(std::uint16_t& port);    // bound to 127.0.0.1:0, not listening
// -1 when refused; a receive buffer above 0 is set before the connect, so the window offered
// starts small.
int ConnectLoopback(std::uint16_t port, int receiveBuffer = 0);
// A connect begun without waiting for it; -1 when no socket could be made.
int StartConnectLoopback(std::uint16_t port);
int AcceptOne(int listener);
int RawSocket();  // a fresh, unbound TCP socket
void RawClose(int socket);
long RawSend(int socket, std::string_view bytes);
long RawReceive(int socket, char* buffer, std::size_t capacity);
bool SetRawNonBlocking(int socket, bool nonBlocking);
bool RawListen(int socket);
bool SendsWithoutDelay(int socket);  // TCP_NODELAY is set
void SendWithoutDelay(int socket);   // sets TCP_NODELAY
// Waits up to timeoutMs until the socket can be read (or written); false on time-out.
bool WaitRaw(int socket, bool forWriting, int timeoutMs);
// The next close sends a reset instead of ending in order.
void ResetOnClose(int socket);
std::uint16_t LocalPort(int socket);
std::string ReceiveExactly(int socket, std::size_t count);
bool PeerClosed(int socket);  // recv sees end of stream or reset
bool IsOpen(int descriptor);
int QueuedForReading(int socket);  // bytes waiting to be received

// Open handles of the process (descriptors on POSIX) and its threads.
std::size_t OpenDescriptorCount();
std::size_t ThreadCount();
bool ThreadAlive(ThreadId thread);
// True once the thread has ended (waits up to about a second for the system to finish it).
bool ThreadEnds(ThreadId thread);

}  // namespace nettest
