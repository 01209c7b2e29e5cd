// The lobby on the main thread before any match: the help lines, the address
// field in the status panel and the connect button that picks one of the three
// ways to play. Owns AddressText and creates the screen mutex.
#pragma once

#include <string>

#include "screen/graphics.h"

namespace game {

// The text typed into the address field; the server address for a client.
extern std::string AddressText;
// The game's one screen mutex: none until a network match is started.
extern screen::MutexHandle ScreenMutex;
// Take and release it; both do nothing while it is none.
void LockScreen();
void UnlockScreen();

// Returns only when a close request is read in the idle step.
void LobbyLoop();

// Writes the three help texts, each after a blank line, into the message log.
void ShowHelpLines();

// Parts of the lobby, reachable for tests.
void AddressEntry();
void Connect();

}  // namespace game
