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

#include "tests/e2e/child_process.h"
#include "tests/e2e/x_harness.h"

namespace {

constexpr char kGameBinary[] = MAREVANT_BINARY;
constexpr int kStartRuns = 10;
constexpr int kMapTimeoutMs = 15000;
constexpr int kSettleSeconds = 5;  // in the lobby before memory is read
constexpr int kIdleSeconds = 10;   // the span the idle CPU time is taken over
constexpr double kMapBudgetMs = 100.0;
constexpr double kResidentBudgetMiB = 10.0;
constexpr double kIdleCpuBudgetPercent = 0.5;
constexpr double kKiBPerMiB = 1024.0;
constexpr double kPercent = 100.0;
constexpr double kNanosecondsPerSecond = 1e9;
// /proc/<pid>/stat after the ")" that ends the command name: field 3 (state)
// comes first, so utime (field 14) and stime (field 15) are the 12th and 13th.
constexpr int kUtimeAfterName = 11;

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

// VmRSS in KiB, or -1 when the process is gone.
long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        long kib = -1;
        if (std::sscanf(line.c_str(), "VmRSS: %ld kB", &kib) == 1) return kib;
    }
    return -1;
}

// utime + stime of all the process's threads, in clock ticks; -1 when gone.
long CpuTicks(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) return -1;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string skipped;
    for (int i = 0; i < kUtimeAfterName; ++i)
        fields >> skipped;
    long utime = -1, stime = -1;
    fields >> utime >> stime;
    return fields ? utime + stime : -1;
}

// Time on a CPU of all the process's threads in nanoseconds, from the
// scheduler's own accounting: finer than the clock ticks of utime and
// stime, which are only sampled; -1 when unavailable.
long long RunNanoseconds(pid_t pid) {
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    long long total = 0;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        long long onCpu = -1;
        if (!(schedstat >> onCpu)) return -1;
        total += onCpu;
    }
    return error ? -1 : total;
}

void Sleep(int seconds) {
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

void PrintIdle(double residentMiB, double tickPercent, double runPercent) {
    std::printf("resident memory after %d s in the lobby: %.2f MiB  (budget: under %.0f MiB, %s)\n",
                kSettleSeconds, residentMiB, kResidentBudgetMiB,
                Verdict(residentMiB, kResidentBudgetMiB).c_str());
    std::printf(
        "CPU time idle in the lobby over %d s: %.2f %% of one core"
        "  (budget: under %.1f %%, %s)\n",
        kIdleSeconds, tickPercent, kIdleCpuBudgetPercent,
        Verdict(tickPercent, kIdleCpuBudgetPercent).c_str());
    if (runPercent >= 0) {
        std::printf("  the same from the scheduler's nanosecond run time: %.3f %%\n", runPercent);
    }
}

// One long run: memory after settling, then CPU time over the idle span.
bool MeasureIdle(e2e::Session& session) {
    if (TimeOneStart(session) < 0) return false;
    Sleep(kSettleSeconds);
    const long kib = ResidentKiB(session.game);
    const long ticksBefore = CpuTicks(session.game);
    const long long runBefore = RunNanoseconds(session.game);
    Sleep(kIdleSeconds);
    const long ticksAfter = CpuTicks(session.game);
    const long long runAfter = RunNanoseconds(session.game);
    if (kib < 0 || ticksBefore < 0 || ticksAfter < 0) return false;
    const double tickSeconds =
        static_cast<double>(ticksAfter - ticksBefore) / static_cast<double>(sysconf(_SC_CLK_TCK));
    const double runSeconds = static_cast<double>(runAfter - runBefore) / kNanosecondsPerSecond;
    const bool haveRun = runBefore >= 0 && runAfter >= 0;
    PrintIdle(kib / kKiBPerMiB, kPercent * tickSeconds / kIdleSeconds,
              haveRun ? kPercent * runSeconds / kIdleSeconds : -1.0);
    return true;
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
    if (MeasureIdle(session)) return true;
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
