// Process entry: takes no arguments and reads no environment of its own. The
// connection layer runs before the game's own start-up and stops in EndProgram.
#include "game/match/program.h"
#include "net/lifecycle.h"

int main() {
    net::StartConnectionLayer();
    game::RunProgram();
}
