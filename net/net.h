// Everything the game uses of the connection layer, in one include.
// Declares nothing of its own.
#pragma once

#include "net/codes.h"
#include "net/create.h"
#include "net/lifecycle.h"
#include "net/send.h"
#include "net/types.h"
#include "net/worker.h"
