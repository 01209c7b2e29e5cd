// Plays the computer opponent against random legal fleets with the pauses
// switched off, and prints how many shots it needs and how long a turn takes,
// beside a shooter that picks unfired cells at random on the same fleets.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

#include "game/core/board.h"
#include "game/core/computer_player.h"
#include "game/core/computer_player_testing.h"
#include "game/match/program.h"
#include "screen/offscreen.h"

namespace {

using namespace game;
using Clock = std::chrono::steady_clock;

constexpr int kMatches = 10000;
constexpr int kDrawnMatches = 1000;
constexpr int kCells = kBoardSize * kBoardSize;

struct Figures {
    std::vector<int> shots;
    double turnNanoseconds = 0;
};

void RandomFleet(std::uint64_t seed) {
    SeedComputerRandom(seed);
    PlaceComputerFleet(EndProgram);
    PlayerFleet = ComputerFleet;
}

int ComputerMatch(std::uint64_t seed, double& turnNanoseconds) {
    StartComputerOpponent();
    SeedComputerRandom(seed);
    RandomFleet(seed);
    SeedComputerRandom(seed ^ 0x5DEECE66DULL);
    OwnCellsLeft = kFleetCells;
    const auto start = Clock::now();
    int shots = 0;
    while (OwnCellsLeft > 0) {
        ComputerTurn();
        ++shots;
    }
    turnNanoseconds += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    return shots;
}

int RandomShooterMatch(std::uint64_t seed) {
    std::vector<int> order(kCells);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937_64(seed));
    int hits = 0;
    int shots = 0;
    for (int cell : order) {
        ++shots;
        hits += Cell(PlayerFleet, cell % kBoardSize + 1, cell / kBoardSize + 1);
        if (hits == kFleetCells) break;
    }
    return shots;
}

void Print(const char* name, std::vector<int> shots, double turnNanoseconds) {
    std::sort(shots.begin(), shots.end());
    const double mean = std::accumulate(shots.begin(), shots.end(), 0.0) / shots.size();
    const int median = shots[shots.size() / 2];
    const int p95 = shots[shots.size() * 95 / 100];
    std::printf("%-16s mean %6.2f  median %3d  p95 %3d  max %3d", name, mean, median, p95,
                shots.back());
    if (turnNanoseconds > 0) {
        const double turns = std::accumulate(shots.begin(), shots.end(), 0.0);
        std::printf("  %.2f us per turn", turnNanoseconds / turns / 1000.0);
    }
    std::printf("\n");
}

}  // namespace

int main() {
    screen::SetPausesEnabled(false);
    Figures computer, random;
    for (std::uint64_t seed = 1; seed <= kMatches; ++seed) {
        computer.shots.push_back(ComputerMatch(seed, computer.turnNanoseconds));
        random.shots.push_back(RandomShooterMatch(seed));
    }
    std::printf("Shots to sink a whole fleet over %d matches (pauses off, no window):\n", kMatches);
    Print("computer", computer.shots, computer.turnNanoseconds);
    Print("random shooter", random.shots, 0);

    // The same turns again with the log and the small board really drawn.
    screen::OpenOffscreen();
    Figures drawn;
    for (std::uint64_t seed = 1; seed <= kDrawnMatches; ++seed) {
        drawn.shots.push_back(ComputerMatch(seed, drawn.turnNanoseconds));
    }
    std::printf("With drawing into the offscreen frame, %d matches:\n", kDrawnMatches);
    Print("computer", drawn.shots, drawn.turnNanoseconds);
    return 0;
}
