// Process entry: takes no arguments and reads no environment of its own.
#include "game/program.h"

int main() {
    game::RunProgram();
}
