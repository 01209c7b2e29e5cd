// Starting, joining and telling apart the layer's own threads, the only file of the layer that
// names the system's thread library. Owns the role mark of each thread; never touches records
// or sockets.
#pragma once

#include <pthread.h>

namespace net {

using ThreadHandle = pthread_t;

// Every thread the layer starts gets this stack; handlers run on it too.
inline constexpr unsigned long kLayerThreadStackBytes = 512000;

enum class ThreadRole { Caller, Worker, Cleanup };

// Starts procedure(argument) on a new joinable thread; false when the system refuses.
bool StartLayerThread(void* (*procedure)(void*), void* argument, ThreadHandle& thread);
// Waits for the thread to end, or lets it end on its own.
void JoinLayerThread(ThreadHandle thread);
void DetachLayerThread(ThreadHandle thread);
// Whether `thread` is the calling thread.
bool IsCallingThread(ThreadHandle thread);

// Called first by every layer thread, so that operations which would wait for the calling
// thread itself can notice it.
void MarkThisThread(ThreadRole role);
ThreadRole ThisThreadRole();

// Tests only: the next `count` thread starts fail as if the system had refused them.
void RefuseThreadStartsForTest(int count);

}  // namespace net
