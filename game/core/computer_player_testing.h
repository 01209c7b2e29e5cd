// What tests and simulations may see and set of the computer opponent: a fixed seed, or a
// scripted source of draws in [0, 1) that replaces the generator (nullptr restores it); its
// hunting state; the shots it fired since the process started, and the last one. The program
// never includes this header.
#pragma once

#include "game/core/computer_player.h"

namespace game {

// For tests and simulations: a fixed seed, or a scripted source of draws in
// [0, 1) that replaces the generator (nullptr restores it).
void SeedComputerRandom(std::uint64_t seed);
void SetComputerRandomSource(double (*source)());
TargetState GetTargetState();
void SetTargetState(const TargetState& state);
// Shots the computer has fired since the process started, and the last one.
std::uint64_t ComputerShotCount();
CellRef LastComputerShot();

}  // namespace game
