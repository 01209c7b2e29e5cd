// SendData: the one way bytes reach the wire.
// Owns nothing but the send loop; never frames the bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "net/types.h"

namespace net {

// Sends every byte of `data` (zero bytes included) to the connection. kNoError when all were
// accepted, kConnIdNotFound for an unknown or ending connection (nothing sent), kSendError when
// the system refused part; `count` tells how many bytes the system accepted in this call.
// Writing to a peer that has gone reports an error instead of raising a signal. A peer that
// takes no byte for kSendStallMilliseconds is taken for lost: the call gives up with kSendError
// and ends the connection, so no caller waits on it for longer. An outage of the network shorter
// than that is waited out.
ResultCode SendData(ConnId id, std::string_view data, std::uint32_t& count);

// Bytes sent on the connection that its peer has not yet acknowledged; 0 for an unknown or
// ending connection, and where the system cannot tell.
std::size_t UnacknowledgedBytes(ConnId id);

inline constexpr int kSendStallMilliseconds = 30000;

}  // namespace net
