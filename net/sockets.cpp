// The half of the sockets seam that is the same on every system: endpoints compared and shown,
// dotted addresses read and written. Built only on the per-system procedures of sockets.h.
#include "net/sockets.h"

#include <cstring>

namespace net {
namespace {

constexpr int kAddressBytes = 4;
// 255.255.255.255 names no host: the system's own parser takes it for an error.
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr unsigned kLargestByte = 255;
constexpr int kMostDigits = 3;
constexpr unsigned kDecimal = 10;

// One decimal number of a dotted address, from `at` on; false for none or one over 255.
bool ReadNumber(const std::string& text, std::size_t& at, unsigned& value) {
    value = 0;
    int digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < kMostDigits; ++at) {
        value = value * kDecimal + static_cast<unsigned>(text[at] - '0');
        ++digits;
    }
    return digits > 0 && value <= kLargestByte;
}

}  // namespace

bool ReadPeerAddress(int socket, std::string& text) {
    Endpoint peer;
    if (!ReadEndpoint(socket, true, peer)) return false;
    text = DottedText(peer.address);
    return true;
}

bool IsSelfConnected(int socket) {
    Endpoint local;
    Endpoint peer;
    return ReadEndpoint(socket, false, local) && ReadEndpoint(socket, true, peer) &&
           local.port == peer.port && local.address == peer.address;
}

// Network byte order: the address's first byte lies lowest in memory.
bool ParseDottedAddress(const std::string& text, std::uint32_t& address) {
    unsigned char bytes[kAddressBytes] = {};
    std::size_t at = 0;
    for (int i = 0; i < kAddressBytes; ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != '.')) return false;
        unsigned value = 0;
        if (!ReadNumber(text, at, value)) return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    if (at != text.size()) return false;
    std::uint32_t parsed = 0;
    std::memcpy(&parsed, bytes, sizeof parsed);
    if (parsed == kAllOnes) return false;
    address = parsed;
    return true;
}

std::string DottedText(std::uint32_t address) {
    unsigned char bytes[kAddressBytes] = {};
    std::memcpy(bytes, &address, sizeof bytes);
    std::string text;
    for (int i = 0; i < kAddressBytes; ++i) {
        if (i > 0) text += '.';
        text += std::to_string(static_cast<unsigned>(bytes[i]));
    }
    return text;
}

}  // namespace net
