// The match between two copies over the network: the starts from the lobby,
// the connection layer's event handlers, the end of a game and the end of the
// program. The shared match state itself lives in match_state.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "game/core/match_state.h"
#include "net/types.h"

namespace game {

inline constexpr std::uint16_t kGamePort = 9000;

// How a start came back to the lobby.
enum class StartEnd {
    kFailed,     // the server or the connection could not be made: the code and its reason show
    kCancelled,  // Escape before an opponent came: the lobby looks as it did at start-up
    kLeft,       // Escape after the opponent was lost: the lobby looks as it did at start-up
};

// Starts the server on the game port, announces it on the local network while no opponent is
// connected, and waits for opponents. Returns when it cannot be created or the player gives up
// with Escape while no opponent is connected; the program ends through `end` after a close
// request.
StartEnd StartServer(ProgramEnd end) EXCLUDES(ScreenMutex);
// Connects to `address` as a client and plays. Returns when the connection fails or the
// player gives up with Escape while it is being made or once it is lost; the program ends
// through `end` after a close request.
StartEnd StartClient(std::string_view address, ProgramEnd end) EXCLUDES(ScreenMutex);
// Closes the connections, waits for the game's threads and ends the program
// through `end`.
void QuitProgram(ProgramEnd end) EXCLUDES(ScreenMutex);

// Ends a game on this side (1 won, 0 lost): shows the result, stops the game's
// turn loop and starts the next game, which begins after the result's pause.
void GameOver(int result) EXCLUDES(ScreenMutex);

// Handlers given to the connection layer.
void OnNewConnection(net::ConnId server, int socket, std::string_view peerAddress)
    EXCLUDES(ScreenMutex);
void OnConnectionDenied(net::ConnId server, std::string_view peerAddress);
void OnConnect(net::ConnId id) EXCLUDES(ScreenMutex);
void OnDisconnect(net::ConnId id) EXCLUDES(ScreenMutex);
void OnNewData(net::ConnId id, std::string_view data) EXCLUDES(ScreenMutex);

}  // namespace game
