#include "game/computer_match.h"

#include "game/program.h"
#include "screen/graphics.h"

namespace game {

void RunComputerMatch() {
    for (;;) {
        if (screen::ReadKey() == screen::kCloseRequest) EndProgram();
        screen::WaitMs(60);
    }
}

}  // namespace game
