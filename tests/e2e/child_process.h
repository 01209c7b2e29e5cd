// Child processes of the end-to-end harness: starting a program with a chosen
// DISPLAY, waiting for its end with a time-out, and stopping it. Children die
// with the process that started them, so a crashed or timed-out test leaves
// no X server or game behind. Knows nothing of X or of the game.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

// Results of WaitForChild besides an exit status from 0 to 255.
inline constexpr int kStillRunning = -1;
inline constexpr int kEndedBySignal = -2;
inline constexpr int kNotAChild = -3;

struct ChildOptions {
    std::vector<std::string> argv;  // argv[0] is the program, looked up in PATH
    std::string display;            // DISPLAY for the child; empty keeps the inherited one
    bool quiet = false;             // send the child's stdout and stderr to /dev/null
    std::string directory;          // working directory of the child; empty keeps ours
    int networkNamespaceFd = -1;    // a network namespace the child enters before exec
};

// Starts the child; returns its pid, or -1 when it could not be forked.
pid_t StartChild(const ChildOptions& options);

// Waits up to timeoutMs for the child to end and reaps it. Returns its exit
// status, kEndedBySignal, kStillRunning on time-out, or kNotAChild.
int WaitForChild(pid_t pid, int timeoutMs);

// Ends the child if it still runs (politely first when `polite`) and reaps
// it; sets pid to -1. Does nothing for pid -1.
void StopChild(pid_t& pid, bool polite);

}  // namespace e2e
