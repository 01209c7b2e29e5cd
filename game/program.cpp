// Start-up and shutdown of the whole program. Owns no state of its own.
#include "game/program.h"

#include <cstdlib>

#include "game/lobby.h"
#include "net/lifecycle.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/window.h"

namespace game {

void RunProgram() {
    screen::OpenWindow(screen::kWidth, screen::kHeight, screen::kColourDepth);
    screen::DrawStaticScreen();
    LobbyLoop(EndProgram);
    EndProgram();
}

// Threads may still run, so static destructors must not: _Exit skips them
// once the connection layer has closed what remains.
void EndProgram() {
    net::StopConnectionLayer();
    std::_Exit(EXIT_SUCCESS);
}

}  // namespace game
