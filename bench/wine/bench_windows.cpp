// The Windows program under Wine beside the floor, a minimal Win32 program with one window of
// the same size, both in a private X server: the time from the start to the window being
// viewable, resident memory, CPU use and wake-ups while idle, and the size of each file. Wine's
// own share shows in the floor. Prints the figures; fails only when it cannot measure.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/proc_stats.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/x_harness.h"

namespace {

constexpr int kStartRuns = 5;
constexpr int kSettleSeconds = 5;
constexpr int kIdleSeconds = 10;
constexpr int kExitTimeoutMs = 10000;
constexpr double kKiBPerMiB = 1024.0;

using Clock = std::chrono::steady_clock;

struct Program {
    const char* name;
    const char* binary;
    const char* windowClass;  // Wine names it after the file
};

const Program kPrograms[] = {
    {"floor (minimal Win32 window)", MAREVANT_FLOOR_BINARY, "floor_window.exe"},
    {"marevant.exe", MAREVANT_WINDOWS_BINARY, "marevant.exe"},
};

void StopWineServer() {
    std::system((std::string("WINEPREFIX=") + MAREVANT_WINE_PREFIX + " wineserver -k 2>/dev/null")
                    .c_str());
}

// Milliseconds from the start to the viewable window; -1 when it does not come.
double TimeOneStart(e2e::Session& session, const Program& program) {
    const auto start = Clock::now();
    if (!e2e::StartGame(session, program.binary) ||
        !e2e::FindWindowByClass(session, program.windowClass, program.windowClass)) {
        return -1;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Close(e2e::Session& session) {
    if (!e2e::SendCloseRequest(session) || e2e::WaitForGameExit(session, kExitTimeoutMs) != 0)
        e2e::StopChild(session.game, false);
    session.game = -1;
}

// The last start stays running for the idle figures.
bool MeasureStarts(e2e::Session& session, const Program& program) {
    std::vector<double> times;
    for (int run = 0; run < kStartRuns; ++run) {
        const double ms = TimeOneStart(session, program);
        if (ms < 0) return false;
        times.push_back(ms);
        if (run + 1 < kStartRuns) Close(session);
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: start to viewable window, %d runs with Wine's server running: min %.0f ms, "
                "median %.0f ms, max %.0f ms\n",
                program.name, kStartRuns, times.front(), times[times.size() / 2], times.back());
    return true;
}

bool MeasureIdle(e2e::Session& session, const Program& program) {
    std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
    const long kib = bench::ResidentKiB(session.game);
    const bench::CpuSpan before = bench::ReadCpu(session.game);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const bench::CpuUse use =
        bench::CpuBetween(before, bench::ReadCpu(session.game), kIdleSeconds);
    if (kib < 0 || use.switches < 0) return false;
    std::printf("%s: resident %.1f MiB; idle over %d s: %.3f %% of one core, %lld voluntary "
                "context switches; file %.0f KiB\n",
                program.name, kib / kKiBPerMiB, kIdleSeconds, use.runPercent, use.switches,
                std::filesystem::file_size(program.binary) / kKiBPerMiB);
    return true;
}

bool Measure(const Program& program) {
    e2e::Session session;
    const bool measured = e2e::StartXServer(session.server) && e2e::ConnectToServer(session) &&
                          MeasureStarts(session, program) && MeasureIdle(session, program);
    if (session.game > 0) Close(session);
    e2e::EndSession(session);
    return measured;
}

}  // namespace

int main() {
    for (const Program& program : kPrograms) {
        if (!std::filesystem::exists(program.binary)) {
            std::fprintf(stderr, "bench_windows: %s is missing (make windows-for-tests)\n",
                         program.binary);
            return 1;
        }
    }
    StopWineServer();
    bool measured = true;
    for (const Program& program : kPrograms)
        measured = measured && Measure(program);
    StopWineServer();
    if (!measured) std::fprintf(stderr, "bench_windows: a program could not be measured\n");
    return measured ? 0 : 1;
}
