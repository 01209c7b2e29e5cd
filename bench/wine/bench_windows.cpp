// The Windows program under Wine beside the floor, a minimal Win32 program with one window of
// the same size, both in a private X server: the time from the start to the window being
// viewable, resident memory, CPU use and wake-ups while idle, and the size of each file. Wine's
// own share shows in the floor. Then a file each way between the Windows program and the Linux
// program over loopback (port 9000: run it in a private network namespace, as `make bench`
// does), beside a plain Winsock copy under Wine of the same file each way. Prints the figures;
// fails only when it cannot measure.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/plain_transfer.h"
#include "bench/support/proc_stats.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/match_driver.h"
#include "tests/e2e/x_harness.h"
#include "tests/net/system.h"

namespace {

constexpr int kStartRuns = 5;
constexpr int kSettleSeconds = 5;
constexpr int kIdleSeconds = 10;
constexpr int kExitTimeoutMs = 10000;
constexpr double kKiBPerMiB = 1024.0;
constexpr char kLinuxBinary[] = MAREVANT_BINARY;
constexpr char kPlainCopyBinary[] = MAREVANT_PLAIN_COPY_BINARY;
constexpr char kWineRun[] = MAREVANT_WINE_RUN;
constexpr std::size_t kTransferBytes = std::size_t{64} << 20;
constexpr int kTransferRuns = 3;
constexpr int kTransferTimeoutMs = 120000;
constexpr int kOfferTimeoutMs = 10000;
constexpr int kPlainStartTimeoutMs = 30000;
constexpr double kTransferShare = 0.5;
constexpr char kSourceName[] = "quelle.bin";

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
    std::system(
        (std::string("WINEPREFIX=") + MAREVANT_WINE_PREFIX + " wineserver -k 2>/dev/null").c_str());
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
    std::printf(
        "%s: start to viewable window, %d runs with Wine's server running: min %.0f ms, "
        "median %.0f ms, max %.0f ms\n",
        program.name, kStartRuns, times.front(), times[times.size() / 2], times.back());
    return true;
}

bool MeasureIdle(e2e::Session& session, const Program& program) {
    std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
    const long kib = bench::ResidentKiB(session.game);
    const bench::CpuSpan before = bench::ReadCpu(session.game);
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const bench::CpuUse use = bench::CpuBetween(before, bench::ReadCpu(session.game), kIdleSeconds);
    if (kib < 0 || use.switches < 0) return false;
    std::printf(
        "%s: resident %.1f MiB; idle over %d s: %.3f %% of one core, %lld voluntary "
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

// One of the two programs, with the last picture read from its window.
struct Player {
    const char* name;
    e2e::Session session;
    e2e::Frame last;
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Until the file holds the whole transfer; false on time-out.
bool AwaitWhole(const std::filesystem::path& path) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTransferTimeoutMs);
    std::error_code error;
    while (std::filesystem::file_size(path, error) != kTransferBytes || error) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The plain copy under Wine against a plain end here, from the connection to the last byte on
// disk; -1 when it failed. Wine's start is not timed.
double PlainCopySeconds(const std::filesystem::path& windowsDirectory,
                        const std::filesystem::path& linuxDirectory, bool windowsSends) {
    std::uint16_t port = 0;
    const int listener = nettest::ListenLoopback(port);
    const std::filesystem::path target =
        (windowsSends ? linuxDirectory : windowsDirectory) / "kopie.bin";
    e2e::ChildOptions options;
    options.argv = {kWineRun, kPlainCopyBinary, windowsSends ? "send" : "receive",
                    std::to_string(port), windowsSends ? kSourceName : "kopie.bin"};
    options.directory = windowsDirectory.string();
    options.quiet = true;
    const pid_t pid = e2e::StartChild(options);
    double seconds = -1;
    if (pid > 0 && nettest::WaitRaw(listener, false, kPlainStartTimeoutMs)) {
        const int socket = nettest::AcceptOne(listener);
        const auto start = Clock::now();
        bool whole = false;
        if (windowsSends) {
            whole =
                bench::ReceiveFileRaw(socket, target) == static_cast<std::int64_t>(kTransferBytes);
            nettest::RawClose(socket);
        } else {
            whole = bench::SendFileRaw(socket, linuxDirectory / kSourceName);
            nettest::RawClose(socket);
            whole = whole && AwaitWhole(target);
        }
        if (whole) seconds = Seconds(start);
    }
    const bool ended = pid > 0 && e2e::WaitForChild(pid, kTransferTimeoutMs) == 0;
    nettest::RawClose(listener);
    std::filesystem::remove(target);
    return ended ? seconds : -1;
}

// `from` offers its source under a name of its own for this run, `to` takes it; from the answer
// to the file whole under its name, or -1.
double GameTransferSeconds(Player& from, Player& to, int run) {
    const std::string name = "daten" + std::to_string(run) + ".bin";
    const std::filesystem::path source = std::filesystem::path(from.session.directory) / name;
    const std::filesystem::path target = std::filesystem::path(to.session.directory) / name;
    std::error_code error;
    std::filesystem::create_hard_link(std::filesystem::path(from.session.directory) / kSourceName,
                                      source, error);
    if (error) return -1;
    const auto offered = [&](const e2e::Frame& f) { return e2e::LogShows(f, name + " - "); };
    double seconds = -1;
    if (e2e::SendInputLine(from.session, "sendfile " + name, from.last) &&
        e2e::WaitForFrame(to.session, offered, kOfferTimeoutMs, to.last) &&
        e2e::SendInputLine(to.session, "j", to.last)) {
        const auto start = Clock::now();
        if (AwaitWhole(target)) seconds = Seconds(start);
    }
    std::filesystem::remove(source);
    std::filesystem::remove(target);
    return seconds;
}

// Best of kTransferRuns, game and plain copy in turn; false when a run failed.
bool MeasureOneWay(Player& from, Player& to, Player& windows, Player& linux) {
    const bool windowsSends = &from == &windows;
    double game = 1e9, plain = 1e9;
    for (int run = 0; run < kTransferRuns; ++run) {
        const double plainRun =
            PlainCopySeconds(windows.session.directory, linux.session.directory, windowsSends);
        const double gameRun =
            GameTransferSeconds(from, to, run + (windowsSends ? 0 : kTransferRuns));
        if (plainRun < 0 || gameRun < 0) return false;
        plain = std::min(plain, plainRun);
        game = std::min(game, gameRun);
    }
    const double mib = static_cast<double>(kTransferBytes >> 20);
    const double share = plain / game;
    std::printf(
        "%d MiB from %s to %s, best of %d: %.0f MiB/s; plain Winsock copy under Wine: "
        "%.0f MiB/s; %.0f %% of its rate  (goal: at least %.0f %%, %s)\n",
        static_cast<int>(mib), from.name, to.name, kTransferRuns, mib / game, mib / plain,
        100 * share, 100 * kTransferShare, share >= kTransferShare ? "ok" : "UNDER GOAL");
    return true;
}

// The Linux program serves, the Windows program joins; a file goes each way.
bool MeasureTransfers() {
    const std::filesystem::path base = e2e::MakeScratchDirectory();
    if (base.empty()) return false;
    Player linux{"marevant (Linux)", {}, {}};
    Player windows{"marevant.exe", {}, {}};
    for (Player* p : {&linux, &windows}) {
        const std::filesystem::path directory = base / (p == &linux ? "linux" : "windows");
        std::filesystem::create_directory(directory);
        p->session.directory = directory.string();
    }
    const bool measured =
        bench::WriteTransferFile(std::filesystem::path(linux.session.directory) / kSourceName,
                                 kTransferBytes) &&
        bench::WriteTransferFile(std::filesystem::path(windows.session.directory) / kSourceName,
                                 kTransferBytes) &&
        e2e::StartSession(linux.session, kLinuxBinary) &&
        e2e::StartSession(windows.session, MAREVANT_WINDOWS_BINARY) &&
        e2e::StartServerGame(linux.session, linux.last) &&
        e2e::StartClientGame(windows.session, windows.last) &&
        e2e::AwaitConnection(linux.session, '1', linux.last) &&
        e2e::AwaitConnection(windows.session, '2', windows.last) &&
        MeasureOneWay(windows, linux, windows, linux) &&
        MeasureOneWay(linux, windows, windows, linux);
    e2e::EndSession(windows.session);
    e2e::EndSession(linux.session);
    std::filesystem::remove_all(base);
    return measured;
}
}  // namespace

int main() {
    for (const char* binary : {kPrograms[0].binary, kPrograms[1].binary, kPlainCopyBinary}) {
        if (!std::filesystem::exists(binary)) {
            std::fprintf(stderr, "bench_windows: %s is missing (make windows-for-tests)\n", binary);
            return 1;
        }
    }
    StopWineServer();
    bool measured = true;
    for (const Program& program : kPrograms)
        measured = measured && Measure(program);
    measured = measured && MeasureTransfers();
    StopWineServer();
    if (!measured) std::fprintf(stderr, "bench_windows: a program could not be measured\n");
    return measured ? 0 : 1;
}
