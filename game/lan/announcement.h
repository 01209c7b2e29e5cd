// The announcement a waiting server broadcasts on the local network, byte for byte, and the
// check a listener makes of every datagram. Pure functions over bytes; no state, no sockets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace game {

// UDP port of the announcements: the game's own port number.
inline constexpr std::uint16_t kAnnouncePort = 9000;
// "MRVNT-LAN", a version byte, and four bytes that tell the announcing program apart from
// others on the same machine (so a program never lists itself).
inline constexpr std::string_view kAnnounceMagic = "MRVNT-LAN";
inline constexpr unsigned char kAnnounceVersion = 1;
inline constexpr std::size_t kAnnounceLength = kAnnounceMagic.size() + 1 + 4;

// The announcement of the program that `instance` names.
std::string AnnouncementBytes(std::uint32_t instance);
// Whether a datagram is an announcement of this version; `instance` gets whose.
bool ReadAnnouncement(std::string_view datagram, std::uint32_t& instance);

}  // namespace game
