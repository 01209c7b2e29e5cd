// Entry points of the network match. The match itself is not built yet: both
// starts leave the lobby as it was, and quitting ends the program directly.
#include "game/network_match.h"

#include "game/program.h"

namespace game {

void StartServer() {}

void StartClient() {}

void QuitProgram() {
    EndProgram();
}

}  // namespace game
