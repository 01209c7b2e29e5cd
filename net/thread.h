// Starting, joining and telling apart threads: the one way the whole program starts a thread (the
// game's through screen::ThreadCreate), and the only file that names the system's thread
// library. Owns the role mark of each thread; never touches records or sockets.
#pragma once

#include <pthread.h>

namespace net {

using ThreadHandle = pthread_t;

// Every thread gets this stack; the layer's handlers run on it too.
inline constexpr unsigned long kThreadStackBytes = 512000;

enum class ThreadRole { Caller, Worker, Cleanup };

// Starts procedure(argument) on a new joinable thread; false when the system refuses.
bool StartThread(void* (*procedure)(void*), void* argument, ThreadHandle& thread);
// Waits for the thread to end, or lets it end on its own.
void JoinThread(ThreadHandle thread);
void DetachThread(ThreadHandle thread);
// Whether `thread` is the calling thread.
bool IsCallingThread(ThreadHandle thread);

// Called first by every layer thread, so that operations which would wait for the calling
// thread itself can notice it.
void MarkThisThread(ThreadRole role);
ThreadRole ThisThreadRole();

}  // namespace net
