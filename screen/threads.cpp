// Threads and mutexes for the game, behind handles that may be "none" so that
// code written for several threads also runs where no mutex was ever created. The threads start
// through net/thread.h, the program's one way of starting a thread.
#include "screen/graphics.h"

#include <atomic>

#include "net/thread.h"

namespace screen {

// The record is freed by whoever is done with it last: the waiter after the join, or, for a
// released thread, the thread itself or the releaser.
struct Thread {
    net::ThreadHandle native{};
    void (*procedure)() = nullptr;
    std::atomic<int> holders{2};
};

namespace {

void Drop(Thread* thread) {
    if (thread->holders.fetch_sub(1) == 1) delete thread;
}

void* Run(void* argument) {
    auto* thread = static_cast<Thread*>(argument);
    thread->procedure();
    Drop(thread);
    return nullptr;
}

}  // namespace

ThreadHandle ThreadCreate(void (*procedure)()) {
    auto* thread = new Thread;
    thread->procedure = procedure;
    if (net::StartThread(Run, thread, thread->native)) return thread;
    delete thread;
    return nullptr;
}

void ThreadWait(ThreadHandle handle) {
    if (handle == nullptr) return;
    net::JoinThread(handle->native);
    delete handle;
}

void ThreadRelease(ThreadHandle handle) {
    if (handle == nullptr) return;
    net::DetachThread(handle->native);
    Drop(handle);
}

MutexHandle MutexCreate() {
    return new Mutex;
}

// The analysis cannot follow a lock that may be none; the annotations on the declarations carry it.
void MutexLock(MutexHandle handle) NO_THREAD_SAFETY_ANALYSIS {
    if (handle != nullptr) handle->native.lock();
}

void MutexUnlock(MutexHandle handle) NO_THREAD_SAFETY_ANALYSIS {
    if (handle != nullptr) handle->native.unlock();
}

void MutexDestroy(MutexHandle handle) {
    delete handle;
}

}  // namespace screen
