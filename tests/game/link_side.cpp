// The link's side: connection handlers that stand in for the network match's, a firing
// thread, an accepting thread and the peer process's main.
#include "tests/game/link_side.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string_view>
#include <thread>

#include "game/core/board.h"
#include "game/core/match_state.h"
#include "game/files/file_transfer.h"
#include "game/match/dispatcher.h"
#include "game/wire/exchange.h"
#include "game/wire/message_stream.h"
#include "game/wire/outgoing.h"
#include "net/create.h"
#include "net/lifecycle.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "tests/support/frame_check.h"

namespace linktest {
namespace {

constexpr std::uint32_t kConnectSeconds = 20;
constexpr auto kReadyWait = std::chrono::milliseconds(20000);
constexpr auto kStep = std::chrono::milliseconds(1);
// A peer left alone ends by itself after this long.
constexpr auto kPeerLifetime = std::chrono::milliseconds(20 * 60 * 1000);
constexpr std::string_view kPeerFlag = "--link-peer";
constexpr std::string_view kServeFlag = "serve";

struct Side {
    std::atomic<int> shots{0};
};

Side side;

void NoGameOver(int) {}

// What the network match's connect event does for the stream, the exchange and the sender.
void OnConnect(net::ConnId id) {
    game::ScreenGuard guard;
    const bool client = game::PlayerNumber == 0;
    if (client) game::PlayerNumber = game::kClientPlayer;
    game::PeerId = id;
    game::ConnectedFlag.store(1);
    game::MyTurn.store(client ? 1 : 0);
    game::OwnCellsLeft = game::kFleetCells;
    game::EnemyCellsLeft = game::kFleetCells;
    game::StartExchange(!client);
    game::ResetStream();
    game::StopReceiving();
    game::QueueGreeting();
}

void OnDisconnect(net::ConnId) {
    game::ScreenGuard guard;
    game::ConnectedFlag.store(0);
    game::StopReceiving();
    game::WakeSender();
}

void OnData(net::ConnId, std::string_view data) {
    game::MessageDispatcher(data, NoGameOver);
}

void OnNewConnection(net::ConnId, int socket, std::string_view) {
    net::ConnId id = net::kNoConnection;
    std::string address;
    net::CreateAccept(socket, id, address, OnDisconnect, OnConnect, OnData);
}

void OnDenied(net::ConnId, std::string_view) {}

void FireWhenOurTurn() {
    std::mt19937 random(static_cast<unsigned>(getpid()));
    for (;;) {
        if (game::MyTurn.load() == 1 && game::SendShot(random() % 10, random() % 10)) ++side.shots;
        std::this_thread::sleep_for(kStep);
    }
}

void AcceptEveryOffer() {
    for (;;) {
        {
            game::ScreenGuard guard;
            std::string reply;
            if (game::ReceivingFile.load() == 1 && game::TakeFileAnswer("j", reply) &&
                !reply.empty()) {
                game::QueueToPeer(std::move(reply));
            }
        }
        std::this_thread::sleep_for(kStep);
    }
}

// A line only this harness writes, so what the log shows after it is the send's.
constexpr std::string_view kMark = "~";

// The log's rows after the newest mark, joined, so a line that wraps reads whole; all rows when
// lines after the mark pushed it out.
std::string RowsAfterMark() {
    std::string rows;
    for (int slot = 0; slot < screen::kLogSlots; ++slot) {
        const std::string row = screen::LogSlot(slot);
        rows = row == kMark ? std::string() : rows + row;
    }
    return rows;
}

}  // namespace

bool StartSide(bool serve, std::uint16_t port) {
    screen::OpenOffscreen();
    screen::DrawStaticScreen();
    game::CreateScreenMutex();
    net::ConnId id = net::kNoConnection;
    if (serve) {
        {
            game::ScreenGuard guard;
            game::PlayerNumber = game::kServerPlayer;
        }
        if (net::CreateServer(id, port, 1, OnNewConnection, OnDenied) != net::kNoError)
            return false;
    } else if (net::CreateClient(id, "127.0.0.1", port, OnDisconnect, OnConnect, OnData,
                                 kConnectSeconds) != net::kNoError) {
        return false;
    }
    if (!testing_support::WaitUntil([] { return game::ConnectedFlag.load() == 1; }, kReadyWait))
        return false;
    game::SendReady();
    return testing_support::WaitUntil([] { return game::OpponentReady.load() == 1; }, kReadyWait);
}

void StartFiring() {
    std::thread(FireWhenOurTurn).detach();
}

int ShotsFired() {
    return side.shots.load();
}

void StartAccepting() {
    std::thread(AcceptEveryOffer).detach();
}

std::string SendFile(const std::string& path) {
    {
        game::ScreenGuard guard;
        screen::LogLine(kMark);
        if (!game::PrepareSend("sendfile " + path)) return RowsAfterMark();
    }
    game::FileSendWorker();
    game::ScreenGuard guard;
    return RowsAfterMark();
}

bool Connected() {
    return game::ConnectedFlag.load() == 1;
}

bool IsPeerCall(int argc, char** argv) {
    return argc == 5 && argv[1] == kPeerFlag;
}

// Arguments: the flag, "serve" or "connect", the port, the folder to work in. The peer fires
// and takes every file until its opponent goes away.
int RunPeer(int, char** argv) {
    if (chdir(argv[4]) != 0) return 2;
    net::StartConnectionLayer();
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[3]));
    if (!StartSide(argv[2] == kServeFlag, port)) return 3;
    StartAccepting();
    StartFiring();
    testing_support::WaitUntil([] { return !Connected(); }, kPeerLifetime);
    return 0;
}

}  // namespace linktest
