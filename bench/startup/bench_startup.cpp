// Start-up benchmark of the real game binary in a private X server: the time
// from exec to its window being mapped, its resident memory in the lobby and
// its CPU load while it idles there. Prints the figures beside their budgets
// and never fails on a budget, only when it cannot measure at all. Never
// sends input to the game.
#include <X11/Xlib.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/proc_stats.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/x_harness.h"

namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr int kStartRuns = 10;
constexpr int kMapTimeoutMs = 15000;
constexpr int kSettleSeconds = 5;  // in the lobby before memory is read
constexpr int kIdleSeconds = 10;   // the span the idle CPU time is taken over
constexpr int kPhaseSettleSeconds = 1;
constexpr double kMapBudgetMs = 100.0;
constexpr double kResidentBudgetMiB = 10.0;
constexpr double kIdleCpuBudgetPercent = 0.5;
constexpr double kKiBPerMiB = 1024.0;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool NextMapNotify(Display* display, Clock::time_point deadline) {
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify) return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        poll(&connection, 1, static_cast<int>(left.count()));
    }
}

// Starts the game, times it up to the MapNotify of its window; -1 on time-out.
double TimeOneStart(e2e::Session& session) {
    XSync(session.connection, True);  // drop the events of earlier runs
    const Clock::time_point start = Clock::now();
    if (!e2e::StartGame(session, kGameBinary)) return -1.0;
    const auto deadline = start + std::chrono::milliseconds(kMapTimeoutMs);
    const bool mapped = NextMapNotify(session.connection, deadline);
    const double elapsed = MillisecondsSince(start);
    return mapped ? elapsed : -1.0;
}

bool MeasureStarts(e2e::Session& session, std::vector<double>& times) {
    for (int run = 0; run < kStartRuns; ++run) {
        const double ms = TimeOneStart(session);
        e2e::StopChild(session.game, false);
        if (ms < 0) return false;
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    return true;
}

std::string Verdict(double value, double budget) {
    return value < budget ? "ok" : "OVER BUDGET";
}

void PrintStarts(const std::vector<double>& sorted) {
    const double median = sorted.size() % 2 == 1
                              ? sorted[sorted.size() / 2]
                              : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
    std::printf(
        "exec to window mapped, %zu runs: min %.1f ms, median %.1f ms, max %.1f ms"
        "  (budget: within %.0f ms, slowest %s)\n",
        sorted.size(), sorted.front(), median, sorted.back(), kMapBudgetMs,
        Verdict(sorted.back(), kMapBudgetMs).c_str());
}

void Sleep(int seconds) {
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

void PrintIdle(double residentMiB, const bench::CpuUse& use) {
    std::printf("resident memory after %d s in the lobby: %.2f MiB  (budget: under %.0f MiB, %s)\n",
                kSettleSeconds, residentMiB, kResidentBudgetMiB,
                Verdict(residentMiB, kResidentBudgetMiB).c_str());
    std::printf(
        "CPU time idle in the lobby over %d s: %.2f %% of one core"
        "  (budget: under %.1f %%, %s)\n",
        kIdleSeconds, use.tickPercent, kIdleCpuBudgetPercent,
        Verdict(use.tickPercent, kIdleCpuBudgetPercent).c_str());
    if (use.runPercent >= 0) {
        std::printf("  the same from the scheduler's nanosecond run time: %.3f %%\n",
                    use.runPercent);
    }
    std::printf("voluntary context switches of all threads idle in the lobby over %d s: %lld\n",
                kIdleSeconds, use.switches);
}

// One long run: memory after settling, then CPU time over the idle span.
bool MeasureIdle(e2e::Session& session) {
    if (TimeOneStart(session) < 0) return false;
    Sleep(kSettleSeconds);
    const long kib = bench::ResidentKiB(session.game);
    const bench::CpuSpan before = bench::ReadCpu(session.game);
    Sleep(kIdleSeconds);
    const bench::CpuSpan after = bench::ReadCpu(session.game);
    if (kib < 0 || before.ticks < 0 || after.ticks < 0) return false;
    PrintIdle(kib / kKiBPerMiB, bench::CpuBetween(before, after, kIdleSeconds));
    return true;
}

// Wake-ups of all threads while the game waits for the player in `phase`.
bool PrintWakeUps(e2e::Session& session, const char* phase) {
    Sleep(kPhaseSettleSeconds);
    const bench::CpuSpan before = bench::ReadCpu(session.game);
    Sleep(kIdleSeconds);
    const bench::CpuUse use = bench::CpuBetween(before, bench::ReadCpu(session.game), kIdleSeconds);
    if (use.switches < 0) return false;
    std::printf(
        "voluntary context switches of all threads %s over %d s: %lld (goal: 0), CPU %.3f %%\n",
        phase, kIdleSeconds, use.switches, use.runPercent);
    std::fflush(stdout);
    return true;
}

// Into the match against the computer: idle while placing ships, then idle on
// the player's turn with the whole fleet placed.
bool MeasureComputerMatch(e2e::Session& session) {
    e2e::Frame last;
    const auto playing = [](const e2e::Frame& f) {
        return e2e::PhaseShows(f, 288, "Spiel startet");
    };
    if (!e2e::FindWindowByClass(session, "marevant", "Marevant") || !e2e::FocusWindow(session) ||
        !e2e::ClickUntil(
            session, 340, 172, e2e::Button::kLeft,
            [](const e2e::Frame& f) { return !e2e::InLobby(f); }, last) ||
        !e2e::TypeText(session, "ki", 0) || !e2e::PressNamedKey(session, "Return") ||
        !e2e::WaitForFrame(session, e2e::Placing, kMapTimeoutMs, last)) {
        return false;
    }
    if (!PrintWakeUps(session, "while placing ships against the computer")) return false;
    return e2e::PlaceFleet(session, e2e::kServerFleet, last) &&
           e2e::WaitForFrame(session, playing, kMapTimeoutMs, last) &&
           PrintWakeUps(session, "on the player's turn against the computer");
}

bool RunBenchmark(e2e::Session& session) {
    if (!e2e::StartXServer(session.server) || !e2e::ConnectToServer(session)) {
        std::fprintf(stderr, "bench_startup: no private X server (is Xvfb installed?)\n");
        return false;
    }
    XSelectInput(session.connection, DefaultRootWindow(session.connection), SubstructureNotifyMask);
    std::printf("start-up of %s in a private X server\n", kGameBinary);
    std::vector<double> times;
    if (!MeasureStarts(session, times)) {
        std::fprintf(stderr, "bench_startup: the game window was not mapped in time\n");
        return false;
    }
    PrintStarts(times);
    std::fflush(stdout);
    if (MeasureIdle(session) && MeasureComputerMatch(session)) return true;
    std::fprintf(stderr, "bench_startup: the game ended before it could be measured\n");
    return false;
}

}  // namespace

int main() {
    e2e::Session session;
    const bool measured = RunBenchmark(session);
    e2e::EndSession(session);
    return measured ? 0 : 1;
}
