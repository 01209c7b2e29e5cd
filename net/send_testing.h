// What tests may set of SendData: a shorter stall limit. The program never includes this
// header.
#pragma once

#include "net/send.h"

namespace net {

// Tests only: the stall limit of every later send (0 restores kSendStallMilliseconds).
void SetSendStallForTest(int milliseconds);

}  // namespace net
