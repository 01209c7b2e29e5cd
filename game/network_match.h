// The match between two copies over the network: the shared match state, the
// starts from the lobby, the connection layer's event handlers, the end of a
// game and the end of the program.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "net/types.h"
#include "screen/graphics.h"

namespace game {

inline constexpr std::uint16_t kGamePort = 9000;
inline constexpr std::int32_t kServerPlayer = 1;
inline constexpr std::int32_t kClientPlayer = 2;

// Written under the screen mutex; the flags are also polled without it.
extern std::int32_t PlayerNumber;  // 1 server, 2 client, 0 before a connection
extern net::ConnId ServerId;
extern net::ConnId ClientId;
extern net::ConnId PeerId;  // the connection to the opponent
extern std::atomic<std::uint8_t> ConnectedFlag;
extern std::atomic<std::uint8_t> OpponentReady;
extern std::atomic<std::uint8_t> FirstGame;
extern screen::ThreadHandle ReadyThread;
extern screen::ThreadHandle TurnThread;
extern screen::ThreadHandle FileSendThread;

// Starts the server on the game port; returns only when it cannot be created.
void StartServer();
// Connects to AddressText as a client; never returns.
[[noreturn]] void StartClient();
// Closes the connections, waits for the game's threads and ends the program.
[[noreturn]] void QuitProgram();

// Ends a game on this side (1 won, 0 lost) and starts the next one's placement.
// The caller does not hold the screen mutex.
void GameOver(int result);

// Sends one message to the opponent; the caller does not hold the screen mutex.
void SendToPeer(std::string_view message);

// Sets QuitFlag and StopFlag under the screen mutex: the program is ending.
void RaiseStop();
// Sleeps up to `ms`, in short steps, and returns early once StopFlag is set.
void PauseUnlessStopping(int ms);

// Handlers given to the connection layer.
void OnNewConnection(net::ConnId server, int socket, std::string_view peerAddress);
void OnConnectionDenied(net::ConnId server, std::string_view peerAddress);
void OnConnect(net::ConnId id);
void OnDisconnect(net::ConnId id);
void OnNewData(net::ConnId id, std::string_view data);

}  // namespace game
