// The layer's clock and pause.
// Owns no state; never touches connections.
#include "net/clock.h"

#include <chrono>
#include <thread>

namespace net {

double MonotonicSeconds() {
    using Seconds = std::chrono::duration<double>;
    return Seconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void PauseMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace net
