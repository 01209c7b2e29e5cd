// The lobby on the main thread before any match: the help lines, the address
// field in the status panel and the connect button that picks one of the three
// ways to play. Owns AddressText.
#pragma once

#include <string>

#include "game/core/match_state.h"

namespace game {

// The text typed into the address field; the server address for a client.
extern std::string AddressText;

// Returns only when a close request is read in the idle step; the other ways
// out end the program through `end`.
void LobbyLoop(ProgramEnd end);

// Writes the three help texts, each after a blank line, into the message log.
void ShowHelpLines();

// Parts of the lobby, reachable for tests.
void AddressEntry(ProgramEnd end);
void Connect(ProgramEnd end);

}  // namespace game
