// Starting the layer's threads with their fixed stack size, and each thread's role mark.
// Owns the refusal counter for tests and the per-thread role; never touches records or sockets.
#include "net/thread.h"
#include "net/thread_testing.h"

#include <atomic>

namespace net {
namespace {

struct ThreadModule {
    std::atomic<int> startsToRefuse{0};
};

ThreadModule state;

// Per-thread by nature, so it cannot live in the shared struct above.
thread_local ThreadRole thisThreadRole = ThreadRole::Caller;

bool TakeRefusal() {
    int left = state.startsToRefuse.load();
    while (left > 0) {
        if (state.startsToRefuse.compare_exchange_weak(left, left - 1)) return true;
    }
    return false;
}

}  // namespace

bool StartThread(void* (*procedure)(void*), void* argument, ThreadHandle& thread) {
    if (TakeRefusal()) return false;
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    bool started = pthread_attr_setstacksize(&attributes, kThreadStackBytes) == 0 &&
                   pthread_create(&thread, &attributes, procedure, argument) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

void JoinThread(ThreadHandle thread) {
    pthread_join(thread, nullptr);
}

void DetachThread(ThreadHandle thread) {
    pthread_detach(thread);
}

bool IsCallingThread(ThreadHandle thread) {
    return pthread_equal(thread, pthread_self()) != 0;
}

void MarkThisThread(ThreadRole role) {
    thisThreadRole = role;
}

ThreadRole ThisThreadRole() {
    return thisThreadRole;
}

void RefuseThreadStartsForTest(int count) {
    state.startsToRefuse.store(count);
}

}  // namespace net
