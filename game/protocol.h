// The game protocol between two copies: the bytes of every message this side
// sends, and the dispatcher that acts on every message received. Owns the
// exchange of one game (the shot awaiting its answer, whether this side is
// ready); the shared boards, counters and flags it changes are the match's.
#pragma once

#include <string>
#include <string_view>

namespace game {

inline constexpr std::string_view kReadyMessage = "SYST:R";

// "SHOT:" and the 0-based column and row digits.
std::string ShotMessage(int column, int row);
// "SYST:H" or "SYST:W" and the two digits of the shot answered.
std::string AnswerMessage(bool hit, std::string_view digits);

// Marks this side ready for the game and sends "SYST:R".
void SendReady();
// Fires at the 0-based cell unless an earlier shot still waits for its answer;
// marks the cell in PlayerShots. Returns whether the shot went out.
bool SendShot(int column, int row);
// A new game: no shot waits for an answer and this side is not ready. The
// caller holds the screen mutex.
void ResetGameExchange();

// Acts on every message completed by one receive from the opponent. Runs on
// the connection's worker; takes the screen mutex for each step itself.
void MessageDispatcher(std::string_view received);

}  // namespace game
