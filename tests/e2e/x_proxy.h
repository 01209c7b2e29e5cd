// A relay between one X client and the private X server that cuts the
// connection when the client sends a chosen request, to test how a program
// survives losing its display at that point. It reads the client's requests
// only to find their boundaries; it never changes a byte it passes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace e2e {

// The core request that creates a window.
inline constexpr std::uint8_t kCreateWindowOpcode = 1;

struct XProxy {
    int listener = -1;
    std::string display;  // DISPLAY for the client: a TCP display on loopback
    std::uint8_t cutAt = kCreateWindowOpcode;
    std::atomic<bool> cut{false};  // the connection was cut at that request
    std::thread relay;
};

// Listens on loopback for one client and relays it to the server of
// `serverDisplay` (":N") until the client sends a request with opcode
// `proxy.cutAt`, which is never passed on: both connections close instead.
bool StartXProxy(XProxy& proxy, const std::string& serverDisplay);
// Waits for the relay to end (it ends by itself after a time-out) and closes all.
void StopXProxy(XProxy& proxy);

}  // namespace e2e
