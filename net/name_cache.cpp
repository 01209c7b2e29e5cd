// Host-text resolution and the NameCache guarded by CacheLock.
// Owns the cache entries, their clock and the resolver calls; never touches connections or
// ListLock, and holds CacheLock for the whole of a resolution so one host is looked up once.
#include "net/name_cache.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <mutex>

#include "net/clock.h"

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

constexpr std::uint32_t kAllOnesAddress = 0xFFFFFFFFu;

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

// getaddrinfo instead of the older by-name lookup, which returns a shared static result and so
// cannot be used from several threads.
bool LookUpName(const std::string& host, std::uint32_t& address) {
    ++state.nameLookups;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr) return false;
    address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(answer);
    return address != kAllOnesAddress;
}

bool LookUpAddress(std::string_view host, std::uint32_t& address) {
    // The system calls stop at a zero byte; a text holding one would be cached under a name
    // other than the one actually resolved.
    if (host.find('\0') != std::string_view::npos) return false;
    const std::string text(host);
    ++state.freshResolutions;
    const in_addr_t numeric = inet_addr(text.c_str());
    if (numeric != kAllOnesAddress) {
        address = numeric;
        return true;
    }
    return LookUpName(text, address);
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
