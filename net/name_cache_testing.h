// What tests may see and set of the name cache: its counts, and its clock moved. The
// program never includes this header.
#pragma once

#include "net/name_cache.h"

namespace net {

struct NameCacheStats {
    std::size_t entries = 0;
    unsigned freshResolutions = 0;  // host texts resolved without the cache
    unsigned nameLookups = 0;       // host texts handed to the system's resolver
};

// Tests only: moves the cache's clock forward (or back) by `seconds` from the real clock.
void SetNameCacheClockOffsetForTest(double seconds);
NameCacheStats NameCacheStatsForTest();

}  // namespace net
