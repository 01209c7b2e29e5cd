// What tests may see of the receive stream: the bytes it holds while waiting for the rest of a
// message. The program never includes this header.
#pragma once

#include "game/wire/message_stream.h"

namespace game {

// Bytes held while waiting for the rest of a message; for tests.
std::size_t HeldBytes() REQUIRES(ScreenMutex);

}  // namespace game
