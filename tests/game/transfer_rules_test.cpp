// The rules for offered names and sizes, the split of an offer, and the size
// in KiB, as tables.
#include <gtest/gtest.h>

#include <string>

#include "game/files/file_access.h"
#include "game/files/transfer_rules.h"

namespace {

using namespace std::string_literals;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// Each name with whether Linux and Windows take it: Windows also refuses device names (with an
// extension and in any case), its reserved characters and a trailing dot or space.
TEST(TransferRules, OnlyPlainNamesInTheCurrentDirectoryAreTaken) {
    struct Case {
        std::string name;
        bool linux;
        bool windows;
    };
    const Case cases[] = {
        {"bild.png", true, true},      {"a b\x81.txt", true, true}, {".versteckt", true, true},
        {"...", true, false},          {"", false, false},          {".", false, false},
        {"..", false, false},          {"../x", false, false},      {"/tmp/x", false, false},
        {"a/b", false, false},         {"a\\b", false, false},      {"a\0b"s, false, false},
        {"x/", false, false},          {"a\x1F" "b", false, false}, {"a\x7F" "b", false, false},
        {"CON", true, false},          {"con.txt", true, false},    {"Prn", true, false},
        {"aux.tar.gz", true, false},   {"NUL", true, false},        {"COM1", true, false},
        {"lpt9.log", true, false},     {"COM0", true, false},       {"COM10", true, true},
        {"CONSOLE", true, true},       {"com", true, true},         {"a<b", true, false},
        {"a>b", true, false},          {"a:b", true, false},        {"a\"b", true, false},
        {"a|b", true, false},          {"a?b", true, false},        {"a*b", true, false},
        {"name.", true, false},        {"name ", true, false},      {" name", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(game::IsPlainFileName(c.name), kWindows ? c.windows : c.linux)
            << "\"" << c.name << "\"";
    }
}

TEST(TransferRules, OnlyPlainDecimalSizesUpTo2GiBLessOneAreTaken) {
    struct Case {
        std::string text;
        bool taken;
        std::int32_t size;
    };
    const Case cases[] = {
        {"0", true, 0},           {"1536", true, 1536},
        {"007", true, 7},         {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, {"99999999999999999999", false, 0},
        {"-1", false, 0},         {"+5", false, 0},
        {"12abc", false, 0},      {"", false, 0},
        {" 5", false, 0},         {"5 ", false, 0},
    };
    for (const Case& c : cases) {
        std::int32_t size = -7;
        EXPECT_EQ(game::ParseOfferedSize(c.text, size), c.taken) << "\"" << c.text << "\"";
        if (c.taken) {
            EXPECT_EQ(size, c.size) << c.text;
        }
    }
}

TEST(TransferRules, AnOfferSplitsAtItsFirstQuestionMark) {
    const game::OfferParts parts = game::SplitOffer("DATA:wer?wie?42");
    EXPECT_EQ(parts.name, "wer");
    EXPECT_EQ(parts.size, "wie?42");
    EXPECT_EQ(game::SplitOffer("DATA:?").name, "");
    EXPECT_EQ(game::SplitOffer("DATA:?").size, "");
}

TEST(TransferRules, TheSizeInKiBIsPlainDecimalWithUpTo16SignificantDigits) {
    struct Case {
        std::int32_t bytes;
        const char* kib;
    };
    const Case cases[] = {
        {1536, "1.5"},       {1000, "0.9765625"},
        {20000, "19.53125"}, {0, "0"},
        {1, "0.0009765625"}, {1024, "1"},
        {1048576, "1024"},   {2147483647, "2097151.999023438"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(game::SizeInKiB(c.bytes), c.kib) << c.bytes;
    // A framed offer carries sizes far beyond 2 GiB; they still show in plain decimal.
    EXPECT_EQ(game::SizeInKiB(std::int64_t{5} << 40), "5368709120");
}

// The end lines: bytes as they are below 1000, else one decimal after a comma in the largest
// unit of 1000 that fits; the rate the same per second, from at least one millisecond.
TEST(TransferRules, SizeAndRateReadAsAPlayerExpectsThem) {
    struct Case {
        std::int64_t bytes;
        std::int64_t ms;
        const char* shown;
    };
    const Case cases[] = {
        {212400000, 2210, " (212,4 MB, 96,1 MB/s)"},
        {0, 0, " (0 B, 0 B/s)"},
        {999, 1000, " (999 B, 999 B/s)"},
        {1000, 1, " (1,0 KB, 1,0 MB/s)"},
        {20480, 333, " (20,5 KB, 61,5 KB/s)"},
        {(std::int64_t{2} << 30) + 6144, 2500, " (2,1 GB, 859,0 MB/s)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(game::SizeAndRate(c.bytes, c.ms), c.shown) << c.bytes << " in " << c.ms << " ms";
}

// A framed offer's payload: eight bytes of size, most significant first, then the name; a size
// with the top bit set, or a payload too short for a size, is no offer.
TEST(TransferRules, AFramedOfferSplitsIntoItsSizeAndName) {
    struct Case {
        std::string payload;
        bool taken;
        std::int64_t size;
        const char* name;
    };
    const Case cases[] = {
        {std::string("\0\0\0\0\0\0\x06\0", 8) + "bild.png", true, 1536, "bild.png"},
        {std::string("\0\0\0\x01\0\0\0\0", 8), true, std::int64_t{1} << 32, ""},
        {std::string("\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8) + "x", true, 0x7FFFFFFFFFFFFFFF, "x"},
        {std::string("\x80\0\0\0\0\0\0\0", 8) + "x", false, 0, ""},
        {std::string("\0\0\0", 3), false, 0, ""},
    };
    for (const Case& c : cases) {
        std::int64_t size = 0;
        std::string name;
        ASSERT_EQ(game::SplitFramedOffer(c.payload, size, name), c.taken) << c.name;
        if (!c.taken) continue;
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(name, c.name);
    }
}

}  // namespace
