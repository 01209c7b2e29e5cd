// Fork, exec, wait and kill for the harness's children. Owns no state: every
// pid belongs to the caller. Never sends a signal to anything but a pid it
// was handed.
#include "tests/e2e/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace e2e {
namespace {

constexpr int kReapPollMs = 5;
constexpr int kPoliteStopMs = 2000;
constexpr int kExecFailedStatus = 127;
constexpr char kDisplayPrefix[] = "DISPLAY=";

// The environment is built before fork: the child may only do async-signal-safe work.
std::vector<std::string> ChildEnvironment(const std::string& display) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (display.empty() || std::strncmp(*entry, kDisplayPrefix, sizeof kDisplayPrefix - 1)) {
            entries.emplace_back(*entry);
        }
    }
    if (!display.empty()) entries.push_back(kDisplayPrefix + display);
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Runs in the forked child until exec.
[[noreturn]] void ExecChild(const ChildOptions& options, pid_t parent, char** argv, char** envp) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kExecFailedStatus);  // the parent died before prctl
    if (options.networkNamespaceFd >= 0 && setns(options.networkNamespaceFd, CLONE_NEWNET) != 0)
        _exit(kExecFailedStatus);
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0)
        _exit(kExecFailedStatus);
    if (options.quiet) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
    }
    execvpe(argv[0], argv, envp);
    _exit(kExecFailedStatus);
}

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return kEndedBySignal;
}

}  // namespace

pid_t StartChild(const ChildOptions& options) {
    if (options.argv.empty()) return -1;
    std::vector<std::string> args = options.argv;
    std::vector<std::string> env = ChildEnvironment(options.display);
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) ExecChild(options, parent, argv.data(), envp.data());
    return pid;
}

int WaitForChild(pid_t pid, int timeoutMs) {
    if (pid <= 0) return kNotAChild;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t reaped = waitpid(pid, &status, WNOHANG);
        if (reaped == pid) return DecodeStatus(status);
        if (reaped < 0) return kNotAChild;
        if (std::chrono::steady_clock::now() >= deadline) return kStillRunning;
        std::this_thread::sleep_for(std::chrono::milliseconds(kReapPollMs));
    }
}

void StopChild(pid_t& pid, bool polite) {
    if (pid <= 0) return;
    if (polite) {
        kill(pid, SIGTERM);
        if (WaitForChild(pid, kPoliteStopMs) != kStillRunning) {
            pid = -1;
            return;
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace e2e
