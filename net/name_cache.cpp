// Host-text resolution and the NameCache guarded by CacheLock.
// Owns the cache entries, their clock and the resolver calls; never touches connections or
// ListLock, and holds CacheLock for the whole of a resolution so one host is looked up once.
#include "net/name_cache.h"
#include "net/name_cache_testing.h"

#include <mutex>

#include "net/clock.h"
#include "net/sockets.h"

namespace net {
namespace {

struct NameCache {
    std::mutex cacheLock;
    NameCacheEntry* first = nullptr;
    NameCacheEntry* last = nullptr;
    double clockOffset = 0.0;
    unsigned freshResolutions = 0;
    unsigned nameLookups = 0;
};

NameCache state;

double CacheNow() {
    return MonotonicSeconds() + state.clockOffset;
}

void Unlink(NameCacheEntry* entry) {
    (entry->V_Prev != nullptr ? entry->V_Prev->V_Next : state.first) = entry->V_Next;
    (entry->V_Next != nullptr ? entry->V_Next->V_Prev : state.last) = entry->V_Prev;
    delete entry;
}

void DropExpiredEntries() {
    NameCacheEntry* entry = state.first;
    while (entry != nullptr) {
        NameCacheEntry* next = entry->V_Next;
        if (entry->V_Expires <= CacheNow()) Unlink(entry);
        entry = next;
    }
}

const NameCacheEntry* FindEntry(std::string_view host) {
    for (const NameCacheEntry* entry = state.first; entry != nullptr; entry = entry->V_Next) {
        if (entry->V_Host == host) return entry;
    }
    return nullptr;
}

void AppendEntry(std::string_view host, std::uint32_t address) {
    auto* entry = new NameCacheEntry{nullptr, state.last, std::string(host), address,
                                     CacheNow() + kNameCacheLifetimeSeconds};
    (state.last != nullptr ? state.last->V_Next : state.first) = entry;
    state.last = entry;
}

bool LookUpAddress(std::string_view host, std::uint32_t& address) {
    // The system calls stop at a zero byte; a text holding one would be cached under a name
    // other than the one actually resolved.
    if (host.find('\0') != std::string_view::npos) return false;
    const std::string text(host);
    ++state.freshResolutions;
    if (ParseDottedAddress(text, address)) return true;
    ++state.nameLookups;
    return LookUpHostAddress(text, address);
}

}  // namespace

ResultCode ResolveHost(std::string_view host, std::uint32_t& address) {
    std::lock_guard lock(state.cacheLock);
    DropExpiredEntries();
    if (const NameCacheEntry* cached = FindEntry(host)) {
        address = cached->V_Addr;
        return kNoError;
    }
    std::uint32_t resolved = 0;
    if (!LookUpAddress(host, resolved)) return kCannotResolveHost;
    AppendEntry(host, resolved);
    address = resolved;
    return kNoError;
}

void ClearNameCache() {
    std::lock_guard lock(state.cacheLock);
    while (state.first != nullptr)
        Unlink(state.first);
}

void SetNameCacheClockOffsetForTest(double seconds) {
    std::lock_guard lock(state.cacheLock);
    state.clockOffset = seconds;
}

NameCacheStats NameCacheStatsForTest() {
    std::lock_guard lock(state.cacheLock);
    NameCacheStats stats;
    for (const NameCacheEntry* entry = state.first; entry != nullptr; entry = entry->V_Next) {
        ++stats.entries;
    }
    stats.freshResolutions = state.freshResolutions;
    stats.nameLookups = state.nameLookups;
    return stats;
}

}  // namespace net
