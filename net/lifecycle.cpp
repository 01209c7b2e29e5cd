// The layer's start and stop, with the system's socket library around them, and its
// CleanupThread, which reaps closed connections and raises their disconnect events. Owns
// ControlLock, the exit flag, the start signal and the cleanup thread's handle; never opens or
// closes a socket itself.
#include "net/lifecycle.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "net/name_cache.h"
#include "net/registry.h"
#include "net/sockets.h"
#include "net/thread.h"
#include "net/worker.h"

namespace net {
namespace {

enum class Phase { Stopped, Running, Stopping };

// Guarded by ControlLock. When both are held, ListLock is taken first.
struct Lifecycle {
    std::mutex controlLock;
    std::condition_variable startSignal;
    bool cleanupSignalled = false;
    std::uint8_t exitFlag = 0;
    Phase phase = Phase::Stopped;
    ThreadHandle cleanupThread{};
};

Lifecycle state;

void GiveStartSignal() {
    std::lock_guard control(state.controlLock);
    state.cleanupSignalled = true;
    state.startSignal.notify_all();
}

// Caller holds ListLock. Marking the layer stopped here, not in the caller of Stop, lets a
// layer that was stopped from a handler (whose thread cannot wait for this one) start again.
bool ExitWanted() {
    std::lock_guard control(state.controlLock);
    if (state.exitFlag != 1 || !RegistryIsEmpty()) return false;
    state.phase = Phase::Stopped;
    return true;
}

struct Reaped {
    ThreadHandle worker;
    ConnId id;
    DisconnectHandler onDisconnect;
};

// Only this thread removes records, so the noted successor outlives the unlocked stretch.
void ReapClosedRecords(std::unique_lock<std::mutex>& list) {
    ConnectionRecord* record = FirstRecord();
    while (record != nullptr) {
        ConnectionRecord* next = record->V_Next;
        if (record->V_State == kStateClosed) {
            record->V_State = kStateRemoving;
            const Reaped reaped{record->V_ThreadID, record->V_ID, record->V_EventDisconnect};
            list.unlock();
            JoinThread(reaped.worker);
            if (reaped.onDisconnect != nullptr) reaped.onDisconnect(reaped.id);
            list.lock();
            RemoveRecord(record);
        }
        record = next;
    }
}

void* CleanupThread(void*) {
    MarkThisThread(ThreadRole::Cleanup);
    GiveStartSignal();
    std::unique_lock list(ListLock());
    for (;;) {
        ReapClosedRecords(list);
        if (ExitWanted()) return nullptr;
        WaitForReaperWake(list);
    }
}

// Closing the registry in the same step keeps a handler from adding a connection that the
// ending cleanup thread would then wait for.
bool BeginStop(ThreadHandle& cleanupThread) {
    std::lock_guard list(ListLock());
    std::lock_guard control(state.controlLock);
    if (state.phase != Phase::Running) return false;
    state.phase = Phase::Stopping;
    cleanupThread = state.cleanupThread;
    SetRegistryOpen(false);
    return true;
}

void RequestCleanupExit() {
    std::lock_guard list(ListLock());
    std::lock_guard control(state.controlLock);
    state.exitFlag = 1;
    WakeReaper();
}

// A handler calling this runs on a thread the cleanup thread joins: waiting would deadlock, so
// the cleanup thread is left to end by itself.
void EndCleanupThread(ThreadHandle cleanupThread) {
    if (ThisThreadRole() == ThreadRole::Caller) {
        JoinThread(cleanupThread);
    } else {
        DetachThread(cleanupThread);
    }
}

}  // namespace

void StartConnectionLayer() {
    std::lock_guard list(ListLock());
    std::unique_lock control(state.controlLock);
    if (state.phase != Phase::Stopped) return;
    state.exitFlag = 0;
    state.cleanupSignalled = false;
    if (!StartSocketLibrary()) return;
    if (!StartThread(CleanupThread, nullptr, state.cleanupThread)) {
        StopSocketLibrary();
        return;
    }
    state.startSignal.wait(control, [] { return state.cleanupSignalled; });
    state.phase = Phase::Running;
    SetRegistryOpen(true);
}

void StopConnectionLayer() {
    ThreadHandle cleanupThread{};
    if (BeginStop(cleanupThread)) {
        // Taking the handles first: the cleanup thread may remove records meanwhile.
        for (ConnId id : ListedIds())
            Disconnect(id);
        RequestCleanupExit();
        EndCleanupThread(cleanupThread);
        StopSocketLibrary();
    }
    ClearNameCache();
}

}  // namespace net
