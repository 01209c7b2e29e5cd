// Two real copies of the game, server and client, each in its own X server,
// connected over loopback on port 9000 (run it in a private network namespace,
// as `make bench` does). Measures the time from the press of the button on a
// cell to the answer painted on both screens, over 50 shots; the CPU use and
// wake-ups of both copies idle in a running game; and a 1 MiB file sent from
// the client to the server: its wall time, the CPU use of both copies during
// it and the shots fired meanwhile. Prints the figures beside their goals;
// fails only when it cannot measure.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "bench/support/proc_stats.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/raw_peer.h"
#include "tests/e2e/x_harness.h"

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
constexpr std::size_t kFileBytes = 1 << 20;
constexpr int kShotsDuringTransfer = 10;  // fired in pairs, after the 50 above
constexpr int kTransferTimeoutS = 60;
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

bool FileComplete(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::file_size(path, error) == kFileBytes;
}

// The client offers the file, the server accepts it; shots fly meanwhile.
bool MeasureTransfer(Side& server, Side& client) {
    const std::filesystem::path source =
        std::filesystem::path(client.session.directory) / "datei.bin";
    std::ofstream(source, std::ios::binary) << std::string(kFileBytes, 'm');
    const auto offered = [](const e2e::Frame& f) { return e2e::LogShows(f, "j/n"); };
    if (!e2e::SendInputLine(client.session, "sendfile " + source.string(), client.last) ||
        !e2e::WaitForFrame(server.session, offered, kAnswerTimeoutMs, server.last) ||
        !e2e::SendInputLine(server.session, "j", server.last)) {
        return false;
    }
    const auto start = Clock::now();
    const bench::CpuSpan serverBefore = bench::ReadCpu(server.session.game);
    const bench::CpuSpan clientBefore = bench::ReadCpu(client.session.game);
    std::vector<double> times;
    if (!TimeShots(server, client, kShotsEach, kShotsDuringTransfer / 2, times)) return false;
    const std::filesystem::path target =
        std::filesystem::path(server.session.directory) / "datei.bin";
    while (!FileComplete(target) && Clock::now() - start < std::chrono::seconds(kTransferTimeoutS))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!FileComplete(target)) return false;
    std::sort(times.begin(), times.end());
    std::printf("1 MiB file, client to server: %.1f s from the answer to the last byte written\n",
                seconds);
    for (auto [side, before] :
         {std::pair{&server, serverBefore}, std::pair{&client, clientBefore}}) {
        const bench::CpuUse use =
            bench::CpuBetween(before, bench::ReadCpu(side->session.game), seconds);
        std::printf("  %s during the transfer: %.2f %% of one core (run time %.3f %%)\n",
                    side->name, use.tickPercent, use.runPercent);
    }
    std::printf("  %zu shots during the transfer: median %.1f ms, max %.1f ms\n", times.size(),
                Percentile(times, 0.5), times.back());
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
        measured = MeasureTransfer(server, client);
        if (measured) MeasureStorm(server);
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
