// The network match flow: server and client starts, the main thread's wait
// for the end, the connection layer's events, the end of a game and the end of
// the program. Every drawing and every change of the shared match state
// happens under the screen mutex; no lock is held across a send, a wait for a
// thread or GameOver.
#include "game/match/network_match.h"

#include <string>
#include <utility>

#include "game/core/board.h"
#include "game/core/shot_report.h"
#include "game/files/file_transfer.h"
#include "game/lan/discovery.h"
#include "game/match/connect_status.h"
#include "game/match/dispatcher.h"
#include "game/match/match_threads.h"
#include "game/match/score.h"
#include "game/wire/exchange.h"
#include "game/wire/message_stream.h"
#include "game/wire/outgoing.h"
#include "net/create.h"
#include "net/worker.h"
#include "screen/fleet_copy.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr std::uint16_t kServerBacklog = 1;
constexpr std::uint32_t kConnectTimeoutSeconds = 60;
// Code page 437: 0x81 u-umlaut.
constexpr std::string_view kBackToLobbyHint =
    "Zur\x81"
    "ck zur Lobby mit ESC";

// A start between "Verbinden" and its first opponent.
enum class Attempt { kWaiting, kFailed, kCancelled };

struct NetworkMatch {
    Attempt attempt GUARDED_BY(ScreenMutex) = Attempt::kWaiting;
    bool weFireFirst GUARDED_BY(ScreenMutex) = false;  // we lost the game that just ended
    // The client's connect and its address, both the main thread's alone (the address is set
    // before the connect starts); a try given up may still run it, so the next start waits
    // for it first.
    screen::ThreadHandle connector = nullptr;
    std::string address;
};

NetworkMatch start;

enum class Check { kGoOn, kGivenUp, kQuit };

void ShowFailure(net::ResultCode code) REQUIRES(ScreenMutex) {
    const std::string text = "Fehler: " + std::to_string(code);
    screen::ShowStatus(screen::kWhite, {{screen::kErrorPos, text}});
    screen::LogLine(FailureReason(code));
}

bool NoOpponent() REQUIRES(ScreenMutex) {
    return ConnectedFlag.load(std::memory_order_relaxed) == 0;
}

// While no opponent is connected (before the first comes, or once one is lost) the keys are
// the main thread's own: Escape gives the start up and the rest are dropped. While one is,
// they belong to the placement screen, the turn loop and the input line, and only a close
// request is taken here.
Check CheckStart() EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    if (start.attempt == Attempt::kFailed) return Check::kGivenUp;
    while (NoOpponent()) {
        const std::string key = screen::ReadKey();
        if (key.empty()) return Check::kGoOn;
        if (key == screen::kCloseRequest) return Check::kQuit;
        if (screen::IsKey(key, screen::kKeyEscape)) {
            start.attempt = Attempt::kCancelled;
            return Check::kGivenUp;
        }
    }
    return Check::kGoOn;
}

// Sleeps until a key, a close request or another thread's news: no wake-up while nothing
// happens. A close request that the placement screen, the turn loop or the input line took
// ends their part and sets StopFlag, which ends the wait too.
StartEnd WaitForTheEnd(ProgramEnd end) EXCLUDES(ScreenMutex) {
    for (;;) {
        const std::uint64_t seen = screen::InputGeneration();
        if (screen::TakeCloseRequest() || Stopping()) QuitProgram(end);
        const Check check = CheckStart();
        if (check == Check::kQuit) QuitProgram(end);
        if (check == Check::kGivenUp) {
            ScreenGuard guard;
            if (start.attempt == Attempt::kFailed) return StartEnd::kFailed;
            return PeerId == net::kNoConnection ? StartEnd::kCancelled : StartEnd::kLeft;
        }
        screen::WaitForChangeAfter(seen);
    }
}

// Back in the lobby: a cancelled start leaves it as it looked at start-up. Presses and keys
// made while the start ran were meant for it, so the lobby does not act on them; a close
// request stays.
StartEnd ResetStart(StartEnd how) REQUIRES(ScreenMutex) {
    screen::DropPresses();
    screen::DropTypedKeys();
    PlayerNumber = 0;
    ServerId = net::kNoConnection;
    ClientId = net::kNoConnection;
    if (how == StartEnd::kCancelled) {
        screen::ShowStatus(screen::kWhite, {screen::kAddressPrompt});
        screen::LogLine(kCancelled);
    }
    return how;
}

void BeginAttempt() EXCLUDES(ScreenMutex) {
    screen::ThreadWait(std::exchange(start.connector, nullptr));
    ScreenGuard guard;
    start.attempt = Attempt::kWaiting;
}

// A connection made while the try was given up is closed again at once.
void ConnectAsClient() EXCLUDES(ScreenMutex) {
    net::ConnId id = net::kNoConnection;
    const net::ResultCode result = net::CreateClient(id, start.address, kGamePort, OnDisconnect,
                                                     OnConnect, OnNewData, kConnectTimeoutSeconds);
    ScreenGuard guard;
    if (start.attempt == Attempt::kCancelled || Stopping()) return;
    ClientId = id;
    if (result != net::kNoError) {
        ShowFailure(result);
        start.attempt = Attempt::kFailed;
        screen::WakeInputWaiters();
    } else if (PeerId == net::kNoConnection) {
        // Once the connect event has shown the connection, that text stays.
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

// After a lost opponent nothing of the match stays: its threads have ended, the flags, boards,
// stream and score start afresh, and the screen is the lobby's again, with the log as it is.
void ForgetMatch() REQUIRES(ScreenMutex) {
    PeerId = net::kNoConnection;
    ConnectedFlag.store(0, std::memory_order_relaxed);
    QuitFlag.store(0, std::memory_order_relaxed);
    FirstGame.store(1, std::memory_order_relaxed);
    MyTurn.store(0, std::memory_order_relaxed);
    ResetCounters();
    ResetScore();
    ResetStream();
    StopReceiving();
    screen::ClearTargetBoard();
    screen::DrawStaticScreen();
    screen::RedrawMessageLog();
}

StartEnd BackToLobby(StartEnd how) EXCLUDES(ScreenMutex) {
    if (how == StartEnd::kLeft) {
        WindUpGame();
        WaitForGameThread(GameThread::kFileSend);
    }
    ScreenGuard guard;
    if (how == StartEnd::kLeft) ForgetMatch();
    return ResetStart(how);
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
    ResetScore();
    StartExchange(!client);
    ResetStream();
    StopReceiving();
    QueueGreeting();
    screen::DropPresses();
    screen::ClearFleetBoard();
    screen::PaintTurnIndicator(screen::kWhite);
    screen::ClearPhaseBackground();
    ShowPlayerNumber();
    screen::ShowStatus(screen::kWhite, {screen::kConnection, screen::kConnected});
    screen::ShowPhaseLabel(screen::kPhasePlacing);
    WakeAnnouncer();
}

// The result stays for two seconds while messages go on arriving; then the
// boards are cleared, the loser of the game gets the first shot of the next, and
// its placement begins. A new connection or the program's end cuts the pause.
void NextGameWorker() EXCLUDES(ScreenMutex) {
    PauseUnlessQuitting(kResultPauseMs);
    if (Quitting()) return;
    {
        ScreenGuard guard;
        // Presses made while the result showed do not place ships.
        screen::DropPresses();
        screen::ClearFleetBoard();
        screen::ClearPhaseBackground();
        PassTurn(start.weFireFirst);
    }
    ReadyWorker();
}

}  // namespace

// PlayerNumber is set before the server listens, so a client that connects at
// once is already met as the server's opponent. The log tells the addresses the
// other player can type.
StartEnd StartServer(ProgramEnd end) {
    BeginAttempt();
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
        if (result != net::kNoError) {
            ShowFailure(result);
            return ResetStart(StartEnd::kFailed);
        }
        screen::ShowStatus(screen::kWhite, {screen::kServerReady, screen::kServerWaiting});
        for (const std::string& line : AddressLines(net::LocalAddresses()))
            screen::LogLine(line);
        screen::LogLine(kCancelHint);
    }
    StartAnnouncing();
    const StartEnd how = WaitForTheEnd(end);
    StopAnnouncing();
    net::Disconnect(id);
    net::WaitClose(id);
    return BackToLobby(how);
}

// The connection is made on its own thread, so a close request ends the
// program at once and Escape gives the try up even while the connect waits for
// its time-out.
StartEnd StartClient(std::string_view address, ProgramEnd end) {
    BeginAttempt();
    {
        ScreenGuard guard;
        screen::ShowStatus(screen::kWhite, {screen::kStartingClient});
        screen::LogLine(TryingLine(address));
        screen::LogLine(kCancelHint);
    }
    start.address = address;
    start.connector = screen::ThreadCreate(ConnectAsClient);
    const StartEnd how = WaitForTheEnd(end);
    // A failed connect has ended; a cancelled one may still wait for a name lookup, and is
    // waited for before the next start.
    if (how == StartEnd::kFailed) screen::ThreadWait(std::exchange(start.connector, nullptr));
    if (how == StartEnd::kCancelled) net::CancelConnects();
    return BackToLobby(how);
}

// The accepted connection is closed as well, so no event handler runs any more
// while the game's threads are waited for. The screen mutex stays: a connect
// still under way may take it until the process ends.
void QuitProgram(ProgramEnd end) {
    RaiseStop();
    StopAnnouncing();
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
        ShowGameResult(result == 1);
        RaiseQuitFlag();
    }
    WaitForGameThread(GameThread::kTurn);
    {
        ScreenGuard guard;
        QuitFlag.store(StopFlag.load(std::memory_order_relaxed), std::memory_order_relaxed);
        FirstGame.store(0, std::memory_order_relaxed);
        ResetCounters();
        screen::PaintTurnIndicator(screen::kWhite);
        start.weFireFirst = result == 0;
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
        free = ConnectedFlag.load(std::memory_order_relaxed) == 0 && !Stopping() &&
               start.attempt != Attempt::kCancelled;
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

// A client's connection that comes after its try was given up is closed again.
void OnConnect(net::ConnId id) {
    WindUpGame();
    bool wanted = false;
    {
        ScreenGuard guard;
        wanted = start.attempt != Attempt::kCancelled;
        if (wanted) ShowNewConnection(id);
    }
    if (!wanted) {
        net::Disconnect(id);
        return;
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
    WakeAnnouncer();
    if (!Stopping()) {
        screen::ShowStatus(screen::kHitRed, {screen::kConnection, screen::kDisconnected});
        screen::LogLine(kBackToLobbyHint);
    }
}

void OnNewData(net::ConnId, std::string_view data) {
    MessageDispatcher(data, GameOver);
}

}  // namespace game
