// Driving whole network matches through the game windows, for the end-to-end
// tests and the match benchmark: two fleets, the checks that tell what a
// window shows, and the steps from the lobby to a fired shot. Every step
// returns whether the window showed its result in time; `last` keeps the last
// picture read. Never touches the game's memory.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "game/match/network_match.h"
#include "screen/graphics.h"
#include "tests/e2e/expected_screen.h"
#include "tests/e2e/x_harness.h"

namespace e2e {

inline constexpr std::uint16_t kGamePort = game::kGamePort;
inline constexpr int kConnectTimeoutMs = 20000;
inline constexpr int kNextGameTimeoutMs = 20000;
inline constexpr int kAnswerTimeoutMs = 5000;
// Inside "Verbinden", the lobby's connect button.
inline constexpr int kConnectButtonX = 340;
inline constexpr int kConnectButtonY = 240;

// The game's colours as a window's pixels read back.
inline constexpr std::uint32_t kWhitePixel = screen::kWhite;
inline constexpr std::uint32_t kBlackPixel = screen::kBlack;
inline constexpr std::uint32_t kGreyPixel = screen::kShipGrey;
inline constexpr std::uint32_t kRedPixel = screen::kHitRed;
inline constexpr std::uint32_t kBluePixel = screen::kWaterBlue;
inline constexpr std::uint32_t kYellowPixel = screen::kTurnYellow;

// Two legal fleets, neither symmetric about the diagonal.
extern const std::vector<Ship> kServerFleet;
extern const std::vector<Ship> kClientFleet;

int CellCentre(int index);
bool BigCellIs(const Frame& f, int column, int row, std::uint32_t colour);
bool SmallCellIs(const Frame& f, int column, int row, std::uint32_t colour);
int CellsOn(const Frame& f, bool bigBoard, std::uint32_t colour);
bool InLobby(const Frame& f);
bool Connected(const Frame& f);
bool Disconnected(const Frame& f);
bool Placing(const Frame& f);
bool PhaseShows(const Frame& f, int x, const char* label);
bool ResultShows(const Frame& f, bool won);
bool PlayerDigitShows(const Frame& f, char digit);
// `text` (at most one row of 34 characters) on one of the message log's rows.
bool LogShows(const Frame& f, std::string_view text, std::uint32_t colour = kBlackPixel);
// The message log's row (0 at the top) that shows `text`, -1 when none does, and the middle of
// that row in window coordinates, for a click on it.
int LogRowOf(const Frame& f, std::string_view text);
int LogRowMiddleY(int row);
// `text` on the message log's last row, where the newest line stands.
bool LastLogLineShows(const Frame& f, std::string_view text, std::uint32_t colour = kBlackPixel);
// The open input line holds exactly `text` (a short one), with the cursor right after it.
bool InputLineShows(const Frame& f, std::string_view text);
// Every cell of the board not covered by the fleet, row by row.
std::vector<std::pair<int, int>> WaterOf(const std::vector<Ship>& fleet);

// The lobby, then "Verbinden" with an empty field: the server is ready.
bool StartServerGame(Session& session, Frame& last);
// The lobby, then the server's address typed into the field and Enter.
bool StartClientGame(Session& session, Frame& last, std::string_view address = "127.0.0.1");
// The lobby, then "KI" typed into the field and Enter: the placement against the computer.
bool StartComputerGame(Session& session, Frame& last);
bool AwaitConnection(Session& session, char digit, Frame& last);
// Clicks each ship until it stands; PlaceFleet then confirms with Enter.
bool PlaceShips(Session& session, const std::vector<Ship>& fleet, Frame& last);
bool PlaceFleet(Session& session, const std::vector<Ship>& fleet, Frame& last);
// Clicks into the input line until the cursor of an empty line shows.
bool OpenInputLine(Session& session, Frame& last);
// Opens the input line, types the printable
// ASCII `text` and sends it with Enter.
bool SendInputLine(Session& session, std::string_view text, Frame& last);
// Holds the button on the cell until the shooter's big board shows the answer.
bool FireAt(Session& shooter, int column, int row, bool hit, Frame& last);
// Against the computer: fires at cell after cell, row by row, each once the turn indicator says
// it is the player's turn (a click in the computer's turn does nothing), until the result shows.
bool FireUntilTheComputerMatchEnds(Session& session, Frame& last);

}  // namespace e2e
