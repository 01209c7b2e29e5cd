// What one side does with what its opponent sends, and what it sends back, over a real loopback
// connection to a raw peer: a shot judged by the small board and answered, an answer applied
// only to the shot it answers, the end of a game, a framed file kept only when exact, the
// greeting's quiet pause, messages ahead of a file, a plain peer's paced chunks and lone chat
// line, a plain chunk held and said so once, and the score line. The game runs offscreen; the
// test plays the peer byte by byte.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "game/core/board.h"
#include "game/core/match_state.h"
#include "game/files/file_transfer.h"
#include "game/match/dispatcher.h"
#include "game/match/score.h"
#include "game/wire/exchange.h"
#include "game/wire/message_stream.h"
#include "game/wire/outgoing.h"
#include "net/net.h"
#include "screen/fleet_copy.h"
#include "screen/layout.h"
#include "screen/message_log.h"
#include "screen/offscreen.h"
#include "tests/net/support.h"
#include "tests/support/frame_check.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kReadMs = 5000;
// More than the two sockets between the sender and the raw peer hold, so a frame of this size is
// still on its way when the next is handed over.
constexpr std::size_t kLargerThanTheSockets = std::size_t{16} << 20;
constexpr int kLongReadMs = 20000;
constexpr int kQuietMs = 300;
const std::string kGreeting = "SYST:VMarevant/01";

int lastGameOver = -1;
void RecordGameOver(int result) {
    lastGameOver = result;
}

// A frame as the wire carries it: "SYST:F", its type, eight bytes of length, the payload.
std::string FrameBytes(char type, const std::string& payload) {
    std::string frame = std::string("SYST:F") + type;
    for (int shift = 56; shift >= 0; shift -= 8)
        frame += static_cast<char>(static_cast<std::uint64_t>(payload.size()) >> shift & 0xFF);
    return frame + payload;
}

std::string BigEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out += static_cast<char>(value >> shift & 0xFF);
    return out;
}

class WireFlow : public nettest::LayerTest {
   protected:
    static void SetUpTestSuite() {
        screen::OpenOffscreen();
        game::CreateScreenMutex();
        folder = fs::temp_directory_path() / ("marevant-wire-" + std::to_string(getpid()));
        fs::create_directories(folder);
        fs::current_path(folder);
    }
    // The sender thread ends here, so the process can end: its queue's condition is not
    // destroyed under a waiting thread.
    static void TearDownTestSuite() {
        game::StopSender();
        fs::remove_all(folder);
    }

    void SetUp() override {
        LayerTest::SetUp();
        raw = nettest::ConnectToRawPeer();
        game::ScreenGuard guard;
        screen::DrawStaticScreen();
        game::PlayerNumber = game::kServerPlayer;
        game::PeerId = raw.client;
        game::ConnectedFlag.store(1);
        game::OpponentReady.store(1);
        game::MyTurn.store(0);
        game::OwnCellsLeft = game::kFleetCells;
        game::EnemyCellsLeft = game::kFleetCells;
        game::StartExchange(true);
        game::ResetStream();
        game::StopReceiving();
        lastGameOver = -1;
    }
    void TearDown() override {
        {
            game::ScreenGuard guard;
            game::ConnectedFlag.store(0);
            game::StopReceiving();
        }
        nettest::CloseRaw(raw);
        LayerTest::TearDown();
    }

    // Places ships on the big board and copies them onto the small one, as a finished
    // placement does: cells (column, row) from 1.
    void Fleet(std::initializer_list<std::pair<int, int>> cells) {
        game::ScreenGuard guard;
        for (const auto& [column, row] : cells) {
            const screen::Point probe = screen::TargetProbe(column, row);
            screen::FloodFill(probe.x, probe.y, screen::kShipGrey, screen::kBlack);
        }
        screen::CopyFleetToFleetBoard();
        game::NoteReadySent();
    }

    void Receive(const std::string& bytes) { game::MessageDispatcher(bytes, RecordGameOver); }

    // What the game sent, `count` bytes, waiting up to kReadMs.
    std::string Sent(std::size_t count, int timeoutMs = kReadMs) {
        std::string got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 ||
                !nettest::WaitRaw(raw.peer, false, static_cast<int>(left.count())))
                break;
            char buffer[4096];
            const long n =
                nettest::RawReceive(raw.peer, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    screen::Colour SmallCell(int column, int row) {
        const screen::Point p = screen::FleetProbe(column, row);
        return screen::ReadPixel(p.x, p.y);
    }

    static fs::path folder;
    nettest::RawPeer raw;
};

fs::path WireFlow::folder;

// A shot is judged by the small board's colour: grey is a hit, anything else water, and a cell
// marked before keeps its colour; the last ship cell hit ends the game lost.
TEST_F(WireFlow, AShotIsJudgedByTheSmallBoardAnsweredAndTheLastHitEndsTheGame) {
    Fleet({{1, 1}, {2, 1}});
    {
        game::ScreenGuard guard;
        game::OwnCellsLeft = 2;
    }
    Receive("SHOT:00");
    EXPECT_EQ(Sent(8), "SYST:H00");
    EXPECT_EQ(SmallCell(1, 1), screen::kHitRed);
    EXPECT_EQ(testing_support::NewestLogLine(game::ScreenMutex), "Dein Schiff wurde getroffen");
    EXPECT_EQ(game::MyTurn.load(), 1);

    for (int shot = 0; shot < 2; ++shot) {
        game::MyTurn.store(0);  // as if our shot was answered meanwhile
        Receive("SHOT:02");
        EXPECT_EQ(Sent(8), "SYST:W02") << "shot " << shot << " at a cell marked before";
        EXPECT_EQ(SmallCell(1, 3), screen::kWaterBlue);
    }
    game::MyTurn.store(1);
    Receive("SHOT:10");
    EXPECT_EQ(Sent(1, kQuietMs), "") << "a shot out of turn is not answered";
    game::MyTurn.store(0);
    Receive("SHOT:10");
    EXPECT_EQ(Sent(8), "SYST:H10");
    EXPECT_EQ(lastGameOver, 0);
}

// Our shot's answer paints the big board and passes the turn; an answer to a shot we did not
// fire changes nothing; the answer that sinks the last ship wins the game.
TEST_F(WireFlow, AnAnswerCountsOnlyForTheShotItAnswers) {
    Fleet({{5, 5}});
    game::MyTurn.store(1);
    ASSERT_TRUE(game::SendShot(3, 4));
    EXPECT_EQ(Sent(7), "SHOT:34");
    Receive("SYST:W99");
    const screen::Point stray = screen::TargetProbe(10, 10);
    EXPECT_EQ(screen::ReadPixel(stray.x, stray.y), screen::kWhite);
    EXPECT_EQ(game::MyTurn.load(), 1);
    {
        game::ScreenGuard guard;
        game::EnemyCellsLeft = 1;
    }
    Receive("SYST:H34");
    const screen::Point cell = screen::TargetProbe(4, 5);
    EXPECT_EQ(screen::ReadPixel(cell.x, cell.y), screen::kHitRed);
    EXPECT_EQ(lastGameOver, 1);
}

// After the greeting, a framed file grows aside and takes its name only when its size and
// checksum match; a wrong checksum, or data beyond the offer (even when the checksum of the
// offered bytes follows), leaves nothing and the log says so.
TEST_F(WireFlow, AFramedFileIsKeptOnlyWhenExact) {
    const std::string content = "Hallo, Datei!";
    const auto crc = static_cast<std::uint32_t>(crc32(
        0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    const std::string halves =
        FrameBytes('D', content.substr(0, 5)) + FrameBytes('D', content.substr(5));
    struct Case {
        const char* what;
        std::string data;
        std::uint32_t checksum;
        bool kept;
    };
    const Case cases[] = {
        {"a wrong checksum", halves, crc ^ 1, false},
        {"data beyond the offer", halves + FrameBytes('D', "zu viel"), crc, false},
        {"exact", halves, crc, true},
    };
    Receive(kGreeting);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Receive(FrameBytes('O', BigEndian(content.size(), 8) + "gruss.txt"));
        std::string reply;
        {
            game::ScreenGuard guard;
            ASSERT_TRUE(game::TakeFileAnswer("j", reply));
        }
        EXPECT_EQ(reply, "SYST:j");
        Receive(c.data);
        Receive(FrameBytes('E', BigEndian(c.checksum, 4)));
        EXPECT_EQ(fs::exists(folder / "gruss.txt"), c.kept);
        // The end line wraps onto a second row when it names the size and the rate.
        const std::string rows = testing_support::LogRows();
        EXPECT_NE(rows.find(c.kept ? "Datei empfangen: gruss.txt (13 B, "
                                   : "Datei unvollst\x84ndig: gruss.txt"),
                  std::string::npos)
            << rows;
    }
    std::ifstream kept(folder / "gruss.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), content);
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
}

// A peer that never greeted gets the offer and the file as the original wire has them: chunks
// of 6144 bytes at least 100 ms apart, and a chat line alone, with 300 ms before the next chunk.
// Each bound is measured from a moment taken before the step it follows, so load can only
// lengthen what is measured.
TEST_F(WireFlow, APlainPeerGetsPacedChunksAndAChatLineAlone) {
    constexpr std::size_t kChunk = 6144;
    const std::string content(3 * kChunk + 100, 'c');
    std::ofstream(folder / "plain.bin", std::ios::binary) << content;
    const std::string offer = "DATA:plain.bin?" + std::to_string(content.size());
    const std::string chat = std::string("NACHR:") + '\x05' + "hallo";
    {
        game::ScreenGuard guard;
        ASSERT_TRUE(game::PrepareSend("sendfile plain.bin"));
    }
    std::thread worker(game::FileSendWorker);
    EXPECT_EQ(Sent(offer.size()), offer);
    const auto answered = Clock::now();
    Receive("SYST:j");
    EXPECT_EQ(Sent(2 * kChunk), content.substr(0, 2 * kChunk));
    EXPECT_GE(Clock::now() - answered, std::chrono::milliseconds(100));
    const auto chatted = Clock::now();
    {
        game::ScreenGuard guard;
        game::QueueToPeer(chat);
    }
    EXPECT_EQ(Sent(chat.size()), chat);
    EXPECT_EQ(Sent(kChunk + 100), content.substr(2 * kChunk));
    EXPECT_GE(Clock::now() - chatted, std::chrono::milliseconds(400));
    worker.join();
    const std::string rows = testing_support::LogRows(game::ScreenMutex);
    EXPECT_NE(rows.find("Datei gesendet (18,5 KB, "), std::string::npos) << rows;
}

// The greeting goes first, alone: nothing follows it for the quiet pause; then messages queued
// while a file's frame waits go out ahead of that frame.
TEST_F(WireFlow, TheGreetingGoesAloneAndMessagesGoAheadOfAFrame) {
    {
        game::ScreenGuard guard;
        game::QueueGreeting();
        game::QueueToPeer("SYST:R");
    }
    const auto greeted = Clock::now();
    EXPECT_EQ(Sent(kGreeting.size()), kGreeting);
    EXPECT_EQ(Sent(6), "SYST:R");
    EXPECT_GE(Clock::now() - greeted, std::chrono::milliseconds(190));

    const std::string frame = FrameBytes('D', std::string(1000, 'x'));
    screen::MutexLock(game::ScreenMutex);
    std::thread writer(
        [&] { game::WriteFileChunk(raw.client, frame, game::ChunkKind::kLastFrame, true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        // The sender cannot decide on the frame while the screen mutex is held here.
        game::QueueToPeer("SHOT:12");
    }
    screen::MutexUnlock(game::ScreenMutex);
    writer.join();
    EXPECT_EQ(Sent(7 + frame.size()), "SHOT:12" + frame);
}

// The room handed back for the next frame is filled while earlier frames, larger than the
// sockets hold, still go out, as the sender reads ahead: the wire carries each frame as handed.
TEST_F(WireFlow, FillingTheRoomHandedBackNeverChangesAFrameOnItsWay) {
    const std::string first(kLargerThanTheSockets, 'a');
    const std::string second(kLargerThanTheSockets, 'b');
    const std::string last = FrameBytes('E', "sum!");
    std::thread writer([&] {
        std::string room = first;
        game::WriteFileChunk(raw.client, room, game::ChunkKind::kFrame, true, &room);
        room.assign(kLargerThanTheSockets, 'y');
        game::WriteFileChunk(raw.client, second, game::ChunkKind::kFrame, false, &room);
        room.assign(kLargerThanTheSockets, 'z');
        game::WriteFileChunk(raw.client, last, game::ChunkKind::kLastFrame, false, &room);
        EXPECT_TRUE(room.empty());
    });
    EXPECT_TRUE(Sent(2 * kLargerThanTheSockets + last.size(), kLongReadMs) ==
                first + second + last);
    writer.join();
}

// A plain peer's chunk that could pass for a Ready while the peer places waits until our
// Ready has gone, and the log says so once.
TEST_F(WireFlow, APlainChunkThatCouldPassForAReadyWaitsAndSaysSoOnce) {
    {
        game::ScreenGuard guard;
        game::StartExchange(true);
    }
    const std::string chunk = "SYST:R" + std::string(100, 'c');
    std::thread writer(
        [&] { game::WriteFileChunk(raw.client, chunk, game::ChunkKind::kPlainChunk, true); });
    EXPECT_EQ(Sent(1, kQuietMs), "");
    EXPECT_TRUE(testing_support::WaitUntil([] {
        return testing_support::NewestLogLine(game::ScreenMutex) ==
               "Datei wartet auf den n\x84"
               "chsten Zug";
    }));
    {
        game::ScreenGuard guard;
        game::NoteReadySent();
    }
    game::WakeSender();
    writer.join();
    EXPECT_EQ(Sent(chunk.size()), chunk);
}

// The result line counts the games against this opponent, own wins first.
TEST_F(WireFlow, TheScoreLineCountsTheGamesAgainstThisOpponent) {
    game::ScreenGuard guard;
    game::ResetScore();
    game::ShowGameResult(true);
    EXPECT_EQ(testing_support::NewestLogLine(), "Spiel 1 gewonnen - Stand 1:0");
    game::ShowGameResult(false);
    game::ShowGameResult(false);
    EXPECT_EQ(testing_support::NewestLogLine(), "Spiel 3 verloren - Stand 1:2");
    game::ResetScore();
    game::ShowGameResult(false);
    EXPECT_EQ(testing_support::NewestLogLine(), "Spiel 1 verloren - Stand 0:1");
}

}  // namespace
