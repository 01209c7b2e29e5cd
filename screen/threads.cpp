// Threads and mutexes for the game, behind handles that may be "none" so that
// code written for several threads also runs where no mutex was ever created.
#include "screen/graphics.h"

namespace screen {

ThreadHandle ThreadCreate(void (*procedure)()) {
    return new std::thread(procedure);
}

void ThreadWait(ThreadHandle handle) {
    if (handle == nullptr) return;
    if (handle->joinable()) handle->join();
    delete handle;
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
