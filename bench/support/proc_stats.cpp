// Readers of /proc/<pid> for the benchmarks.
#include "bench/support/proc_stats.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace bench {
namespace {

// /proc/<pid>/stat after the ")" that ends the command name: field 3 (state)
// comes first, so utime (field 14) and stime (field 15) are the 12th and 13th.
constexpr int kUtimeAfterName = 11;
constexpr double kPercent = 100.0;
constexpr double kNanosecondsPerSecond = 1e9;

std::filesystem::path Tasks(pid_t pid) {
    return "/proc/" + std::to_string(pid) + "/task";
}

}  // namespace

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        long kib = -1;
        if (std::sscanf(line.c_str(), "VmRSS: %ld kB", &kib) == 1) return kib;
    }
    return -1;
}

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

long long RunNanoseconds(pid_t pid) {
    std::error_code error;
    long long total = 0;
    for (const auto& task : std::filesystem::directory_iterator(Tasks(pid), error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        long long onCpu = -1;
        if (!(schedstat >> onCpu)) return -1;
        total += onCpu;
    }
    return error ? -1 : total;
}

long long VoluntarySwitches(pid_t pid) {
    std::error_code error;
    long long total = 0;
    for (const auto& task : std::filesystem::directory_iterator(Tasks(pid), error)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            long long count = 0;
            if (std::sscanf(line.c_str(), "voluntary_ctxt_switches: %lld", &count) == 1)
                total += count;
        }
    }
    return error ? -1 : total;
}

CpuSpan ReadCpu(pid_t pid) {
    return {CpuTicks(pid), RunNanoseconds(pid), VoluntarySwitches(pid)};
}

CpuUse CpuBetween(const CpuSpan& before, const CpuSpan& after, double seconds) {
    CpuUse use;
    if (before.ticks >= 0 && after.ticks >= 0) {
        const double tickSeconds = static_cast<double>(after.ticks - before.ticks) /
                                   static_cast<double>(sysconf(_SC_CLK_TCK));
        use.tickPercent = kPercent * tickSeconds / seconds;
    }
    if (before.runNs >= 0 && after.runNs >= 0) {
        use.runPercent = kPercent * static_cast<double>(after.runNs - before.runNs) /
                         kNanosecondsPerSecond / seconds;
    }
    if (before.switches >= 0 && after.switches >= 0)
        use.switches = after.switches - before.switches;
    return use;
}

}  // namespace bench
