// What tests may set of the thread starts: refusals, as if from the system. The program never
// includes this header.
#pragma once

#include "net/thread.h"

namespace net {

// Tests only: the next `count` thread starts fail as if the system had refused them.
void RefuseThreadStartsForTest(int count);

}  // namespace net
