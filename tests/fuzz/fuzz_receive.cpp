// Fuzz target: the receive path as a whole. An input is a list of steps: a
// piece of received bytes (so the stream is cut at arbitrary points), or what
// the local player does meanwhile (fire, get ready, answer an offer). The game
// runs offscreen in a scratch directory with no connection, so its replies go
// nowhere. After every input: no file outside the scratch directory, no file
// that was not accepted or longer than its offer, counters within 0..30, and
// the stream holding no more than its cap.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "game/core/board.h"
#include "game/files/file_transfer.h"
#include "game/match/dispatcher.h"
#include "game/match/network_match.h"
#include "game/wire/exchange.h"
#include "game/wire/message_stream.h"
#include "game/wire/message_stream_testing.h"
#include "game/wire/outgoing.h"
#include "game/wire/protocol.h"
#include "screen/cp437.h"
#include "screen/fleet_copy.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/offscreen.h"

namespace {

namespace fs = std::filesystem;

enum Step : std::uint8_t { kFeed, kFire, kReady, kAnswerYes, kAnswerNo, kSteps };

// One fixed fleet on the small board, cells as (column, row).
constexpr int kFleet[][2] = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {1, 3}, {1, 4},  {1, 5},
                             {1, 6}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {8, 1}, {9, 1},  {10, 1},
                             {8, 3}, {8, 4}, {8, 5}, {3, 6}, {4, 6}, {5, 6}, {10, 3}, {10, 4},
                             {1, 8}, {1, 9}, {3, 8}, {4, 8}, {6, 8}, {7, 8}};

struct FuzzState {
    fs::path parent;
    fs::path scratch;
    std::map<std::string, std::int64_t> accepted;  // file name on disk (UTF-8) -> offered size
};

FuzzState fuzz;

bool IsFleetCell(int column, int row) {
    for (const auto& cell : kFleet) {
        if (cell[0] == column && cell[1] == row) return true;
    }
    return false;
}

// Only cells whose colour changed are painted again, so a step that drew
// little costs little.
void RestoreBoards() {
    for (int c = 1; c <= 10; ++c) {
        for (int r = 1; r <= 10; ++r) {
            const screen::Point big = screen::TargetProbe(c, r);
            if (screen::ReadPixel(big.x, big.y) != screen::kWhite)
                screen::FloodFill(big.x, big.y, screen::kWhite, screen::kBlack);
            const screen::Point small = screen::FleetProbe(c, r);
            const screen::Colour want = IsFleetCell(c, r) ? screen::kShipGrey : screen::kWhite;
            if (screen::ReadPixel(small.x, small.y) != want)
                screen::FloodFill(small.x, small.y, want, screen::kBlack);
        }
    }
}

void ResetGame() {
    game::ResetStream();
    game::StopReceiving();
    game::StartExchange(true);
    game::OwnCellsLeft = game::kFleetCells;
    game::EnemyCellsLeft = game::kFleetCells;
    game::MyTurn.store(0);
    game::OpponentReady.store(1);
    game::ClearBoard(game::PlayerShots);
    RestoreBoards();
    game::SendReady();
    for (const auto& [name, size] : fuzz.accepted)
        fs::remove(fuzz.scratch / name);
    fuzz.accepted.clear();
}

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_receive: %s\n", what);
    std::abort();
}

void CheckInvariants() {
    if (game::HeldBytes() > game::kMaxHeldBytes) Fail("the stream holds more than its cap");
    if (game::OwnCellsLeft > game::kFleetCells || game::EnemyCellsLeft > game::kFleetCells)
        Fail("a counter left 0..30");
    for (const auto& entry : fs::directory_iterator(fuzz.parent)) {
        if (entry.path() != fuzz.scratch) Fail("a file appeared outside the scratch directory");
    }
    for (const auto& entry : fs::directory_iterator(fuzz.scratch)) {
        const auto found = fuzz.accepted.find(entry.path().filename().string());
        if (found == fuzz.accepted.end()) Fail("a file that was never accepted");
        if (static_cast<std::int64_t>(entry.file_size()) > found->second)
            Fail("a file longer than its offer");
    }
}

void AnswerOffer(const char* line) {
    std::string reply;
    const std::string name = game::TransferName;
    const std::int64_t size = game::TransferSize;
    if (game::TakeFileAnswer(line, reply) && reply == "SYST:j")
        fuzz.accepted[screen::Cp437ToUtf8(name)] = size;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (fs::temp_directory_path() / "marevant-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    fuzz.parent = pattern;
    fuzz.scratch = fuzz.parent / "work";
    fs::create_directory(fuzz.scratch);
    if (chdir(fuzz.scratch.c_str()) != 0) std::abort();
    screen::OpenOffscreen();
    screen::DrawStaticScreen();
    screen::SetPausesEnabled(false);
    screen::CopyFleetToFleetBoard();  // the small board's grid
    game::PlayerNumber = game::kServerPlayer;
    // A game that ends starts no new one, and replies are dropped before any sender thread
    // starts: no threads in the fuzzer.
    game::StopFlag.store(1);
    game::StopSender();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ResetGame();
    std::size_t at = 0;
    while (at + 1 < size) {
        const std::uint8_t step = data[at] % kSteps;
        const std::uint8_t argument = data[at + 1];
        at += 2;
        if (step == kFeed) {
            const std::size_t length = std::min<std::size_t>(argument, size - at);
            game::MessageDispatcher(
                std::string_view(reinterpret_cast<const char*>(data + at), length), game::GameOver);
            at += length;
        } else if (step == kFire) {
            game::SendShot(argument % 10, argument / 10 % 10);
        } else if (step == kReady) {
            game::SendReady();
        } else {
            AnswerOffer(step == kAnswerYes ? "j" : "n");
        }
    }
    CheckInvariants();
    return 0;
}
