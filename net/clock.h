// The layer's clock and pause: seconds on a clock that never jumps, and short sleeps.
// Owns no state; never touches connections.
#pragma once

namespace net {

// Seconds since an arbitrary fixed point, with sub-microsecond resolution. Monotonic, so a
// change of the wall clock neither stretches nor cuts a connect time-out or a cache entry.
double MonotonicSeconds();

void PauseMilliseconds(int milliseconds);

}  // namespace net
