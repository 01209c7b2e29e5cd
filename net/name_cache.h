// Host-text resolution with the NameCache and its CacheLock.
// Owns the cache entries and their clock; never touches connections or ListLock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/types.h"

namespace net {

// How long a resolved address is answered from the cache.
inline constexpr double kNameCacheLifetimeSeconds = 60.0;

struct NameCacheEntry {
    NameCacheEntry* V_Next = nullptr;
    NameCacheEntry* V_Prev = nullptr;
    std::string V_Host;
    std::uint32_t V_Addr = 0;  // IPv4, network byte order
    double V_Expires = 0.0;
};

// Resolves a host text (dotted IPv4 or a name) to an IPv4 address in network byte order.
// kNoError or kCannotResolveHost; on failure `address` is left as it was.
ResultCode ResolveHost(std::string_view host, std::uint32_t& address);

// Frees every entry (at the layer's stop).
void ClearNameCache();

}  // namespace net
