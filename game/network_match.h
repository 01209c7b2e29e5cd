// The match between two copies over the network, as the lobby starts it and
// as the program ends it.
#pragma once

namespace game {

// Starts the server on the game port; returns only when it cannot be created.
void StartServer();
// Connects to AddressText as a client.
void StartClient();
// Closes the connection, waits for the game's threads and ends the program.
[[noreturn]] void QuitProgram();

}  // namespace game
