// Two real copies of the game, server and client, each in its own X server,
// connected over loopback on port 9000 (run it in a private network namespace,
// as `make bench` does). Measures the time from the press of the button on a
// cell to the answer painted on both screens, over 50 shots; the CPU use and
// wake-ups of both copies idle in a running game; a 256 MiB file sent from the
// client to the server beside a plain socket copy of the same file in the same
// run, the CPU of both copies and the shots fired meanwhile, then the same file
// and copy through a link of 1 Gbit/s; a storm of short-lived clients; and a
// 1 MiB file sent to a peer that does not greet (a raw socket, as a copy built
// only to the original wire), paced as such a peer expects. Prints the figures
// beside their goals; fails only when it cannot measure.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/support/plain_transfer.h"
#include "bench/support/proc_stats.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/raw_peer.h"
#include "tests/e2e/x_harness.h"
#include "tests/net/system.h"

namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr int kShotsEach = 25;  // 50 in all, none of them ending the game
// A player clicks no sooner than this after the last answer showed; a window shows at most one
// new picture per 16 ms, so shots fired back to back would measure that pace instead.
constexpr std::chrono::milliseconds kReaction{100};
constexpr int kIdleSeconds = 10;
constexpr int kAnswerTimeoutMs = 5000;
constexpr double kMedianGoalMs = 15.0;
constexpr double kPercentile95GoalMs = 30.0;
constexpr double kIdleGoalPercent = 0.5;
constexpr double kPercentile95 = 0.95;
constexpr std::size_t kPlainFileBytes = 1 << 20;
constexpr std::size_t kBigFileBytes = std::size_t{256} << 20;
constexpr int kBigTransfers = 5;
// The file takes a fraction of a second, so it is sent again until the players, clicking at
// their usual pace, have fired this often while it moved.
constexpr std::size_t kShotsDuringFiles = 40;
constexpr int kMostShotTransfers = 40;
constexpr int kTransferTimeoutS = 60;
constexpr double kTransferShare = 0.5;
constexpr double kTransferP95GoalMs = 5.0;
constexpr char kPlainOfferPrefix[] = "DATA:klein.bin?";
// A LAN of 1 Gbit/s: a shaper on the loopback interface, set up only inside the bench's private
// network namespace, where nothing else shares it.
constexpr char kShapeLink[] =
    "tc qdisc add dev lo root tbf rate 1gbit burst 512kb latency 20ms 2>/dev/null";
constexpr char kUnshapeLink[] = "tc qdisc del dev lo root 2>/dev/null";
constexpr char kPrivateNamespace[] = "MAREVANT_PRIVATE_NETNS";
constexpr int kStormClients = 1000;

using Clock = std::chrono::steady_clock;

struct Side {
    const char* name;
    e2e::Session session;
    e2e::Frame last;
};

bool PixelIs(e2e::Session& session, int x, int y, std::uint32_t colour) {
    std::uint32_t rgb = 0;
    return e2e::ReadOnePixel(session, x, y, rgb) && rgb == colour;
}

// Milliseconds from the press to the answer on both screens; -1 on time-out.
double TimeOneShot(Side& shooter, Side& target, int column, int row) {
    if (!e2e::MovePointer(shooter.session, e2e::CellCentre(column), e2e::CellCentre(row)))
        return -1;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(kAnswerTimeoutMs);
    if (!e2e::PressButton(shooter.session, e2e::Button::kLeft)) return -1;
    bool shooterSees = false, targetSees = false;
    while ((!shooterSees || !targetSees) && Clock::now() < deadline) {
        shooterSees =
            shooterSees || PixelIs(shooter.session, 25 * column + 1, 25 * row + 1, e2e::kBluePixel);
        targetSees = targetSees ||
                     PixelIs(target.session, 12 * column - 11, 12 * row + 269, e2e::kBluePixel);
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    e2e::ReleaseButton(shooter.session, e2e::Button::kLeft);
    return shooterSees && targetSees ? ms : -1;
}

double Percentile(const std::vector<double>& sorted, double share) {
    return sorted[static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1))];
}

// The server has placed its fleet and waits for the client's Ready: every
// thread sleeps until input or a message comes.
void MeasureWaitingForOpponent(Side& server) {
    // The ReadyWorker ends after its Ready; its switches must not leave the sum.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const bench::CpuSpan before = bench::ReadCpu(server.session.game);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const bench::CpuUse use =
        bench::CpuBetween(before, bench::ReadCpu(server.session.game), kIdleSeconds);
    std::printf(
        "server waiting for the opponent's Ready over %d s: %lld voluntary context switches "
        "(goal: 0, %s), %.3f %% of one core\n",
        kIdleSeconds, use.switches, use.switches == 0 ? "ok" : "OVER GOAL", use.runPercent);
    std::fflush(stdout);
}

bool Connect(Side& server, Side& client) {
    const bool placed = e2e::StartSession(server.session, kGameBinary) &&
                        e2e::StartSession(client.session, kGameBinary) &&
                        e2e::StartServerGame(server.session, server.last) &&
                        e2e::StartClientGame(client.session, client.last) &&
                        e2e::AwaitConnection(server.session, '1', server.last) &&
                        e2e::AwaitConnection(client.session, '2', client.last) &&
                        e2e::PlaceFleet(server.session, e2e::kServerFleet, server.last);
    if (!placed) return false;
    MeasureWaitingForOpponent(server);
    return e2e::PlaceFleet(client.session, e2e::kClientFleet, client.last) &&
           e2e::WaitForFrame(
               client.session,
               [](const e2e::Frame& f) { return e2e::PhaseShows(f, 288, "Spiel startet"); },
               e2e::kNextGameTimeoutMs, client.last);
}

std::size_t Entries(const std::filesystem::path& directory) {
    std::error_code error;
    std::size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(directory, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

// A thousand clients connect and drop while the game runs; the server refuses
// each at once.
void MeasureStorm(Side& server) {
    const std::filesystem::path process = "/proc/" + std::to_string(server.session.game);
    const std::size_t descriptors = Entries(process / "fd");
    const std::size_t threads = Entries(process / "task");
    const auto start = Clock::now();
    for (int i = 0; i < kStormClients; ++i)
        e2e::ConnectAndDrop(e2e::kGamePort, i % 2 == 1);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf(
        "%d clients connecting and dropping in %.1f s: server descriptors %zu before, %zu "
        "after; threads %zu before, %zu after\n",
        kStormClients, seconds, descriptors, Entries(process / "fd"), threads,
        Entries(process / "task"));
}

// Both sides fire at water only, in turn, the client first, at the cells
// `first` to `first + pairs - 1` of the other's water.
bool TimeShots(Side& server, Side& client, int first, int pairs, std::vector<double>& times) {
    const auto serverWater = e2e::WaterOf(e2e::kServerFleet);
    const auto clientWater = e2e::WaterOf(e2e::kClientFleet);
    for (int i = first; i < first + pairs; ++i) {
        for (auto [shooter, target, cell] : {std::tuple{&client, &server, serverWater[i]},
                                             std::tuple{&server, &client, clientWater[i]}}) {
            std::this_thread::sleep_for(kReaction);
            const double ms = TimeOneShot(*shooter, *target, cell.first, cell.second);
            if (ms < 0) {
                std::fprintf(stderr, "bench_match: no answer to %s's shot\n", shooter->name);
                return false;
            }
            times.push_back(ms);
        }
    }
    std::sort(times.begin(), times.end());
    return true;
}

void PrintShots(const std::vector<double>& sorted) {
    const double median = Percentile(sorted, 0.5);
    const double p95 = Percentile(sorted, kPercentile95);
    std::printf(
        "click to answer on both screens, %zu shots: min %.1f ms, median %.1f ms, "
        "95th percentile %.1f ms, max %.1f ms  (goal: median at most %.0f ms and 95th "
        "percentile at most %.0f ms, %s)\n",
        sorted.size(), sorted.front(), median, p95, sorted.back(), kMedianGoalMs,
        kPercentile95GoalMs,
        median <= kMedianGoalMs && p95 <= kPercentile95GoalMs ? "ok" : "OVER GOAL");
}

void MeasureIdle(Side& server, Side& client) {
    const bench::CpuSpan serverBefore = bench::ReadCpu(server.session.game);
    const bench::CpuSpan clientBefore = bench::ReadCpu(client.session.game);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    for (auto [side, before] :
         {std::pair{&server, serverBefore}, std::pair{&client, clientBefore}}) {
        const bench::CpuUse use =
            bench::CpuBetween(before, bench::ReadCpu(side->session.game), kIdleSeconds);
        std::printf(
            "%s idle in a running game over %d s: %.2f %% of one core (run time %.3f %%), "
            "%lld voluntary context switches  (goal: under %.1f %%, %s)\n",
            side->name, kIdleSeconds, use.tickPercent, use.runPercent, use.switches,
            kIdleGoalPercent, use.tickPercent < kIdleGoalPercent ? "ok" : "OVER GOAL");
    }
}

std::filesystem::path ScratchDirectory(const char* name) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "marevant-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return {};
    const std::filesystem::path path = std::filesystem::path(pattern) / name;
    std::filesystem::create_directory(path);
    return path;
}

bool FileIs(const std::filesystem::path& path, std::size_t size) {
    std::error_code error;
    return std::filesystem::file_size(path, error) == size;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The same bytes through a plain loopback socket, read from disk and written to disk in pieces
// of 64 KiB: what the machine does without the game.
double PlainCopySeconds(const std::filesystem::path& source, const std::filesystem::path& target) {
    std::uint16_t port = 0;
    const int listener = nettest::ListenLoopback(port);
    const auto start = Clock::now();
    std::thread receiver([&] {
        const int socket = nettest::AcceptOne(listener);
        bench::ReceiveFileRaw(socket, target);
        nettest::RawClose(socket);
    });
    const int socket = nettest::ConnectLoopback(port);
    bench::SendFileRaw(socket, source);
    nettest::RawClose(socket);
    receiver.join();
    nettest::RawClose(listener);
    return Seconds(start);
}

// Fires in turn at a player's pace until `done` holds; a shot counts when the file still moved
// as it was fired. Both players fire each round, so the turn is the same at the next start.
bool ShootWhile(Side& server, Side& client, const std::function<bool()>& done,
                std::vector<double>& times, int& next) {
    const auto serverWater = e2e::WaterOf(e2e::kServerFleet);
    const auto clientWater = e2e::WaterOf(e2e::kClientFleet);
    while (!done() && next < static_cast<int>(serverWater.size())) {
        for (auto [shooter, target, cell] : {std::tuple{&client, &server, serverWater[next]},
                                             std::tuple{&server, &client, clientWater[next]}}) {
            std::this_thread::sleep_for(kReaction);
            const bool moving = !done();
            const double ms = TimeOneShot(*shooter, *target, cell.first, cell.second);
            if (ms < 0) return false;
            if (moving) times.push_back(ms);
        }
        ++next;
    }
    return true;
}

// The client offers `source`, the server accepts it; the time runs from the answer to the
// file under its name, whole. With `times`, the players fire meanwhile.
bool SendBig(Side& server, Side& client, const std::filesystem::path& source,
             std::vector<double>* times, int& shot, double& seconds) {
    const std::filesystem::path target =
        std::filesystem::path(server.session.directory) / source.filename();
    std::filesystem::remove(target);
    const auto offered = [](const e2e::Frame& f) { return e2e::LogShows(f, "j/n"); };
    if (!e2e::SendInputLine(client.session, "sendfile " + source.string(), client.last) ||
        !e2e::WaitForFrame(server.session, offered, kAnswerTimeoutMs, server.last) ||
        !e2e::SendInputLine(server.session, "j", server.last)) {
        return false;
    }
    const auto start = Clock::now();
    const auto arrived = [&] {
        return FileIs(target, kBigFileBytes) || Seconds(start) > kTransferTimeoutS;
    };
    if (times != nullptr && !ShootWhile(server, client, arrived, *times, shot)) return false;
    while (!arrived())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    seconds = Seconds(start);
    return FileIs(target, kBigFileBytes);
}

// Adds what `side` used since `before` to `sum`.
void AddCpu(bench::CpuSpan& sum, Side& side, const bench::CpuSpan& before) {
    const bench::CpuSpan now = bench::ReadCpu(side.session.game);
    sum.ticks += now.ticks - before.ticks;
    sum.runNs += now.runNs - before.runNs;
    sum.switches += now.switches - before.switches;
}

void PrintCpu(const char* when, Side& side, const bench::CpuSpan& used, double seconds) {
    const bench::CpuUse use = bench::CpuBetween(bench::CpuSpan{0, 0, 0}, used, seconds);
    std::printf("  %s %s: %.1f %% of one core (run time %.1f %%)\n", side.name, when,
                use.tickPercent, use.runPercent);
}

// The file once more through a link of 1 Gbit/s, beside the plain copy through the same link,
// with the players firing meanwhile: between two machines the link, not the game, should set
// the pace, and a shot should not queue long behind the file.
bool MeasureLinkTransfer(Side& server, Side& client, const std::filesystem::path& source,
                         int& shot) {
    const char* space = std::getenv(kPrivateNamespace);
    if (space == nullptr || std::string_view(space) != "1" || std::system(kShapeLink) != 0) {
        std::printf(
            "256 MiB through a 1 Gbit/s link: not measured (needs a private network "
            "namespace and tc)\n");
        return true;
    }
    const std::filesystem::path copy =
        std::filesystem::path(server.session.directory) / "kopie.bin";
    const double plain = PlainCopySeconds(source, copy);
    std::filesystem::remove(copy);
    std::vector<double> times;
    double seconds = 0;
    const bool sent = SendBig(server, client, source, &times, shot, seconds);
    std::system(kUnshapeLink);
    if (!sent) return false;
    std::sort(times.begin(), times.end());
    const double mib = static_cast<double>(kBigFileBytes >> 20);
    std::printf(
        "256 MiB through a 1 Gbit/s link: %.0f MiB/s; plain socket copy %.0f MiB/s; %.0f %% of "
        "its rate; %zu shots meanwhile: median %.1f ms, 95th percentile %.1f ms\n",
        mib / seconds, mib / plain, 100 * plain / seconds, times.size(),
        times.empty() ? -1 : Percentile(times, 0.5),
        times.empty() ? -1 : Percentile(times, kPercentile95));
    return true;
}

// A file of 256 MiB between the two copies, beside a plain socket copy of it: the best of
// kBigTransfers of each for the rates (this machine's memory and neighbours slow single runs of
// either by half at times), the CPU over them all, then the file again while the players fire,
// for the time a click takes, and through a slower link.
bool MeasureBigTransfer(Side& server, Side& client) {
    const std::filesystem::path source =
        std::filesystem::path(client.session.directory) / "gross.bin";
    if (!bench::WriteTransferFile(source, kBigFileBytes)) return false;
    const std::filesystem::path copy =
        std::filesystem::path(server.session.directory) / "kopie.bin";
    double plain = 1e9, fastest = 1e9, total = 0, seconds = 0;
    bench::CpuSpan serverUse{0, 0, 0}, clientUse{0, 0, 0};
    int shot = kShotsEach;
    // Turn about, so that whatever else the machine does meanwhile weighs on both alike.
    for (int i = 0; i < kBigTransfers; ++i) {
        plain = std::min(plain, PlainCopySeconds(source, copy));
        std::filesystem::remove(copy);
        const bench::CpuSpan serverBefore = bench::ReadCpu(server.session.game);
        const bench::CpuSpan clientBefore = bench::ReadCpu(client.session.game);
        if (!SendBig(server, client, source, nullptr, shot, seconds)) return false;
        AddCpu(serverUse, server, serverBefore);
        AddCpu(clientUse, client, clientBefore);
        fastest = std::min(fastest, seconds);
        total += seconds;
    }
    const double mib = static_cast<double>(kBigFileBytes >> 20);
    const double share = plain / fastest;
    std::printf(
        "256 MiB file, client to server, best of %d: %.2f s, %.0f MiB/s; plain socket copy: "
        "%.2f s, %.0f MiB/s; %.0f %% of the plain copy's rate  (goal: at least %.0f %%, %s)\n",
        kBigTransfers, fastest, mib / fastest, plain, mib / plain, 100 * share,
        100 * kTransferShare, share >= kTransferShare ? "ok" : "UNDER GOAL");
    PrintCpu("over the transfers", server, serverUse, total);
    PrintCpu("over the transfers", client, clientUse, total);
    std::vector<double> times;
    for (int i = 0; i < kMostShotTransfers && times.size() < kShotsDuringFiles; ++i) {
        if (!SendBig(server, client, source, &times, shot, seconds)) return false;
    }
    std::sort(times.begin(), times.end());
    const double p95 = times.empty() ? -1 : Percentile(times, kPercentile95);
    std::printf(
        "  %zu shots while the files moved: median %.1f ms, 95th percentile %.1f ms  (goal: "
        "95th percentile under %.0f ms, %s)\n",
        times.size(), times.empty() ? -1 : Percentile(times, 0.5), p95, kTransferP95GoalMs,
        p95 >= 0 && p95 < kTransferP95GoalMs ? "ok" : "OVER GOAL");
    return MeasureLinkTransfer(server, client, source, shot);
}

// The server's opponent leaves; a raw socket that does not greet takes its place and accepts
// a 1 MiB file: it comes in chunks 100 ms apart, as such a peer expects.
bool MeasurePlainPeerTransfer(Side& server, Side& client) {
    e2e::EndSession(client.session);
    int raw = e2e::ConnectRawPeer(e2e::kGamePort, e2e::kConnectTimeoutMs);
    const std::filesystem::path source =
        std::filesystem::path(server.session.directory) / "klein.bin";
    std::ofstream(source, std::ios::binary) << std::string(kPlainFileBytes, 'm');
    const std::string offer = kPlainOfferPrefix + std::to_string(kPlainFileBytes);
    const bool offered =
        raw >= 0 && e2e::TakeGreeting(raw, kAnswerTimeoutMs) &&
        e2e::AwaitConnection(server.session, '1', server.last) &&
        e2e::SendInputLine(server.session, "sendfile " + source.string(), server.last) &&
        e2e::ReadRaw(raw, offer.size(), kAnswerTimeoutMs) == offer && e2e::SendRaw(raw, "SYST:j");
    const auto start = Clock::now();
    const std::size_t got =
        offered ? e2e::ReadRaw(raw, kPlainFileBytes, kTransferTimeoutS * 1000).size() : 0;
    const double seconds = Seconds(start);
    e2e::CloseRaw(raw);
    if (got != kPlainFileBytes) return false;
    std::printf(
        "1 MiB file to a peer that does not greet: %.1f s (%.0f KB/s), paced as it expects\n",
        seconds, static_cast<double>(kPlainFileBytes) / 1000 / seconds);
    return true;
}

// One receive on `socket` with the time the system took its bytes in: what came, and how many
// microseconds passed between their arrival and this program reading them.
std::string ReceiveStamped(int socket, double& readDelayUs, timespec& arrived) {
    char data[256];
    char control[CMSG_SPACE(sizeof(timespec))];
    iovec part{data, sizeof data};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(socket, &header, 0);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS)
            std::memcpy(&arrived, CMSG_DATA(c), sizeof arrived);
    }
    readDelayUs = (now.tv_sec - arrived.tv_sec) * 1e6 + (now.tv_nsec - arrived.tv_nsec) / 1e3;
    return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

// A peer that does not greet reads our greeting as a block of its own: it reads it within
// microseconds of its arrival, and the next bytes (the answer to an offer it sends at once) come
// only after the greeting was acknowledged and the pause passed. Ten connections in a row.
bool MeasureGreetingMargin(Side& server) {
    constexpr int kConnections = 10;
    constexpr double kUsPerMs = 1000.0;
    double slowestReadUs = 0, shortestGapMs = 1e9;
    for (int i = 0; i < kConnections; ++i) {
        // The server takes the next client once it has seen the last one go.
        e2e::WaitForFrame(server.session, e2e::Disconnected, kAnswerTimeoutMs, server.last);
        int raw = e2e::ConnectRawPeer(e2e::kGamePort, e2e::kConnectTimeoutMs);
        const int on = 1;
        if (raw < 0 || setsockopt(raw, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0)
            return false;
        double readUs = 0, unused = 0;
        timespec greeted{}, answered{};
        const bool alone = ReceiveStamped(raw, readUs, greeted) == e2e::kGreeting;
        const bool refused =
            e2e::SendRaw(raw, "DATA:../x?1") && ReceiveStamped(raw, unused, answered) == "SYST:n";
        e2e::CloseRaw(raw);
        if (!alone || !refused) return false;
        slowestReadUs = std::max(slowestReadUs, readUs);
        shortestGapMs = std::min(shortestGapMs, (answered.tv_sec - greeted.tv_sec) * kUsPerMs +
                                                    (answered.tv_nsec - greeted.tv_nsec) / 1e6);
    }
    std::printf(
        "greeting, %d connections of a peer that does not greet: always a block of its own, read "
        "at most %.0f us after it arrived; the next bytes came at least %.0f ms after it\n",
        kConnections, slowestReadUs, shortestGapMs);
    return true;
}

// A lobby on one machine of a LAN (two namespaces joined by a veth pair), a server started on
// the other: the time from the server's "Server bereit" to the lobby's "Server gefunden". Five
// servers one after the other.
bool MeasureDiscovery() {
    constexpr int kServers = 5;
    constexpr char kFound[] = "Server gefunden: 10.78.0.1";
    const std::string name = "mvbench" + std::to_string(getpid());
    const std::string pair = std::string(MAREVANT_LAN_PAIR) + " ";
    if (std::system((pair + "up " + name + " >/dev/null 2>&1").c_str()) != 0) return false;
    const int serverSpace = open(("/var/run/netns/" + name + "-a").c_str(), O_RDONLY | O_CLOEXEC);
    const int lobbySpace = open(("/var/run/netns/" + name + "-b").c_str(), O_RDONLY | O_CLOEXEC);
    Side lobby{"lobby", {}, {}};
    lobby.session.networkNamespaceFd = lobbySpace;
    bool measured = e2e::StartSession(lobby.session, kGameBinary);
    double slowest = 0, total = 0;
    for (int i = 0; i < kServers && measured; ++i) {
        Side server{"server", {}, {}};
        server.session.networkNamespaceFd = serverSpace;
        measured = e2e::StartSession(server.session, kGameBinary) &&
                   e2e::StartServerGame(server.session, server.last);
        const auto ready = Clock::now();
        measured =
            measured && e2e::WaitForFrame(
                            lobby.session,
                            [&](const e2e::Frame& f) { return e2e::LastLogLineShows(f, kFound); },
                            kAnswerTimeoutMs, lobby.last);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - ready).count();
        slowest = std::max(slowest, ms);
        total += ms;
        e2e::EndSession(server.session);
        // Silent for longer than the lobby remembers, so the next server is listed anew.
        std::this_thread::sleep_for(std::chrono::milliseconds(5500));
    }
    e2e::EndSession(lobby.session);
    close(serverSpace);
    close(lobbySpace);
    std::system((pair + "down " + name + " >/dev/null 2>&1").c_str());
    if (!measured) return false;
    std::printf(
        "from \"Server bereit\" to \"Server gefunden\" on a LAN, %d servers: mean %.0f ms, "
        "slowest %.0f ms\n",
        kServers, total / kServers, slowest);
    return true;
}

}  // namespace

int main() {
    Side server{"server", {}, {}};
    Side client{"client", {}, {}};
    server.session.directory = ScratchDirectory("server").string();
    client.session.directory = ScratchDirectory("client").string();
    std::vector<double> times;
    bool measured = Connect(server, client) && TimeShots(server, client, 0, kShotsEach, times);
    if (measured) {
        PrintShots(times);
        std::fflush(stdout);
        MeasureIdle(server, client);
        measured = MeasureBigTransfer(server, client);
        if (measured) MeasureStorm(server);
        measured =
            measured && MeasurePlainPeerTransfer(server, client) && MeasureGreetingMargin(server);
        e2e::EndSession(server.session);
        measured = measured && MeasureDiscovery();
    }
    if (!measured) {
        std::fprintf(stderr, "bench_match: the two copies could not be brought into a game\n");
    }
    e2e::EndSession(server.session);
    e2e::EndSession(client.session);
    for (Side* side : {&server, &client})
        std::filesystem::remove_all(std::filesystem::path(side->session.directory).parent_path());
    return measured ? 0 : 1;
}
