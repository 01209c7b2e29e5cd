// Starting and stopping the connection layer, and its CleanupThread.
// Owns ControlLock, the exit flag, the start signal and the cleanup thread; never opens a
// socket itself.
#pragma once

namespace net {

// Call once before anything else of the layer. Returns once the cleanup thread runs. If that
// thread cannot be started, the layer stays closed and every creating operation answers
// kThreadStartFailed. A second call while the layer runs does nothing.
void StartConnectionLayer();

// Closes every connection, raises their disconnect events, ends the cleanup thread and empties
// the name cache; returns when no thread of the layer is left. Safe when the layer never
// started and when called again; afterwards creating operations answer kThreadStartFailed and
// the others find no connection. Call it from a thread of the game, never from a handler (from
// a handler it closes everything but cannot wait for the layer's threads to end).
void StopConnectionLayer();

}  // namespace net
