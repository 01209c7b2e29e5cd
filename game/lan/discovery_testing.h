// What tests may do of the lobby's listener: feed it a datagram without a network, from `source`
// (network byte order) at `nowMs`; true when it lists a server. The program never includes this
// header.
#pragma once

#include "game/lan/discovery.h"

namespace game {

// What the listener does with one datagram from `source` (network byte order) at `nowMs`;
// true when it lists a server. For tests, which feed datagrams without a network.
bool NoteDatagram(std::string_view datagram, std::uint32_t source, std::int64_t nowMs);

}  // namespace game
