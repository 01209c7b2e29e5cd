// The network match flow: server and client starts, the main thread's wait
// for the end, the connection layer's events, the end of a game and the end of
// the program. Every drawing and every change of the shared match state
// happens under the screen mutex; no lock is held across a send, a wait for a
// thread or GameOver.
#include "game/network_match.h"

#include <string>
#include <thread>

#include "game/board.h"
#include "game/dispatcher.h"
#include "game/exchange.h"
#include "game/file_transfer.h"
#include "game/match_threads.h"
#include "game/message_stream.h"
#include "game/outgoing.h"
#include "net/create.h"
#include "net/worker.h"
#include "screen/fleet_copy.h"
#include "screen/layout.h"

namespace game {
namespace {

constexpr int kWaitLoopPauseMs = 300;
constexpr int kResultPauseMs = 2000;
constexpr std::uint16_t kServerBacklog = 1;
constexpr std::uint32_t kConnectTimeoutSeconds = 60;

struct NextGame {
    bool weFireFirst GUARDED_BY(ScreenMutex) = false;  // we lost the game that just ended
};

NextGame nextGame;

void ShowError(net::ResultCode code) REQUIRES(ScreenMutex) {
    const std::string text = "Fehler: " + std::to_string(code);
    screen::ShowStatus(screen::kWhite, {{screen::kErrorPos, text}});
}

// Only a close request is taken from the key queue; every other key stays for
// the placement screen, the turn loop or the input line. A close request that
// one of those took ends their part and sets StopFlag, which ends the wait too.
[[noreturn]] void WaitForTheEnd(ProgramEnd end) EXCLUDES(ScreenMutex) {
    for (;;) {
        if (screen::TakeCloseRequest() || Stopping()) QuitProgram(end);
        screen::DelayMs(kWaitLoopPauseMs);
    }
}

void ConnectAsClient(std::string address) EXCLUDES(ScreenMutex) {
    net::ConnId id = net::kNoConnection;
    const net::ResultCode result = net::CreateClient(id, address, kGamePort, OnDisconnect,
                                                     OnConnect, OnNewData, kConnectTimeoutSeconds);
    ScreenGuard guard;
    ClientId = id;
    // Once the connect event has shown the connection, that text stays.
    if (!Stopping() && result != net::kNoError) ShowError(result);
    if (!Stopping() && result == net::kNoError && PeerId == net::kNoConnection) {
        screen::ShowStatus(screen::kWhite, {screen::kSearchingServer});
    }
}

void ResetCounters() REQUIRES(ScreenMutex) {
    OwnCellsLeft = kFleetCells;
    EnemyCellsLeft = kFleetCells;
    OpponentReady.store(0, std::memory_order_relaxed);
    NewGameExchange();
}

// Ends whatever game ran before this connection: its placement and turn loop
// stop on QuitFlag; the ReadyWorker goes first, since it may start a TurnLoop.
void WindUpGame() EXCLUDES(ScreenMutex) {
    {
        ScreenGuard guard;
        RaiseQuitFlag();
    }
    WaitForGameThread(GameThread::kReady);
    WaitForGameThread(GameThread::kTurn);
}

void ShowPlayerNumber() REQUIRES(ScreenMutex) {
    const screen::Point digit = screen::kPlayerNumberPos;
    screen::DrawText(digit.x, digit.y, std::string(1, screen::kBlankChar), screen::kWhite);
    screen::DrawText(digit.x, digit.y, std::to_string(PlayerNumber), screen::kBlack);
}

void ShowNewConnection(net::ConnId id) REQUIRES(ScreenMutex) {
    ConnectedFlag.store(1, std::memory_order_relaxed);
    PeerId = id;
    const bool client = PlayerNumber == 0;
    if (client) PlayerNumber = kClientPlayer;
    MyTurn.store(client ? 1 : 0, std::memory_order_relaxed);
    QuitFlag.store(StopFlag.load(std::memory_order_relaxed), std::memory_order_relaxed);
    ResetCounters();
    StartExchange(!client);
    ResetStream();
    StopReceiving();
    screen::ClearFleetBoard();
    screen::PaintTurnIndicator(screen::kWhite);
    screen::ClearPhaseBackground();
    ShowPlayerNumber();
    screen::ShowStatus(screen::kWhite, {screen::kConnection, screen::kConnected});
    screen::ShowPhaseLabel(screen::kPhasePlacing);
}

// The result stays for two seconds while messages go on arriving; then the
// boards are cleared, the loser of the game gets the first shot of the next, and
// its placement begins. A new connection or the program's end cuts the pause.
void NextGameWorker() EXCLUDES(ScreenMutex) {
    PauseUnlessQuitting(kResultPauseMs);
    if (Quitting()) return;
    {
        ScreenGuard guard;
        screen::ClearFleetBoard();
        screen::ClearPhaseBackground();
        PassTurn(nextGame.weFireFirst);
    }
    ReadyWorker();
}

}  // namespace

// PlayerNumber is set before the server listens, so a client that connects at
// once is already met as the server's opponent.
void StartServer(ProgramEnd end) {
    {
        ScreenGuard guard;
        screen::ShowStatus(screen::kWhite, {screen::kStartingServer});
        PlayerNumber = kServerPlayer;
    }
    net::ConnId id = net::kNoConnection;
    const net::ResultCode result =
        net::CreateServer(id, kGamePort, kServerBacklog, OnNewConnection, OnConnectionDenied);
    {
        ScreenGuard guard;
        ServerId = id;
        if (result == net::kNoError) {
            screen::ShowStatus(screen::kWhite, {screen::kServerReady, screen::kServerWaiting});
        } else {
            PlayerNumber = 0;
            ShowError(result);
        }
    }
    if (result == net::kNoError) WaitForTheEnd(end);
}

// The connection is made on its own thread, so a close request ends the
// program at once even while the connect waits for its time-out.
void StartClient(std::string_view address, ProgramEnd end) {
    {
        ScreenGuard guard;
        screen::ShowStatus(screen::kWhite, {screen::kStartingClient});
    }
    std::thread(ConnectAsClient, std::string(address)).detach();
    WaitForTheEnd(end);
}

// The accepted connection is closed as well, so no event handler runs any more
// while the game's threads are waited for. The screen mutex stays: a connect
// still under way may take it until the process ends.
void QuitProgram(ProgramEnd end) {
    RaiseStop();
    net::ConnId own = net::kNoConnection;
    net::ConnId peer = net::kNoConnection;
    {
        ScreenGuard guard;
        own = PlayerNumber == kServerPlayer ? ServerId : ClientId;
        peer = PeerId;
    }
    for (const net::ConnId id : {own, peer}) {
        net::Disconnect(id);
        net::WaitClose(id);
    }
    WaitForGameThread(GameThread::kFileSend);
    WaitForGameThread(GameThread::kReady);
    WaitForGameThread(GameThread::kTurn);
    StopSender();
    end();
}

void GameOver(int result) {
    {
        ScreenGuard guard;
        screen::ShowResult(result == 1);
        RaiseQuitFlag();
    }
    WaitForGameThread(GameThread::kTurn);
    {
        ScreenGuard guard;
        QuitFlag.store(StopFlag.load(std::memory_order_relaxed), std::memory_order_relaxed);
        FirstGame.store(0, std::memory_order_relaxed);
        ResetCounters();
        screen::PaintTurnIndicator(screen::kWhite);
        nextGame.weFireFirst = result == 0;
    }
    WakeSender();
    if (Stopping()) return;
    WaitForGameThread(GameThread::kReady);
    StartGameThread(GameThread::kReady, NextGameWorker);
}

// The server's one opponent is claimed here, before its connect event runs, so
// a second request arriving meanwhile is refused too.
void OnNewConnection(net::ConnId, int socket, std::string_view) {
    bool free = false;
    {
        ScreenGuard guard;
        free = ConnectedFlag.load(std::memory_order_relaxed) == 0 && !Stopping();
        if (free) ConnectedFlag.store(1, std::memory_order_relaxed);
    }
    if (!free) {
        net::RefuseConnection(socket);
        return;
    }
    net::ConnId id = net::kNoConnection;
    std::string address;
    if (net::CreateAccept(socket, id, address, OnDisconnect, OnConnect, OnNewData) !=
        net::kNoError) {
        ScreenGuard guard;
        ConnectedFlag.store(0, std::memory_order_relaxed);
    }
}

void OnConnectionDenied(net::ConnId, std::string_view) {}

void OnConnect(net::ConnId id) {
    WindUpGame();
    {
        ScreenGuard guard;
        ShowNewConnection(id);
    }
    if (!Stopping()) StartGameThread(GameThread::kReady, ReadyWorker);
}

// The game's threads stop waiting for an opponent who is gone; a new client
// winds the game up and starts afresh.
void OnDisconnect(net::ConnId id) {
    ScreenGuard guard;
    if (id != PeerId) return;
    ConnectedFlag.store(0, std::memory_order_relaxed);
    RaiseQuitFlag();
    StopReceiving();
    WakeSender();
    if (!Stopping()) {
        screen::ShowStatus(screen::kHitRed, {screen::kConnection, screen::kDisconnected});
    }
}

void OnNewData(net::ConnId, std::string_view data) {
    MessageDispatcher(data, GameOver);
}

}  // namespace game
