// ResolveHost and its cache: numeric texts, names, expiry on the cache's clock, case, refusals.
// Resolves only dotted texts, /etc/hosts names and texts refused by form, so no query leaves.

#include <cstring>

#include "net/name_cache.h"
#include "net/name_cache_testing.h"
#include "tests/net/support.h"

namespace nettest {
namespace {

// 127.0.0.1 in network byte order: its four bytes in this order in memory.
std::uint32_t LoopbackAddress() {
    const unsigned char bytes[] = {127, 0, 0, 1};
    std::uint32_t address = 0;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

const std::uint32_t kLoopback = LoopbackAddress();
constexpr std::uint32_t kUntouched = 0x01020304;

// Host texts the resolver rejects by their form alone, so no query leaves the machine.
constexpr std::string_view kUnknownName = "no such host";

class NameCache : public LayerTest {
   protected:
    void TearDown() override {
        net::SetNameCacheClockOffsetForTest(0.0);
        LayerTest::TearDown();
    }
};

TEST_F(NameCache, NumericTextIsCachedWithoutNameLookup) {
    const net::NameCacheStats before = net::NameCacheStatsForTest();
    std::uint32_t address = kUntouched;
    ASSERT_EQ(net::ResolveHost("127.0.0.1", address), net::kNoError);
    EXPECT_EQ(address, kLoopback);
    const net::NameCacheStats first = net::NameCacheStatsForTest();
    EXPECT_EQ(first.entries, before.entries + 1);
    EXPECT_EQ(first.nameLookups, before.nameLookups);
    EXPECT_EQ(first.freshResolutions, before.freshResolutions + 1);

    address = kUntouched;
    ASSERT_EQ(net::ResolveHost("127.0.0.1", address), net::kNoError);
    EXPECT_EQ(address, kLoopback);
    const net::NameCacheStats second = net::NameCacheStatsForTest();
    EXPECT_EQ(second.freshResolutions, first.freshResolutions);
    EXPECT_EQ(second.entries, first.entries);
}

TEST_F(NameCache, NameIsLookedUpOnceAndAgainAfterSixtySeconds) {
    const net::NameCacheStats before = net::NameCacheStatsForTest();
    std::uint32_t address = kUntouched;
    ASSERT_EQ(net::ResolveHost("localhost", address), net::kNoError);
    EXPECT_EQ(address, kLoopback);
    EXPECT_EQ(net::NameCacheStatsForTest().nameLookups, before.nameLookups + 1);

    net::SetNameCacheClockOffsetForTest(59.0);
    ASSERT_EQ(net::ResolveHost("localhost", address), net::kNoError);
    EXPECT_EQ(net::NameCacheStatsForTest().nameLookups, before.nameLookups + 1);

    net::SetNameCacheClockOffsetForTest(60.5);
    address = kUntouched;
    ASSERT_EQ(net::ResolveHost("localhost", address), net::kNoError);
    EXPECT_EQ(address, kLoopback);
    const net::NameCacheStats after = net::NameCacheStatsForTest();
    EXPECT_EQ(after.nameLookups, before.nameLookups + 2);
    EXPECT_EQ(after.entries, before.entries + 1) << "the expired entry was replaced";
}

TEST_F(NameCache, ExpiredNumericEntryIsDropped) {
    std::uint32_t address = 0;
    ASSERT_EQ(net::ResolveHost("127.0.0.1", address), net::kNoError);
    const net::NameCacheStats cached = net::NameCacheStatsForTest();
    net::SetNameCacheClockOffsetForTest(61.0);
    ASSERT_EQ(net::ResolveHost("127.0.0.2", address), net::kNoError);
    EXPECT_EQ(net::NameCacheStatsForTest().entries, cached.entries) << "one dropped, one added";
}

TEST_F(NameCache, TextsDifferingOnlyInCaseAreSeparateEntries) {
    const net::NameCacheStats before = net::NameCacheStatsForTest();
    std::uint32_t lower = 0;
    std::uint32_t upper = 0;
    ASSERT_EQ(net::ResolveHost("localhost", lower), net::kNoError);
    ASSERT_EQ(net::ResolveHost("LOCALHOST", upper), net::kNoError);
    EXPECT_EQ(lower, upper);
    const net::NameCacheStats after = net::NameCacheStatsForTest();
    EXPECT_EQ(after.entries, before.entries + 2);
    EXPECT_EQ(after.nameLookups, before.nameLookups + 2);
}

TEST_F(NameCache, AllOnesAndUnknownNamesFailAndAreTriedAgain) {
    const net::NameCacheStats before = net::NameCacheStatsForTest();
    std::uint32_t address = kUntouched;
    EXPECT_EQ(net::ResolveHost("255.255.255.255", address), net::kCannotResolveHost);
    EXPECT_EQ(net::ResolveHost(kUnknownName, address), net::kCannotResolveHost);
    EXPECT_EQ(address, kUntouched);
    EXPECT_EQ(net::NameCacheStatsForTest().entries, before.entries);

    // The cache lock was released: the next call runs, and the failed name is tried afresh.
    ASSERT_EQ(net::ResolveHost("127.0.0.1", address), net::kNoError);
    const unsigned lookups = net::NameCacheStatsForTest().nameLookups;
    EXPECT_EQ(net::ResolveHost(kUnknownName, address), net::kCannotResolveHost);
    EXPECT_EQ(net::NameCacheStatsForTest().nameLookups, lookups + 1);
}

TEST_F(NameCache, TextWithZeroByteIsRefusedAndNotCached) {
    const net::NameCacheStats before = net::NameCacheStatsForTest();
    std::uint32_t address = kUntouched;
    using namespace std::string_view_literals;
    EXPECT_EQ(net::ResolveHost("127.0.0.1\0evil"sv, address), net::kCannotResolveHost);
    EXPECT_EQ(net::ResolveHost("localhost\0"sv, address), net::kCannotResolveHost);
    EXPECT_EQ(address, kUntouched);
    EXPECT_EQ(net::NameCacheStatsForTest().entries, before.entries);
}

TEST_F(NameCache, StoppingTheLayerEmptiesTheCache) {
    std::uint32_t address = 0;
    ASSERT_EQ(net::ResolveHost("127.0.0.1", address), net::kNoError);
    ASSERT_GT(net::NameCacheStatsForTest().entries, 0u);
    net::StopConnectionLayer();
    EXPECT_EQ(net::NameCacheStatsForTest().entries, 0u);
}

}  // namespace
}  // namespace nettest
