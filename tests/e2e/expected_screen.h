// Expected pictures of the game window, drawn in the test process with the
// game's own drawing layer on an offscreen frame buffer: the lobby as it
// starts, and the lobby with a typed address in the status panel. Never
// talks to an X server and never runs the lobby loop.
#pragma once

#include <string_view>

#include "tests/e2e/x_harness.h"

namespace e2e {

// The static screen with the help lines in the message log.
Frame ExpectedLobby();

// The lobby with `address` drawn in the status panel the way the address
// entry shows it: one centred row below 8 characters, two rows from 8 on.
Frame ExpectedLobbyWithAddress(std::string_view address);

}  // namespace e2e
