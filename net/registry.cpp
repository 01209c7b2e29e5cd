// The connection registry: records, the ConnectionList, ListLock and the ConnId counter.
// Owns record memory and handle allocation; never opens, waits on or closes a socket and never
// starts a thread.
#include "net/registry.h"
#include "net/registry_testing.h"

#include <condition_variable>

#include "net/sockets.h"

namespace net {
namespace {

struct Registry {
    std::mutex listLock;
    ConnectionRecord* first = nullptr;
    ConnectionRecord* last = nullptr;
    ConnId counter = 0;
    // Open only while the cleanup thread runs, so every listed record is reaped in the end.
    bool open = false;
    // Set by every close while the cleanup thread is not looking, so it sleeps until there is
    // work: an idle layer wakes no thread.
    bool reapWanted = false;
    std::condition_variable reaperWake;
};

Registry state;

bool IdInUse(ConnId id) {
    return FindRecord(id) != nullptr;
}

// The counter wraps from the largest handle to the smallest; 0 never names a connection and a
// handle still listed is never handed out twice.
ConnId NextFreeId() {
    do {
        state.counter = static_cast<ConnId>(static_cast<std::uint32_t>(state.counter) + 1u);
    } while (state.counter == kNoConnection || IdInUse(state.counter));
    return state.counter;
}

void FreeAddressFilter(ConnectionRecord* record) {
    AddressFilterEntry* entry = record->V_FilterFirst;
    while (entry != nullptr) {
        AddressFilterEntry* next = entry->V_Next;
        delete entry;
        entry = next;
    }
}

void CloseOwnedSocket(OwnedSocket* owned) {
    if (owned->descriptor != kNoSocket) CloseSocket(owned->descriptor);
    delete owned;
}

}  // namespace

std::shared_ptr<OwnedSocket> OwnSocket(int descriptor) {
    return std::shared_ptr<OwnedSocket>(new OwnedSocket{descriptor, {}}, CloseOwnedSocket);
}

std::mutex& ListLock() {
    return state.listLock;
}

ConnectionRecord* AllocateRecord() {
    if (!state.open) return nullptr;
    auto* record = new ConnectionRecord{};
    record->V_ID = NextFreeId();
    record->V_Prev = state.last;
    if (state.last != nullptr) {
        state.last->V_Next = record;
    } else {
        state.first = record;
    }
    state.last = record;
    return record;
}

ConnectionRecord* FindRecord(ConnId id) {
    for (ConnectionRecord* record = state.first; record != nullptr; record = record->V_Next) {
        if (record->V_ID == id) return record;
    }
    return nullptr;
}

ConnectionRecord* FirstRecord() {
    return state.first;
}

void RemoveRecord(ConnectionRecord* record) {
    if (record->V_Prev != nullptr) {
        record->V_Prev->V_Next = record->V_Next;
    } else {
        state.first = record->V_Next;
    }
    if (record->V_Next != nullptr) {
        record->V_Next->V_Prev = record->V_Prev;
    } else {
        state.last = record->V_Prev;
    }
    FreeAddressFilter(record);
    delete record;
}

bool RegistryIsEmpty() {
    return state.first == nullptr;
}

void SetRegistryOpen(bool open) {
    state.open = open;
}

void WakeReaper() {
    state.reapWanted = true;
    state.reaperWake.notify_one();
}

void WaitForReaperWake(std::unique_lock<std::mutex>& list) {
    state.reaperWake.wait(list, [] { return state.reapWanted; });
    state.reapWanted = false;
}

std::vector<ConnId> ListedIds() {
    std::lock_guard lock(state.listLock);
    std::vector<ConnId> ids;
    for (ConnectionRecord* record = state.first; record != nullptr; record = record->V_Next) {
        ids.push_back(record->V_ID);
    }
    return ids;
}

bool RegistryAcceptsRecords() {
    std::lock_guard lock(state.listLock);
    return state.open;
}

void SetConnIdCounterForTest(ConnId value) {
    std::lock_guard lock(state.listLock);
    state.counter = value;
}

std::size_t RecordCountForTest() {
    return ListedIds().size();
}

bool CopyRecordForTest(ConnId id, ConnectionRecord& copy) {
    std::lock_guard lock(state.listLock);
    const ConnectionRecord* record = FindRecord(id);
    if (record == nullptr) return false;
    copy = *record;
    return true;
}

}  // namespace net
