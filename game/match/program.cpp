// Start-up and shutdown of the whole program. Owns no state of its own.
#include "game/match/program.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "game/match/lobby.h"
#include "net/lifecycle.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/window.h"

namespace game {
namespace {

constexpr int kNoWindowStatus = 1;

// Without a window nobody could see or end the game, so it does not start.
[[noreturn]] void EndWithoutWindow(const std::string& problem) {
    std::fprintf(stderr, "marevant: %s\n", problem.c_str());
    net::StopConnectionLayer();
    std::_Exit(kNoWindowStatus);
}

}  // namespace

void RunProgram() {
    std::string problem;
    if (!screen::OpenWindow(screen::kColourDepth, problem)) EndWithoutWindow(problem);
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
