// The lossy link's machinery: the two namespaces (made and deleted by ip(8)), a
// TUN in each set up by ioctl, the relay thread with one release-ordered queue
// per direction, and the janitor that deletes the namespaces when we die first.
// Sets up each namespace on a thread of its own, so no caller's thread is ever
// moved; touches no interface, route or sysctl outside the two namespaces.
#include "tests/e2e/lossy_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <mutex>
#include <vector>

extern char** environ;

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

struct QueuedPacket {
    Clock::time_point due;  // arrival plus its jitter; the delay is added when it is due
    std::uint64_t order;    // keeps packets of the same due time in arrival order
    std::vector<unsigned char> bytes;
};

struct Direction {
    std::vector<QueuedPacket> heap;  // earliest (due, order) first, by std::push_heap
    // A stream of its own: one direction's traffic leaves the other's draws alone.
    std::uint64_t random = 0;
    std::uint64_t arrivals = 0;
};

struct LinkState {
    pid_t owner = 0;  // the process that started the link; 0 while none runs
    std::string names[2];
    int namespaceFds[2] = {-1, -1};
    int tunFds[2] = {-1, -1};
    int wakeFd = -1;
    pid_t janitor = -1;
    int janitorPipe = -1;  // write end: its closing at our death wakes the janitor
    bool exitHookSet = false;
    bool relayRunning = false;
    pthread_t relay{};
    std::atomic<bool> stopping = false;
    std::mutex impairmentMutex;
    LinkImpairment impairment;
    Direction directions[2];
};

LinkState lossy;

constexpr const char* kNamePrefixes[] = {"mvA-", "mvB-"};
constexpr const char* kAddresses[] = {"10.77.0.1", "10.77.0.2"};
constexpr char kNetmask[] = "255.255.255.0";
constexpr char kTunName[] = "mvlink0";
constexpr int kMtu = 1500;
constexpr int kAToB = 0;  // a direction is named by the side it leaves
constexpr int kBToA = 1;
constexpr char kTunDevice[] = "/dev/net/tun";
constexpr char kNetnsDir[] = "/var/run/netns/";  // where ip(8) names its namespaces
constexpr const char* kIpPaths[] = {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"};
constexpr char kShell[] = "/bin/sh";
constexpr char kJanitorScript[] = R"(read -r _; "$0" netns del "$1"; "$0" netns del "$2")";
constexpr char kDevNull[] = "/dev/null";
constexpr int kFirstInheritedFd = 3;
constexpr std::size_t kPacketBytes = 65536;  // the most one TUN read can return
// Per direction; beyond it packets drop as at a full router, not into unbounded memory.
constexpr std::size_t kQueueLimit = 4096;
constexpr int kBurstPackets = 64;  // reads per wake-up, so one side cannot starve the other
constexpr int kWakeSlot = 2;       // after the TUNs of sides A and B
constexpr int kPollSlots = 3;
constexpr double kPercent = 100.0;
constexpr int kMicrosPerMilli = 1000;
constexpr std::uint64_t kOtherStream = 0x5bd1e995;  // B to A draws from seed ^ this
// splitmix64: a constant-initialised state, so the module has no global constructor doing work.
constexpr std::uint64_t kGamma = 0x9e3779b97f4a7c15;
constexpr std::uint64_t kMix1 = 0xbf58476d1ce4e5b9;
constexpr std::uint64_t kMix2 = 0x94d049bb133111eb;
constexpr int kShift1 = 30, kShift2 = 27, kShift3 = 31;
constexpr int kUnitShift = 11;  // keeps the 53 bits a double holds
constexpr double kUnitScale = 0x1.0p-53;

std::uint64_t NextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += kGamma);
    z = (z ^ (z >> kShift1)) * kMix1;
    z = (z ^ (z >> kShift2)) * kMix2;
    return z ^ (z >> kShift3);
}

double UnitRandom(std::uint64_t& state) {
    return static_cast<double>(NextRandom(state) >> kUnitShift) * kUnitScale;
}

bool Later(const QueuedPacket& a, const QueuedPacket& b) {
    return a.due != b.due ? a.due > b.due : a.order > b.order;
}

LinkImpairment CurrentImpairment() {
    std::lock_guard<std::mutex> hold(lossy.impairmentMutex);
    return lossy.impairment;
}

void Wake() {
    const std::uint64_t one = 1;
    if (lossy.wakeFd >= 0 && write(lossy.wakeFd, &one, sizeof one) < 0) {
        // A full counter already wakes the relay.
    }
}

void DrainWake() {
    std::uint64_t count = 0;
    if (read(lossy.wakeFd, &count, sizeof count) < 0) {
        // Nothing was pending: a spurious wake-up costs one loop.
    }
}

// ----- The relay -----

void Enqueue(Direction& d, const unsigned char* bytes, std::size_t size,
             const LinkImpairment& now) {
    if (d.heap.size() >= kQueueLimit) return;
    const std::int64_t spread = std::int64_t{now.jitterMs} * kMicrosPerMilli;
    const std::int64_t jitter =
        spread > 0 ? static_cast<std::int64_t>(NextRandom(d.random) % (2 * spread + 1)) - spread
                   : 0;
    d.heap.push_back({Clock::now() + std::chrono::microseconds(jitter), d.arrivals++,
                      std::vector<unsigned char>(bytes, bytes + size)});
    std::push_heap(d.heap.begin(), d.heap.end(), Later);
}

void ReadArrivals(int side, unsigned char* buffer, const LinkImpairment& now) {
    for (int i = 0; i < kBurstPackets; ++i) {
        const ssize_t got = read(lossy.tunFds[side], buffer, kPacketBytes);
        if (got <= 0) return;
        Enqueue(lossy.directions[side], buffer, static_cast<std::size_t>(got), now);
    }
}

// Loss is drawn here, not on arrival, so a changed rate applies to queued packets too.
void ReleaseDue(int direction, const LinkImpairment& now) {
    Direction& d = lossy.directions[direction];
    const Clock::time_point dueBy = Clock::now() - std::chrono::milliseconds(now.delayMs);
    while (!d.heap.empty() && d.heap.front().due <= dueBy) {
        std::pop_heap(d.heap.begin(), d.heap.end(), Later);
        const std::vector<unsigned char>& bytes = d.heap.back().bytes;
        const bool lost = now.blackout || UnitRandom(d.random) * kPercent < now.lossPercent;
        // A failed write drops the packet, as a full router would.
        [[maybe_unused]] const ssize_t written =
            lost ? 0 : write(lossy.tunFds[1 - direction], bytes.data(), bytes.size());
        d.heap.pop_back();
    }
}

// False when both queues are empty: then only a packet or a wake-up ends the wait.
bool NextWait(const LinkImpairment& now, timespec& wait) {
    bool any = false;
    Clock::time_point next{};
    for (const Direction& d : lossy.directions) {
        if (d.heap.empty() || (any && d.heap.front().due >= next)) continue;
        next = d.heap.front().due;
        any = true;
    }
    if (!any) return false;
    const auto left = std::max(Clock::duration::zero(),
                               next + std::chrono::milliseconds(now.delayMs) - Clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    wait.tv_sec = static_cast<time_t>(seconds.count());
    wait.tv_nsec = static_cast<long>(std::chrono::nanoseconds(left - seconds).count());
    return true;
}

// A closed or failing descriptor would make every poll return at once.
bool Broken(const pollfd (&fds)[kPollSlots]) {
    return std::any_of(std::begin(fds), std::end(fds),
                       [](const pollfd& f) { return (f.revents & (POLLERR | POLLNVAL)) != 0; });
}

void* RelayLoop(void*) {
    std::vector<unsigned char> buffer(kPacketBytes);
    pollfd fds[kPollSlots] = {{lossy.tunFds[kLinkSideA], POLLIN, 0},
                              {lossy.tunFds[kLinkSideB], POLLIN, 0},
                              {lossy.wakeFd, POLLIN, 0}};
    while (!lossy.stopping.load()) {
        timespec wait{};
        const bool timed = NextWait(CurrentImpairment(), wait);
        if (ppoll(fds, std::size(fds), timed ? &wait : nullptr, nullptr) < 0 && errno != EINTR)
            break;
        if (Broken(fds)) break;
        if (fds[kWakeSlot].revents & POLLIN) DrainWake();
        const LinkImpairment now = CurrentImpairment();
        for (int side : {kLinkSideA, kLinkSideB})
            if (fds[side].revents & POLLIN) ReadArrivals(side, buffer.data(), now);
        ReleaseDue(kAToB, now);
        ReleaseDue(kBToA, now);
    }
    return nullptr;
}

// ----- ip(8) and the janitor -----

const char* IpPath() {
    for (const char* path : kIpPaths)
        if (access(path, X_OK) == 0) return path;
    return nullptr;
}

bool ExitedCleanly(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// `quiet` hides the complaint about a namespace that is not there.
bool RunIp(std::initializer_list<const char*> args, bool quiet) {
    const char* ip = IpPath();
    if (ip == nullptr) return false;
    std::vector<char*> argv{const_cast<char*>(ip)};
    for (const char* arg : args)
        argv.push_back(const_cast<char*>(arg));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, kDevNull, O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, ip, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 && ExitedCleanly(pid);
}

// The janitor's stdin is the pipe's read end; it holds no other descriptor of ours,
// so no pipe a test waits on stays open in it.
void JanitorFiles(posix_spawn_file_actions_t& actions, int readEnd) {
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, readEnd, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, kDevNull, O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, kDevNull, O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, kFirstInheritedFd);
}

// The janitor is a shell in a session of its own (a terminal's ^C spares it)
// that waits for the end of a pipe only we hold, then deletes both namespaces.
bool StartJanitor() {
    int ends[2];
    const char* ip = IpPath();
    if (ip == nullptr || pipe2(ends, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    JanitorFiles(actions, ends[0]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const char* argv[] = {
        kShell, "-c", kJanitorScript, ip, lossy.names[0].c_str(), lossy.names[1].c_str(), nullptr};
    const int failed = posix_spawn(&lossy.janitor, kShell, &actions, &attributes,
                                   const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ends[0]);
    if (failed != 0) lossy.janitor = -1;
    lossy.janitorPipe = ends[1];
    return failed == 0;
}

void StopJanitor() {
    if (lossy.janitor > 0) {
        kill(lossy.janitor, SIGKILL);
        waitpid(lossy.janitor, nullptr, 0);
    }
    lossy.janitor = -1;
}

bool MakeNamespace(int side) {
    const std::string& name = lossy.names[side];
    RunIp({"netns", "del", name.c_str()}, true);  // left by a dead process that had our pid
    if (!RunIp({"netns", "add", name.c_str()}, false)) return false;
    lossy.namespaceFds[side] = open((kNetnsDir + name).c_str(), O_RDONLY | O_CLOEXEC);
    return lossy.namespaceFds[side] >= 0;
}

// ----- One side's interfaces, set up from inside its namespace -----

ifreq Request(const char* name) {
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    return request;
}

// No IFF_VNET_HDR: the kernel then segments GSO packets to the MTU before we read them.
int OpenTun() {
    const int fd = open(kTunDevice, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ifreq request = Request(kTunName);
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    if (fd >= 0 && ioctl(fd, TUNSETIFF, &request) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

bool SetAddress(int socketFd, unsigned long which, const char* text) {
    ifreq request = Request(kTunName);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, text, &address.sin_addr) != 1) return false;
    std::memcpy(&request.ifr_addr, &address, sizeof address);
    return ioctl(socketFd, which, &request) == 0;
}

bool Raise(int socketFd, const char* name) {
    ifreq request = Request(name);
    if (ioctl(socketFd, SIOCGIFFLAGS, &request) != 0) return false;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    return ioctl(socketFd, SIOCSIFFLAGS, &request) == 0;
}

bool ConfigureInterfaces(int side) {
    const int socketFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq mtu = Request(kTunName);
    mtu.ifr_mtu = kMtu;
    const bool done = socketFd >= 0 && Raise(socketFd, "lo") &&
                      SetAddress(socketFd, SIOCSIFADDR, kAddresses[side]) &&
                      SetAddress(socketFd, SIOCSIFNETMASK, kNetmask) &&
                      ioctl(socketFd, SIOCSIFMTU, &mtu) == 0 && Raise(socketFd, kTunName);
    if (socketFd >= 0) close(socketFd);
    return done;
}

struct SideSetUp {
    int side;
    bool done;
};

// Runs on a thread of its own, which ends in the side's namespace. The TUN is
// opened there: a TUN belongs to the namespace its descriptor was opened in.
void* SetUpSide(void* setUp) {
    SideSetUp& job = *static_cast<SideSetUp*>(setUp);
    const bool entered = setns(lossy.namespaceFds[job.side], CLONE_NEWNET) == 0;
    lossy.tunFds[job.side] = entered ? OpenTun() : -1;
    job.done = lossy.tunFds[job.side] >= 0 && ConfigureInterfaces(job.side);
    return nullptr;
}

bool SetUpSideApart(int side) {
    SideSetUp job{side, false};
    pthread_t thread;
    if (pthread_create(&thread, nullptr, SetUpSide, &job) != 0) return false;
    pthread_join(thread, nullptr);
    return job.done;
}

// ----- Start and stop -----

void ResetDirections(std::uint64_t seed) {
    for (int direction : {kAToB, kBToA}) {
        Direction& d = lossy.directions[direction];
        d.heap.clear();
        d.random = direction == kAToB ? seed : seed ^ kOtherStream;
        d.arrivals = 0;
    }
}

bool StartRelay() {
    lossy.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    lossy.stopping = false;
    lossy.relayRunning =
        lossy.wakeFd >= 0 && pthread_create(&lossy.relay, nullptr, RelayLoop, nullptr) == 0;
    return lossy.relayRunning;
}

void StopRelay() {
    if (!lossy.relayRunning) return;
    lossy.stopping = true;
    Wake();
    pthread_join(lossy.relay, nullptr);
    lossy.relayRunning = false;
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

void ExitHook() {
    StopLossyLink();
}

}  // namespace

bool StartLossyLink(const LossyLinkConfig& config) {
    if (lossy.owner != 0) return false;
    lossy.owner = getpid();
    if (!lossy.exitHookSet) lossy.exitHookSet = atexit(ExitHook) == 0;
    for (int side : {kLinkSideA, kLinkSideB})
        lossy.names[side] = kNamePrefixes[side] + std::to_string(lossy.owner);
    ResetDirections(config.seed);
    SetLinkImpairment(config.impairment);
    const bool started = StartJanitor() && MakeNamespace(kLinkSideA) && MakeNamespace(kLinkSideB) &&
                         SetUpSideApart(kLinkSideA) && SetUpSideApart(kLinkSideB) && StartRelay();
    if (!started) StopLossyLink();
    return started;
}

void SetLinkImpairment(const LinkImpairment& impairment) {
    LinkImpairment clamped = impairment;
    clamped.delayMs = std::max(0, impairment.delayMs);
    clamped.jitterMs = std::max(0, impairment.jitterMs);
    clamped.lossPercent = std::clamp(impairment.lossPercent, 0.0, kPercent);
    {
        std::lock_guard<std::mutex> hold(lossy.impairmentMutex);
        lossy.impairment = clamped;
    }
    Wake();  // the next release time may have moved
}

std::string LinkNamespace(int side) {
    return side == kLinkSideA || side == kLinkSideB ? lossy.names[side] : "";
}

const char* LinkAddress(int side) {
    return side == kLinkSideA || side == kLinkSideB ? kAddresses[side] : "";
}

int LinkNamespaceFd(int side) {
    return side == kLinkSideA || side == kLinkSideB ? lossy.namespaceFds[side] : -1;
}

bool EnterLinkNamespace(int side) {
    const int fd = LinkNamespaceFd(side);
    return fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
}

void StopLossyLink() {
    if (lossy.owner != getpid()) return;  // not started, already stopped, or a forked child
    StopRelay();
    for (int side : {kLinkSideA, kLinkSideB}) {
        CloseFd(lossy.tunFds[side]);
        CloseFd(lossy.namespaceFds[side]);
        if (!lossy.names[side].empty()) RunIp({"netns", "del", lossy.names[side].c_str()}, true);
        lossy.names[side].clear();
        lossy.directions[side].heap.clear();
    }
    CloseFd(lossy.wakeFd);
    StopJanitor();
    CloseFd(lossy.janitorPipe);
    lossy.owner = 0;
}

}  // namespace e2e
