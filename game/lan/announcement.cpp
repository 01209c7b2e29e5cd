// Building and checking announcements.
#include "game/lan/announcement.h"

namespace game {
namespace {

constexpr std::size_t kVersionAt = kAnnounceMagic.size();
constexpr std::size_t kInstanceAt = kVersionAt + 1;
constexpr int kInstanceBytes = 4;
constexpr int kBitsPerByte = 8;

}  // namespace

std::string AnnouncementBytes(std::uint32_t instance) {
    std::string bytes(kAnnounceMagic);
    bytes += static_cast<char>(kAnnounceVersion);
    for (int i = kInstanceBytes - 1; i >= 0; --i)
        bytes += static_cast<char>(instance >> (kBitsPerByte * i) & 0xFF);
    return bytes;
}

bool ReadAnnouncement(std::string_view datagram, std::uint32_t& instance) {
    if (datagram.size() != kAnnounceLength || !datagram.starts_with(kAnnounceMagic) ||
        static_cast<unsigned char>(datagram[kVersionAt]) != kAnnounceVersion) {
        return false;
    }
    instance = 0;
    for (int i = 0; i < kInstanceBytes; ++i)
        instance = instance << kBitsPerByte | static_cast<unsigned char>(datagram[kInstanceAt + i]);
    return true;
}

}  // namespace game
