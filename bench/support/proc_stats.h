// What /proc tells of a running process: resident memory, CPU time and
// voluntary context switches summed over all its threads. Reads only; every
// procedure answers -1 when the process is gone.
#pragma once

#include <sys/types.h>

namespace bench {

// VmRSS in KiB.
long ResidentKiB(pid_t pid);
// utime + stime of all threads, in clock ticks.
long CpuTicks(pid_t pid);
// Time on a CPU of all threads in nanoseconds, from the scheduler's own
// accounting: finer than the sampled clock ticks.
long long RunNanoseconds(pid_t pid);
// Times any thread gave up the CPU to wait: every wake-up from a sleep counts.
long long VoluntarySwitches(pid_t pid);

// CPU use of a process over a span, as a share of one core.
struct CpuSpan {
    long ticks = -1;
    long long runNs = -1;
    long long switches = -1;
};
CpuSpan ReadCpu(pid_t pid);
// Percent of one core from ticks (and from run time, -1 when unknown) and the
// switches per span, between two readings `seconds` apart.
struct CpuUse {
    double tickPercent = -1;
    double runPercent = -1;
    long long switches = -1;
};
CpuUse CpuBetween(const CpuSpan& before, const CpuSpan& after, double seconds);

}  // namespace bench
