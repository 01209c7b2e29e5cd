// The network match flow: server and client starts, the main thread's wait
// for the end, the connection layer's events, the end of a game and the end of
// the program. Every drawing and every change of the shared match state
// happens under the screen mutex; no lock is held across a send, a wait for a
// thread or GameOver.
#include "game/network_match.h"

#include <algorithm>
#include <string>
#include <thread>

#include "game/board.h"
#include "game/file_transfer.h"
#include "game/lobby.h"
#include "game/match_threads.h"
#include "game/message_stream.h"
#include "game/program.h"
#include "game/protocol.h"
#include "net/net.h"
#include "screen/fleet_copy.h"
#include "screen/layout.h"

namespace game {

std::int32_t PlayerNumber = 0;
net::ConnId ServerId = net::kNoConnection;
net::ConnId ClientId = net::kNoConnection;
net::ConnId PeerId = net::kNoConnection;
std::atomic<std::uint8_t> ConnectedFlag{0};
std::atomic<std::uint8_t> OpponentReady{0};
std::atomic<std::uint8_t> FirstGame{1};
screen::ThreadHandle ReadyThread = nullptr;
screen::ThreadHandle TurnThread = nullptr;
screen::ThreadHandle FileSendThread = nullptr;

namespace {

constexpr int kWaitLoopPauseMs = 300;
constexpr int kResultPauseMs = 2000;
constexpr int kStopCheckMs = 50;
constexpr std::uint16_t kServerBacklog = 1;
constexpr std::uint32_t kConnectTimeoutSeconds = 60;
constexpr int kResultLabelX = 308;
constexpr int kPlacementLabelX = 284;

struct StatusText {
    screen::Point at;
    std::string text;
};

const StatusText kStartingServer{{288, 170}, "Starte Server"};
const StatusText kServerReady{{288, 165}, "Server bereit"};
const StatusText kServerWaiting{{308, 175}, "Warte..."};
const StatusText kStartingClient{{288, 170}, "Starte Client"};
const StatusText kSearching{{292, 170}, "Suche Server"};
const StatusText kConnection{{300, 165}, "Verbindung"};
const StatusText kConnected{{296, 175}, "hergestellt"};
const StatusText kDisconnected{{308, 175}, "getrennt"};
constexpr screen::Point kErrorPos{304, 170};

// Caller holds the lock.
void ShowStatus(screen::Colour background, std::initializer_list<StatusText> lines) {
    const screen::Rect& panel = screen::kStatusInterior;
    screen::FillBox(panel.x1, panel.y1, panel.x2, panel.y2, background);
    for (const StatusText& line : lines)
        screen::DrawText(line.at.x, line.at.y, line.text, screen::kBlack);
}

StatusText ErrorText(net::ResultCode code) {
    return {kErrorPos, "Fehler: " + std::to_string(code)};
}

// Only a close request is taken from the key queue; every other key stays for
// the placement screen, the turn loop or the input line. A close request that
// one of those took ends their part and sets StopFlag, which ends the wait too.
[[noreturn]] void WaitForTheEnd() {
    for (;;) {
        if (screen::TakeCloseRequest() || Stopping()) QuitProgram();
        screen::DelayMs(kWaitLoopPauseMs);
    }
}

void ConnectAsClient(std::string address) {
    net::ConnId id = net::kNoConnection;
    const net::ResultCode result = net::CreateClient(id, address, kGamePort, OnDisconnect,
                                                     OnConnect, OnNewData, kConnectTimeoutSeconds);
    LockScreen();
    ClientId = id;
    // Once the connect event has shown the connection, that text stays.
    if (!Stopping() && result != net::kNoError) ShowStatus(screen::kWhite, {ErrorText(result)});
    if (!Stopping() && result == net::kNoError && PeerId == net::kNoConnection) {
        ShowStatus(screen::kWhite, {kSearching});
    }
    UnlockScreen();
}

void ResetCounters() {
    OwnCellsLeft = kFleetCells;
    EnemyCellsLeft = kFleetCells;
    OpponentReady.store(0, std::memory_order_relaxed);
    ResetGameExchange();
}

// Ends whatever game ran before this connection: its placement and turn loop
// stop on QuitFlag; the ReadyWorker goes first, since it may start a TurnLoop.
void WindUpGame() {
    LockScreen();
    RaiseQuitFlag();
    UnlockScreen();
    WaitForGameThread(ReadyThread);
    WaitForGameThread(TurnThread);
}

// Caller holds the lock.
void ShowNewConnection(net::ConnId id) {
    ConnectedFlag.store(1, std::memory_order_relaxed);
    PeerId = id;
    const bool client = PlayerNumber == 0;
    if (client) PlayerNumber = kClientPlayer;
    MyTurn.store(client ? 1 : 0, std::memory_order_relaxed);
    QuitFlag.store(StopFlag.load(std::memory_order_relaxed), std::memory_order_relaxed);
    ResetCounters();
    ResetStream();
    StopReceiving();
    screen::ClearFleetBoard();
    screen::PaintTurnIndicator(screen::kWhite);
    screen::FloodFill(screen::kPhaseFillSeed.x, screen::kPhaseFillSeed.y, screen::kWhite,
                      screen::kBlack);
    const screen::Point digit = screen::kPlayerNumberPos;
    screen::DrawText(digit.x, digit.y, std::string(1, screen::kBlankChar), screen::kWhite);
    screen::DrawText(digit.x, digit.y, std::to_string(PlayerNumber), screen::kBlack);
    ShowStatus(screen::kWhite, {kConnection, kConnected});
    screen::ShowPhaseLabel(kPlacementLabelX, "Schiffe setzen");
}

void ShowResult(int result) {
    const bool won = result == 1;
    LockScreen();
    screen::ErasePhaseLabel();
    screen::FloodFill(screen::kPhaseFillSeed.x, screen::kPhaseFillSeed.y,
                      won ? screen::kWaterBlue : screen::kHitRed, screen::kBlack);
    screen::DrawText(kResultLabelX, screen::kPhaseLabelY, won ? "Gewonnen" : "Verloren",
                     screen::kBlack);
    RaiseQuitFlag();
    UnlockScreen();
}

}  // namespace

void RaiseStop() {
    LockScreen();
    RaiseQuitFlag(true);
    UnlockScreen();
}

void PauseUnlessStopping(int ms) {
    for (int waited = 0; waited < ms && !Stopping(); waited += kStopCheckMs)
        screen::DelayMs(std::min(kStopCheckMs, ms - waited));
}

void SendToPeer(std::string_view message) {
    LockScreen();
    const net::ConnId peer = PeerId;
    UnlockScreen();
    std::uint32_t sent = 0;
    net::SendData(peer, message, sent);
}

// PlayerNumber is set before the server listens, so a client that connects at
// once is already met as the server's opponent.
void StartServer() {
    LockScreen();
    ShowStatus(screen::kWhite, {kStartingServer});
    PlayerNumber = kServerPlayer;
    UnlockScreen();
    net::ConnId id = net::kNoConnection;
    const net::ResultCode result =
        net::CreateServer(id, kGamePort, kServerBacklog, OnNewConnection, OnConnectionDenied);
    LockScreen();
    ServerId = id;
    if (result == net::kNoError) {
        ShowStatus(screen::kWhite, {kServerReady, kServerWaiting});
    } else {
        PlayerNumber = 0;
        ShowStatus(screen::kWhite, {ErrorText(result)});
    }
    UnlockScreen();
    if (result == net::kNoError) WaitForTheEnd();
}

// The connection is made on its own thread, so a close request ends the
// program at once even while the connect waits for its time-out.
void StartClient() {
    LockScreen();
    ShowStatus(screen::kWhite, {kStartingClient});
    UnlockScreen();
    std::thread(ConnectAsClient, AddressText).detach();
    WaitForTheEnd();
}

// The accepted connection is closed as well, so no event handler runs any more
// while the game's threads are waited for. The screen mutex stays: a connect
// still under way may take it until the process ends.
void QuitProgram() {
    RaiseStop();
    LockScreen();
    const net::ConnId own = PlayerNumber == kServerPlayer ? ServerId : ClientId;
    const net::ConnId peer = PeerId;
    UnlockScreen();
    for (const net::ConnId id : {own, peer}) {
        net::Disconnect(id);
        net::WaitClose(id);
    }
    WaitForGameThread(FileSendThread);
    WaitForGameThread(ReadyThread);
    WaitForGameThread(TurnThread);
    EndProgram();
}

void GameOver(int result) {
    ShowResult(result);
    WaitForGameThread(TurnThread);
    LockScreen();
    QuitFlag.store(StopFlag.load(std::memory_order_relaxed), std::memory_order_relaxed);
    FirstGame.store(0, std::memory_order_relaxed);
    ResetCounters();
    screen::PaintTurnIndicator(screen::kWhite);
    UnlockScreen();
    PauseUnlessStopping(kResultPauseMs);
    if (Stopping()) return;
    LockScreen();
    screen::ClearFleetBoard();
    screen::FloodFill(screen::kPhaseFillSeed.x, screen::kPhaseFillSeed.y, screen::kWhite,
                      screen::kBlack);
    UnlockScreen();
    WaitForGameThread(ReadyThread);
    StartGameThread(ReadyThread, ReadyWorker);
}

// The server's one opponent is claimed here, before its connect event runs, so
// a second request arriving meanwhile is refused too.
void OnNewConnection(net::ConnId, int socket, std::string_view) {
    LockScreen();
    const bool free = ConnectedFlag.load(std::memory_order_relaxed) == 0 && !Stopping();
    if (free) ConnectedFlag.store(1, std::memory_order_relaxed);
    UnlockScreen();
    if (!free) {
        net::RefuseConnection(socket);
        return;
    }
    net::ConnId id = net::kNoConnection;
    std::string address;
    if (net::CreateAccept(socket, id, address, OnDisconnect, OnConnect, OnNewData) !=
        net::kNoError) {
        LockScreen();
        ConnectedFlag.store(0, std::memory_order_relaxed);
        UnlockScreen();
    }
}

void OnConnectionDenied(net::ConnId, std::string_view) {}

void OnConnect(net::ConnId id) {
    WindUpGame();
    LockScreen();
    ShowNewConnection(id);
    UnlockScreen();
    if (!Stopping()) StartGameThread(ReadyThread, ReadyWorker);
}

// The game's threads stop waiting for an opponent who is gone; a new client
// winds the game up and starts afresh.
void OnDisconnect(net::ConnId id) {
    LockScreen();
    if (id == PeerId) {
        ConnectedFlag.store(0, std::memory_order_relaxed);
        RaiseQuitFlag();
        StopReceiving();
        if (!Stopping()) ShowStatus(screen::kHitRed, {kConnection, kDisconnected});
    }
    UnlockScreen();
}

void OnNewData(net::ConnId, std::string_view data) {
    MessageDispatcher(data);
}

}  // namespace game
