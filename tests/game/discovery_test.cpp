// Finding servers on the local network: which datagrams count as announcements, and which of
// the servers heard the lobby lists, for how long it remembers them and how many.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "game/lan/announcement.h"
#include "game/lan/discovery.h"
#include "game/lan/discovery_testing.h"

namespace {

// An announcement as the wire carries it: the magic, version 1, four bytes of instance.
std::string Announcement(std::uint32_t instance, char version = 1) {
    std::string bytes = std::string("MRVNT-LAN") + version;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += static_cast<char>(instance >> shift & 0xFF);
    return bytes;
}

// 10.78.0.n in network byte order, as a datagram's source comes.
std::uint32_t Source(int n) {
    const unsigned char bytes[4] = {10, 78, 0, static_cast<unsigned char>(n)};
    std::uint32_t address = 0;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

TEST(Announcement, OnlyTheMagicWithVersionOneAndFourBytesCounts) {
    struct Case {
        const char* what;
        std::string datagram;
        bool counts;
    };
    const Case cases[] = {
        {"an announcement", Announcement(0x01020304), true},
        {"another instance", Announcement(0xFFFFFFFF), true},
        {"version 2", Announcement(7, 2), false},
        {"one byte short", Announcement(7).substr(0, 13), false},
        {"one byte over", Announcement(7) + "x", false},
        {"another magic", "MRVNT-LAX" + Announcement(7).substr(9), false},
        {"empty", "", false},
        {"a game message", "SYST:R", false},
        {"a large datagram", std::string(1500, 'M'), false},
    };
    for (const Case& c : cases) {
        std::uint32_t instance = 0;
        EXPECT_EQ(game::ReadAnnouncement(c.datagram, instance), c.counts) << c.what;
    }
    std::uint32_t instance = 0;
    ASSERT_TRUE(game::ReadAnnouncement(Announcement(0xA1B2C3D4), instance));
    EXPECT_EQ(instance, 0xA1B2C3D4u);
    EXPECT_EQ(game::AnnouncementBytes(0xA1B2C3D4), Announcement(0xA1B2C3D4));
}

// A server is listed when first heard and again only after 5 s of silence; at most 32 are
// remembered, and a new one takes the place of one silent for 5 s; nothing is listed while the
// lobby does not listen, and a new visit of the lobby lists anew.
TEST(Discovery, TheLobbyListsEachServerOnceAndRemembersAtMost32) {
    game::ListenForServers(true);
    game::TakeFoundServers();
    const std::string good = Announcement(0x5EED);
    EXPECT_TRUE(game::NoteDatagram(good, Source(1), 1000));
    EXPECT_FALSE(game::NoteDatagram(good, Source(1), 5999));
    EXPECT_FALSE(game::NoteDatagram("MRVNT-LAN", Source(2), 1000));
    EXPECT_EQ(game::TakeFoundServers(), std::vector<std::string>{"10.78.0.1"});
    EXPECT_TRUE(game::NoteDatagram(good, Source(1), 10999)) << "silent for 5 s, heard again";
    for (int n = 2; n <= 40; ++n)
        game::NoteDatagram(good, Source(n), 11000);
    EXPECT_EQ(game::TakeFoundServers().size(), 1 + 31u) << "32 remembered in all";
    EXPECT_FALSE(game::NoteDatagram(good, Source(41), 15998)) << "every one is still heard";
    EXPECT_TRUE(game::NoteDatagram(good, Source(41), 16000)) << "the oldest fell silent";
    EXPECT_EQ(game::TakeFoundServers(), std::vector<std::string>{"10.78.0.41"});

    game::ListenForServers(false);
    EXPECT_FALSE(game::NoteDatagram(good, Source(42), 30000));
    game::ListenForServers(true);
    EXPECT_TRUE(game::NoteDatagram(good, Source(41), 16001)) << "a new visit lists anew";
    EXPECT_EQ(game::TakeFoundServers(), std::vector<std::string>{"10.78.0.41"});
    game::ListenForServers(false);
}

}  // namespace
