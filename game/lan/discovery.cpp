// The announcer and the listener. Each runs on a thread of its own that sleeps until it has
// work: the announcer while an opponent is connected, the listener until a datagram comes, so
// a quiet network wakes nobody.
#include "game/lan/discovery.h"
#include "game/lan/discovery_testing.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>

#include "game/lan/announcement.h"
#include "net/datagram.h"
#include "screen/graphics.h"

namespace game {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kAnnounceEvery{1};

struct Heard {
    std::uint32_t address;
    std::int64_t lastMs;
};

struct Discovery {
    // Tells this program's announcements from others on the same machine.
    std::uint32_t instance = std::random_device()();
    // The announcer.
    std::mutex announceLock;
    std::condition_variable announceWake;
    bool announcing = false;
    screen::ThreadHandle announcer = nullptr;
    // The listener; `heard` and `found` are guarded by listenLock.
    std::mutex listenLock;
    bool listening = false;
    bool listenerStarted = false;
    int listener = net::kNoDatagramSocket;
    std::vector<Heard> heard;
    std::vector<std::string> found;
};

Discovery discovery;

std::int64_t NowMs() {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    return duration_cast<milliseconds>(Clock::now().time_since_epoch()).count();
}

// Sends while no opponent is connected, once a second; sleeps while one is.
void AnnounceLoop() {
    const int broadcaster = net::OpenBroadcaster();
    const std::string announcement = AnnouncementBytes(discovery.instance);
    std::unique_lock lock(discovery.announceLock);
    while (discovery.announcing) {
        if (ConnectedFlag.load(std::memory_order_relaxed) == 1) {
            discovery.announceWake.wait(lock);
            continue;
        }
        lock.unlock();
        net::Broadcast(broadcaster, kAnnouncePort, announcement);
        lock.lock();
        discovery.announceWake.wait_for(lock, kAnnounceEvery, [] { return !discovery.announcing; });
    }
    net::CloseDatagramSocket(broadcaster);
}

// A place in the table for `address`: its own, a free one, or that of a server silent long
// enough to be forgotten; none when the table is full of servers still heard.
Heard* PlaceFor(std::uint32_t address, std::int64_t nowMs) {
    auto& heard = discovery.heard;
    const auto same = std::find_if(heard.begin(), heard.end(),
                                   [address](const Heard& h) { return h.address == address; });
    if (same != heard.end()) return &*same;
    if (heard.size() < kMaxServersHeard)
        return &heard.emplace_back(Heard{address, nowMs - kSilentMs});
    const auto oldest =
        std::min_element(heard.begin(), heard.end(),
                         [](const Heard& a, const Heard& b) { return a.lastMs < b.lastMs; });
    if (nowMs - oldest->lastMs < kSilentMs) return nullptr;
    *oldest = Heard{address, nowMs - kSilentMs};
    return &*oldest;
}

// The socket is set before this thread starts and never changes.
void ListenLoop() {
    std::string datagram;
    std::uint32_t source = 0;
    while (net::ReceiveNextDatagram(discovery.listener, datagram, source)) {
        if (NoteDatagram(datagram, source, NowMs())) screen::WakeInputWaiters();
    }
}

}  // namespace

void StartAnnouncing() {
    StopAnnouncing();
    std::lock_guard lock(discovery.announceLock);
    discovery.announcing = true;
    discovery.announcer = screen::ThreadCreate(AnnounceLoop);
}

void WakeAnnouncer() {
    std::lock_guard lock(discovery.announceLock);
    discovery.announceWake.notify_all();
}

void StopAnnouncing() {
    screen::ThreadHandle announcer = nullptr;
    {
        std::lock_guard lock(discovery.announceLock);
        discovery.announcing = false;
        discovery.announceWake.notify_all();
        std::swap(announcer, discovery.announcer);
    }
    screen::ThreadWait(announcer);
}

// The listener lives for the rest of the run once it has started; the program's end takes it
// down with everything else.
void ListenForServers(bool listening) {
    std::lock_guard lock(discovery.listenLock);
    // Each visit of the lobby lists anew what it hears.
    if (listening && !discovery.listening) discovery.heard.clear();
    discovery.listening = listening;
    if (!listening) discovery.found.clear();
    if (!listening || discovery.listenerStarted) return;
    discovery.listenerStarted = true;
    discovery.listener = net::OpenDatagramListener(kAnnouncePort);
    if (discovery.listener != net::kNoDatagramSocket)
        screen::ThreadRelease(screen::ThreadCreate(ListenLoop));
}

std::vector<std::string> TakeFoundServers() {
    std::lock_guard lock(discovery.listenLock);
    std::vector<std::string> found;
    std::swap(found, discovery.found);
    return found;
}

bool NoteDatagram(std::string_view datagram, std::uint32_t source, std::int64_t nowMs) {
    std::uint32_t instance = 0;
    if (!ReadAnnouncement(datagram, instance) || instance == discovery.instance) return false;
    std::lock_guard lock(discovery.listenLock);
    if (!discovery.listening) return false;
    Heard* place = PlaceFor(source, nowMs);
    if (place == nullptr) return false;
    const bool listed = nowMs - place->lastMs >= kSilentMs;
    place->lastMs = nowMs;
    if (listed && discovery.found.size() < kMaxServersHeard)
        discovery.found.push_back(net::DottedText(source));
    return listed;
}

}  // namespace game
