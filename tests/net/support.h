// Shared fixtures of the connection layer's tests: an event log fed by recording handlers,
// handlers that can be held at a gate, raw loopback sockets, counts of open descriptors and
// threads, and a watchdog that ends a hung test. Never changes the layer's own behaviour.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/net.h"
#include "tests/net/system.h"

namespace nettest {

// Connect time-out for loopback targets that listen: only a fault would reach it.
inline constexpr std::uint32_t kLoopbackConnectTimeout = 5;
// How long a test waits to see that something does not happen.
inline constexpr std::chrono::milliseconds kQuietPause{300};
// More than the system buffers of one loopback connection hold, so a send of it blocks until
// the peer reads.
inline constexpr std::size_t kFloodBytes = std::size_t{64} << 20;

enum class Kind { Connect, Data, Disconnect, NewConnection };

struct Event {
    Kind kind;
    net::ConnId id;       // the connection (the server for NewConnection)
    std::string data;     // received bytes, or the peer address for NewConnection
    std::uint64_t thread;  // the system's id of the thread the handler ran on
    net::ConnId adopted;  // NewConnection through AdoptConnection: the new handle
    int socket;           // NewConnection through KeepConnection: the handed-over socket
    bool workerGone;      // Disconnect: the connection's worker thread had ended
};

void ResetEvents();
std::vector<Event> Events();
std::vector<Event> EventsOf(net::ConnId id);
int CountOf(Kind kind, net::ConnId id);
int CountOf(Kind kind);
std::string DataOf(net::ConnId id);
// The handle AdoptConnection gave the server's nth (from 1) incoming connection; 0 if none.
net::ConnId AdoptedBy(net::ConnId server, int nth);
// Waits until `done` holds (checked whenever an event arrives); false after `seconds`.
bool WaitFor(const std::function<bool()>& done, double seconds = kEventWaitSeconds);

// Recording handlers.
void OnConnect(net::ConnId id);
void OnDisconnect(net::ConnId id);
void OnData(net::ConnId id, std::string_view data);
// Adopts every incoming socket with CreateAccept and the recording handlers.
void AdoptConnection(net::ConnId server, int socket, std::string_view peerAddress);
// Leaves every incoming socket to the test (Event::socket).
void KeepConnection(net::ConnId server, int socket, std::string_view peerAddress);

// While held, handlers of this kind record their event and then wait until released.
void Hold(Kind kind);
void Release(Kind kind);

// The port a server actually listens on.
std::uint16_t ServerPort(net::ConnId server);

// Creates a listening server with KeepConnection; fails the test on an error.
net::ConnId NewServer();

// A server that adopts what it accepts and a client connected to it, all with the
// recording handlers. Handles stay 0 where a step failed (reported as a test failure).
struct LoopbackPair {
    net::ConnId server = 0;
    net::ConnId client = 0;
    net::ConnId accepted = 0;
};
LoopbackPair ConnectLoopbackPair();

// A layer client with the recording handlers, connected to a raw listener, and the raw end.
struct RawPeer {
    int listener = -1;
    int peer = -1;
    net::ConnId client = 0;
};
RawPeer ConnectToRawPeer();
void CloseRaw(const RawPeer& pair);

// Every test body runs under a watchdog, so a hang fails one test instead of stalling the run.
class WatchedTest : public ::testing::Test {
   protected:
    void SetUp() override;
    void TearDown() override;

   private:
    std::thread watchdog_;
};

// Starts the layer before each test and stops it after.
class LayerTest : public WatchedTest {
   protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace nettest
