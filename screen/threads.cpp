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
    return new std::mutex;
}

void MutexLock(MutexHandle handle) {
    if (handle != nullptr) handle->lock();
}

void MutexUnlock(MutexHandle handle) {
    if (handle != nullptr) handle->unlock();
}

void MutexDestroy(MutexHandle handle) {
    delete handle;
}

}  // namespace screen
