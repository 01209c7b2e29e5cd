// End-to-end tests of the Windows program under Wine, each in a private X server and driven and
// read exactly as the Linux program is: the lobby pixel for pixel, a whole match against the
// computer, whole network matches between a Windows copy and a Linux copy in both roles with
// chat and files each way, hostile offers of names Windows cannot hold, and the installer. The
// whole program runs in one private network namespace with one Wine server, case after case.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/e2e/expected_screen.h"
#include "tests/e2e/frame_compare.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/raw_peer.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kLinuxBinary[] = MAREVANT_BINARY;
constexpr char kWindowsBinary[] = MAREVANT_WINDOWS_BINARY;
constexpr char kSetup[] = MAREVANT_WINDOWS_SETUP;
constexpr char kWineRun[] = MAREVANT_WINE_RUN;
constexpr char kWinePrefix[] = MAREVANT_WINE_PREFIX;
constexpr int kFileTimeoutMs = 30000;
constexpr int kInstallerTimeoutMs = 60000;
// Making a new Wine prefix on a cold, busy machine.
constexpr int kPrefixTimeoutMs = 300000;
// Two copies that greet each other send files in frames: 3 MiB, every 6144-byte chunk opening
// with a Ready, would take 50 s and wait for the game to move on at the original wire's pace
// and rules; framed, it takes a moment.
constexpr std::size_t kPayloadBytes = 3 * 1024 * 1024;
constexpr std::size_t kChunkBytes = 6144;
// Code page 437: 0x81 u-umlaut.
constexpr char kBadName[] = "Ung\x81ltiger Dateiname";

// Random bytes with message keywords inside.
std::string Payload(unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(kPayloadBytes, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    std::size_t at = 77;
    for (const char* keyword : {"SYST:R", "SHOT:12", "NACHR:\x02ok", "DATA:x?5", "SYST:H00"}) {
        bytes.replace(at, std::string(keyword).size(), keyword);
        at += 2345;
    }
    for (std::size_t chunk = 0; chunk < kPayloadBytes; chunk += kChunkBytes)
        bytes.replace(chunk, 6, "SYST:R");
    return bytes;
}

// Runs a program under Wine in the project's prefix and waits for its end.
int RunUnderWine(const std::vector<std::string>& arguments) {
    ChildOptions options;
    options.argv = {kWineRun};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.quiet = true;
    pid_t pid = StartChild(options);
    return pid > 0 ? WaitForChild(pid, kInstallerTimeoutMs) : -1;
}

// A command of the Wine server of the project's prefix, waited for: "-k" stops it, "-w" waits
// for its end (it outlives its programs for a few seconds; work it did lands by its end).
void WineServer(const char* arguments) {
    ChildOptions options;
    options.argv = {"sh", "-c",
                    std::string("WINEPREFIX=") + kWinePrefix + " wineserver " + arguments};
    options.quiet = true;
    pid_t pid = StartChild(options);
    if (pid > 0) WaitForChild(pid, kInstallerTimeoutMs);
}

// No Wine server of this prefix may outlive the run or come from before it: the server makes
// every socket of the Windows programs, in the network namespace it was started in. A prefix
// made on a program's first start takes far longer than any case waits for its window, so
// it is made ready here, before the first case.
class WineServerPerRun : public ::testing::Environment {
   public:
    void SetUp() override {
        WineServer("-k");
        ChildOptions prepare;
        prepare.argv = {kWineRun, "--prepare"};
        prepare.quiet = true;
        const pid_t pid = StartChild(prepare);
        ASSERT_GT(pid, 0);
        ASSERT_EQ(0, WaitForChild(pid, kPrefixTimeoutMs)) << "the Wine prefix could not be made";
    }
    void TearDown() override { WineServer("-k"); }
};

const auto* const kWineServerPerRun = ::testing::AddGlobalTestEnvironment(new WineServerPerRun);

struct Player {
    const char* binary;
    Session session;
    Frame last;
};

class WindowsProgram : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kWindowsBinary)) << kWindowsBinary << " is missing: make windows";
        base = MakeScratchDirectory();
        ASSERT_FALSE(base.empty());
    }
    void TearDown() override {
        for (Player* p : {&windows, &linux})
            EndSession(p->session);
        CloseRaw(raw);
        fs::remove_all(base);
    }

    void Logs(Player& p, const std::string& text, std::uint32_t colour = kBlackPixel) {
        EXPECT_TRUE(WaitForFrame(
            p.session, [&](const Frame& f) { return LogShows(f, text, colour); }, kAnswerTimeoutMs,
            p.last))
            << p.binary << " never showed \"" << text << "\"";
    }

    void Start(Player& p, const char* folder) {
        fs::create_directory(base / folder);
        p.session.directory = (base / folder).string();
        ASSERT_TRUE(StartSession(p.session, p.binary)) << p.binary;
    }

    // Chat and a framed file with keywords from the client to the server and back, byte for byte.
    void ChatAndFilesBothWays(Player& server, Player& client) {
        ASSERT_TRUE(SendInputLine(client.session, "hallo server", client.last));
        Logs(server, "2> hallo server", kBluePixel);
        ASSERT_TRUE(SendInputLine(server.session, "hallo client", server.last));
        Logs(client, "1> hallo client", kBluePixel);
        for (Player* from : {&client, &server}) {
            Player* to = from == &client ? &server : &client;
            const std::string payload = Payload(from == &client ? 1 : 2);
            std::ofstream(fs::path(from->session.directory) / "daten.bin", std::ios::binary)
                << payload;
            ASSERT_TRUE(SendInputLine(from->session, "sendfile daten.bin", from->last));
            Logs(*to, "Soll die Datei angenommen werden?");
            ASSERT_TRUE(SendInputLine(to->session, "j", to->last));
            EXPECT_TRUE(
                FileBecomes(fs::path(to->session.directory) / "daten.bin", payload, kFileTimeoutMs))
                << from->binary << " to " << to->binary;
            Logs(*to, "Datei empfangen: daten.bin");
        }
    }

    // The client sinks the server's fleet; both show the result and then the next placement.
    void AWholeGame(Player& server, Player& client) {
        ASSERT_TRUE(PlaceFleet(server.session, kServerFleet, server.last));
        ASSERT_TRUE(PlaceFleet(client.session, kClientFleet, client.last));
        const auto targets = FleetCells(kServerFleet);
        const auto water = WaterOf(kClientFleet);
        for (std::size_t i = 0; i < targets.size(); ++i) {
            ASSERT_TRUE(
                FireAt(client.session, targets[i].first, targets[i].second, true, client.last))
                << i;
            if (i + 1 < targets.size()) {
                ASSERT_TRUE(
                    FireAt(server.session, water[i].first, water[i].second, false, server.last))
                    << i;
            }
        }
        // Both results first: each shows for two seconds only.
        for (Player* p : {&client, &server}) {
            const bool won = p == &client;
            EXPECT_TRUE(WaitForFrame(
                p->session, [won](const Frame& f) { return ResultShows(f, won); }, kAnswerTimeoutMs,
                p->last))
                << p->binary;
        }
        for (Player* p : {&client, &server})
            EXPECT_TRUE(WaitForFrame(p->session, Placing, kNextGameTimeoutMs, p->last))
                << p->binary;
    }

    void MixedMatch(Player& server, Player& client) {
        ASSERT_NO_FATAL_FAILURE(Start(server, "server"));
        ASSERT_NO_FATAL_FAILURE(Start(client, "client"));
        ASSERT_TRUE(StartServerGame(server.session, server.last));
        ASSERT_TRUE(StartClientGame(client.session, client.last));
        ASSERT_TRUE(AwaitConnection(server.session, '1', server.last));
        ASSERT_TRUE(AwaitConnection(client.session, '2', client.last));
        ASSERT_NO_FATAL_FAILURE(ChatAndFilesBothWays(server, client));
        ASSERT_NO_FATAL_FAILURE(AWholeGame(server, client));
        for (Player* p : {&client, &server}) {
            ASSERT_TRUE(SendCloseRequest(p->session));
            EXPECT_EQ(0, WaitForGameExit(p->session, kExitTimeoutMs)) << p->binary;
        }
    }

    fs::path base;
    Player windows{kWindowsBinary, {}, {}};
    Player linux{kLinuxBinary, {}, {}};
    int raw = -1;
};

// The same frame buffer and drawing code as on Linux, shown pixel for pixel; and the whole
// match against the computer to its result and into the next.
TEST_F(WindowsProgram, ShowsTheLobbyPixelForPixelAndPlaysAWholeMatchAgainstTheComputer) {
    ASSERT_NO_FATAL_FAILURE(Start(windows, "alone"));
    const Frame lobby = ExpectedLobby();
    EXPECT_TRUE(WaitForFrame(
        windows.session, [&](const Frame& f) { return f == lobby; }, kFrameTimeoutMs,
        windows.last));
    ASSERT_TRUE(StartComputerGame(windows.session, windows.last));
    ASSERT_TRUE(PlaceFleet(windows.session, kServerFleet, windows.last));
    ASSERT_TRUE(FireUntilTheComputerMatchEnds(windows.session, windows.last));
    // The result and its log line are drawn one after the other, and the window may show the
    // picture in between.
    const auto scored = [](const Frame& f) {
        return LogShows(f, "Spiel 1 gewonnen - Stand 1:0") ||
               LogShows(f, "Spiel 1 verloren - Stand 0:1");
    };
    EXPECT_TRUE(WaitForFrame(windows.session, scored, kFrameTimeoutMs, windows.last));
    EXPECT_TRUE(WaitForFrame(windows.session, Placing, kNextGameTimeoutMs, windows.last));
    ASSERT_TRUE(SendCloseRequest(windows.session));
    EXPECT_EQ(0, WaitForGameExit(windows.session, kExitTimeoutMs));
}

// A LAN interface in this namespace (one end of a veth pair, 10.79.0.1/24), made once for the
// run: a broadcast to it reaches every program here that listens.
bool MakeLanInterface() {
    static const bool made =
        std::system(
            "ip link add lanA type veth peer name lanB && "
            "ip addr add 10.79.0.1/24 brd + dev lanA && ip link set lanA up && "
            "ip link set lanB up") == 0;
    return made;
}

// The lobby of `lobby` lists the server of `server`; a click on its line joins it.
void FindAndJoin(Player& server, Player& lobby) {
    constexpr char kFound[] = "Server gefunden: 10.79.0.1";
    ASSERT_TRUE(WaitForFrame(lobby.session, InLobby, kFrameTimeoutMs, lobby.last));
    ASSERT_TRUE(StartServerGame(server.session, server.last));
    ASSERT_TRUE(WaitForFrame(
        lobby.session, [&](const Frame& f) { return LogRowOf(f, kFound) >= 0; }, kFileTimeoutMs,
        lobby.last))
        << lobby.binary << " never found the server of " << server.binary;
    const int row = LogRowOf(lobby.last, kFound);
    ASSERT_TRUE(MovePointer(lobby.session, 200, LogRowMiddleY(row)) &&
                PressButton(lobby.session, Button::kLeft) &&
                ReleaseButton(lobby.session, Button::kLeft));
    ASSERT_TRUE(AwaitConnection(server.session, '1', server.last) &&
                AwaitConnection(lobby.session, '2', lobby.last));
    for (Player* p : {&server, &lobby}) {
        ASSERT_TRUE(SendCloseRequest(p->session));
        EXPECT_EQ(0, WaitForGameExit(p->session, kExitTimeoutMs)) << p->binary;
        EndSession(p->session);
        p->session = Session{};
    }
}

// The Windows program lists a Linux server it hears and joins it with a click; a Linux lobby
// lists the Windows program as a waiting server and joins it.
TEST_F(WindowsProgram, FindsAndIsFoundOnTheLan) {
    ASSERT_TRUE(MakeLanInterface());
    ASSERT_NO_FATAL_FAILURE(Start(windows, "lobby"));
    ASSERT_NO_FATAL_FAILURE(Start(linux, "server"));
    ASSERT_NO_FATAL_FAILURE(FindAndJoin(linux, windows));
    ASSERT_NO_FATAL_FAILURE(Start(windows, "server2"));
    ASSERT_NO_FATAL_FAILURE(Start(linux, "lobby2"));
    ASSERT_NO_FATAL_FAILURE(FindAndJoin(windows, linux));
}

TEST_F(WindowsProgram, PlaysAsServerAgainstTheLinuxProgram) {
    MixedMatch(windows, linux);
}

TEST_F(WindowsProgram, PlaysAsClientAgainstTheLinuxProgram) {
    MixedMatch(linux, windows);
}

// Each name Windows cannot hold as a plain file is refused with the same line as other bad
// names, and nothing is written.
TEST_F(WindowsProgram, RefusesNamesThatWindowsCannotHoldAndWritesNothing) {
    ASSERT_NO_FATAL_FAILURE(Start(windows, "server"));
    ASSERT_TRUE(StartServerGame(windows.session, windows.last));
    raw = ConnectRawPeer(kGamePort, kConnectTimeoutMs);
    ASSERT_TRUE(TakeGreeting(raw, kAnswerTimeoutMs)) << "no greeting alone in the first block";
    ASSERT_TRUE(AwaitConnection(windows.session, '1', windows.last));
    for (const char* name : {"CON", "con.txt", "Aux", "NUL.tar.gz", "COM1", "lpt9.log", "a<b",
                             "a>b", "a:b", "a\"b", "a|b", "a*b", "a\\b", "name.", "name "}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SendRaw(raw, std::string("DATA:") + name + "?5"));
        EXPECT_EQ(ReadRaw(raw, 6, kAnswerTimeoutMs), "SYST:n");
        Logs(windows, kBadName);
    }
    EXPECT_TRUE(fs::is_empty(base / "server"));
    ASSERT_TRUE(SendCloseRequest(windows.session));
    EXPECT_EQ(0, WaitForGameExit(windows.session, kExitTimeoutMs));
}

// Silently installed, the program starts from Program Files and shows the lobby; silently
// uninstalled, nothing of it is left.
TEST_F(WindowsProgram, InstallsSilentlyStartsAndUninstallsWithoutATrace) {
    ASSERT_TRUE(fs::exists(kSetup)) << kSetup << " is missing: make windows-package";
    const fs::path driveC = fs::path(kWinePrefix) / "drive_c";
    const fs::path folder = driveC / "Program Files" / "Marevant";
    const fs::path menu =
        driveC / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "Marevant";
    ASSERT_EQ(0, RunUnderWine({kSetup, "/S"}));
    WineServer("-w");
    EXPECT_EQ((std::set<std::string>{"LIESMICH.txt", "Uninstall.exe", "marevant.exe"}), [&] {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }());
    EXPECT_TRUE(fs::exists(menu / "Marevant.lnk"));
    EXPECT_NE(ReadWholeFile(fs::path(kWinePrefix) / "system.reg").find("Uninstall\\\\Marevant"),
              std::string::npos);

    const std::string installed = (folder / "marevant.exe").string();
    fs::create_directory(base / "documents");
    windows.session.directory = (base / "documents").string();
    ASSERT_TRUE(StartSession(windows.session, installed.c_str()));
    EXPECT_TRUE(WaitForFrame(windows.session, InLobby, kFrameTimeoutMs, windows.last));
    ASSERT_TRUE(SendCloseRequest(windows.session));
    EXPECT_EQ(0, WaitForGameExit(windows.session, kExitTimeoutMs));

    ASSERT_EQ(0, RunUnderWine({(folder / "Uninstall.exe").string(), "/S"}));
    WineServer("-w");
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(menu));
    EXPECT_EQ(ReadWholeFile(fs::path(kWinePrefix) / "system.reg").find("Uninstall\\\\Marevant"),
              std::string::npos);
}

}  // namespace
}  // namespace e2e
