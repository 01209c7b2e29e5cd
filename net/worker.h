// Each connection's ConnectionWorker (accept loop for servers, receive loop otherwise) and the
// two operations that end a connection from the caller's side. Owns the worker threads and the
// moment a socket is closed; never removes a record (the cleanup thread does).
#pragma once

#include "net/thread.h"
#include "net/types.h"

namespace net {

// A worker waits for readability without a time-out: Disconnect and the layer's stop shut its
// socket down, which ends the wait at once, so an idle connection wakes no thread.
inline constexpr int kReadWaitForever = -1;
// One receive call delivers at most this many bytes in one data event.
inline constexpr int kReceiveBufferBytes = 7936;
// How often WaitClose looks whether the record is gone.
inline constexpr int kWaitClosePauseMilliseconds = 10;

// Ends a connection: kNoError, kNoSocketInRecord while it is already ending, or
// kConnIdNotFound. The disconnect event follows on the cleanup thread.
ResultCode Disconnect(ConnId id);

// Returns once no record has this handle, i.e. after its disconnect event has been handled.
// Returns at once for an unknown handle, and when called on the connection's own worker or on
// the cleanup thread, where waiting could never end.
void WaitClose(ConnId id);

// Inside the layer only: starts the record's worker; the caller holds ListLock.
bool StartConnectionWorker(ConnId id, ThreadHandle& thread);

}  // namespace net
