// Shared fixtures of the connection layer's tests.
// Owns the event log, the handler gates and the watchdog; never changes the layer itself.
#include "tests/net/support.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "net/registry.h"

namespace nettest {
namespace {

// Sanitizers slow everything down several times; a healthy test stays far below this.
constexpr int kWatchdogSeconds = 240;
constexpr std::chrono::milliseconds kRecheckInterval{5};
constexpr int kThreadEndLooks = 1000;
constexpr std::chrono::milliseconds kThreadEndLookPause{1};

struct Support {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Event> events;
    std::map<std::pair<Kind, net::ConnId>, int> counts;
    std::map<Kind, bool> held;
    std::map<net::ConnId, int> busy;
    bool watching = false;
};

Support state;

void Record(Event event) {
    std::lock_guard guard(state.lock);
    ++state.counts[{event.kind, event.id}];
    state.events.push_back(std::move(event));
    state.changed.notify_all();
}

void WaitWhileHeld(Kind kind) {
    std::unique_lock guard(state.lock);
    state.changed.wait(guard, [kind] { return !state.held[kind]; });
}

// Counts the connect and data handlers of a connection that are running right now.
void ChangeBusy(net::ConnId id, int change) {
    std::lock_guard guard(state.lock);
    state.busy[id] += change;
}

bool IsBusy(net::ConnId id) {
    std::lock_guard guard(state.lock);
    return state.busy[id] != 0;
}

ThreadId WorkerOf(net::ConnId id) {
    std::lock_guard guard(state.lock);
    for (const Event& event : state.events) {
        if (event.kind == Kind::Connect && event.id == id) return event.thread;
    }
    return 0;
}

}  // namespace

void ResetEvents() {
    std::lock_guard guard(state.lock);
    state.events.clear();
    state.counts.clear();
    state.held.clear();
    state.busy.clear();
}

std::vector<Event> Events() {
    std::lock_guard guard(state.lock);
    return state.events;
}

std::vector<Event> EventsOf(net::ConnId id) {
    std::vector<Event> selected;
    for (Event& event : Events()) {
        if (event.id == id) selected.push_back(std::move(event));
    }
    return selected;
}

int CountOf(Kind kind, net::ConnId id) {
    std::lock_guard guard(state.lock);
    auto found = state.counts.find({kind, id});
    return found == state.counts.end() ? 0 : found->second;
}

int CountOf(Kind kind) {
    std::lock_guard guard(state.lock);
    int total = 0;
    for (const auto& [key, count] : state.counts) {
        if (key.first == kind) total += count;
    }
    return total;
}

std::string DataOf(net::ConnId id) {
    std::string joined;
    for (const Event& event : EventsOf(id)) {
        if (event.kind == Kind::Data) joined += event.data;
    }
    return joined;
}

net::ConnId AdoptedBy(net::ConnId server, int nth) {
    int seen = 0;
    for (const Event& event : EventsOf(server)) {
        if (event.kind == Kind::NewConnection && ++seen == nth) return event.adopted;
    }
    return 0;
}

bool WaitFor(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::unique_lock guard(state.lock);
        // Some conditions change without an event, so the wait is short.
        state.changed.wait_for(guard, kRecheckInterval);
    }
    return true;
}

void OnConnect(net::ConnId id) {
    ChangeBusy(id, +1);
    Record({Kind::Connect, id, "", ThisThreadId(), 0, -1, false});
    WaitWhileHeld(Kind::Connect);
    ChangeBusy(id, -1);
}

// A worker still inside one of its handlers has certainly not ended; only then is the task
// list asked.
void OnDisconnect(net::ConnId id) {
    const ThreadId worker = WorkerOf(id);
    const bool gone = worker != 0 && !IsBusy(id) && ThreadEnds(worker);
    Record({Kind::Disconnect, id, "", ThisThreadId(), 0, -1, gone});
    WaitWhileHeld(Kind::Disconnect);
}

void OnData(net::ConnId id, std::string_view data) {
    ChangeBusy(id, +1);
    Record({Kind::Data, id, std::string(data), ThisThreadId(), 0, -1, false});
    WaitWhileHeld(Kind::Data);
    ChangeBusy(id, -1);
}

void AdoptConnection(net::ConnId server, int socket, std::string_view peerAddress) {
    std::string address(peerAddress);
    net::ConnId adopted = 0;
    net::CreateAccept(socket, adopted, address, OnDisconnect, OnConnect, OnData);
    Record({Kind::NewConnection, server, std::string(peerAddress), ThisThreadId(), adopted, -1, false});
}

void KeepConnection(net::ConnId server, int socket, std::string_view peerAddress) {
    Record({Kind::NewConnection, server, std::string(peerAddress), ThisThreadId(), 0, socket, false});
}

void Hold(Kind kind) {
    std::lock_guard guard(state.lock);
    state.held[kind] = true;
}

void Release(Kind kind) {
    std::lock_guard guard(state.lock);
    state.held[kind] = false;
    state.changed.notify_all();
}

std::uint16_t ServerPort(net::ConnId server) {
    std::lock_guard lock(net::ListLock());
    const net::ConnectionRecord* record = net::FindRecord(server);
    return record == nullptr ? 0 : LocalPort(record->V_SOCKET);
}

// A joined thread may linger in the system's lists for a moment while it is finished.
bool ThreadEnds(ThreadId thread) {
    for (int look = 0; look < kThreadEndLooks; ++look) {
        if (!ThreadAlive(thread)) return true;
        std::this_thread::sleep_for(kThreadEndLookPause);
    }
    return false;
}

net::ConnId NewServer() {
    net::ConnId id = 0;
    EXPECT_EQ(net::CreateServer(id, 0, 1, KeepConnection, nullptr), net::kNoError);
    return id;
}

LoopbackPair ConnectLoopbackPair() {
    LoopbackPair pair;
    EXPECT_EQ(net::CreateServer(pair.server, 0, 1, AdoptConnection, nullptr), net::kNoError);
    EXPECT_EQ(net::CreateClient(pair.client, "127.0.0.1", ServerPort(pair.server), OnDisconnect,
                                OnConnect, OnData, kLoopbackConnectTimeout),
              net::kNoError);
    const net::ConnId server = pair.server;
    EXPECT_TRUE(WaitFor([server] { return CountOf(Kind::NewConnection, server) == 1; }));
    pair.accepted = AdoptedBy(pair.server, 1);
    return pair;
}

RawPeer ConnectToRawPeer() {
    RawPeer pair;
    std::uint16_t port = 0;
    pair.listener = ListenLoopback(port);
    EXPECT_EQ(net::CreateClient(pair.client, "127.0.0.1", port, OnDisconnect, OnConnect, OnData,
                                kLoopbackConnectTimeout),
              net::kNoError);
    pair.peer = AcceptOne(pair.listener);
    EXPECT_GE(pair.peer, 0);
    return pair;
}

void CloseRaw(const RawPeer& pair) {
    if (pair.peer >= 0) RawClose(pair.peer);
    RawClose(pair.listener);
}

void WatchedTest::SetUp() {
    ResetEvents();
    {
        std::lock_guard guard(state.lock);
        state.watching = true;
    }
    watchdog_ = std::thread([] {
        std::unique_lock guard(state.lock);
        if (!state.changed.wait_for(guard, std::chrono::seconds(kWatchdogSeconds),
                                    [] { return !state.watching; })) {
            std::fprintf(stderr, "watchdog: test still running after %d s\n", kWatchdogSeconds);
            std::abort();
        }
    });
}

void WatchedTest::TearDown() {
    {
        std::lock_guard guard(state.lock);
        state.watching = false;
        state.held.clear();
        state.changed.notify_all();
    }
    watchdog_.join();
}

void LayerTest::SetUp() {
    WatchedTest::SetUp();
    net::StartConnectionLayer();
}

void LayerTest::TearDown() {
    // Held handlers would keep the stop waiting.
    Release(Kind::Connect);
    Release(Kind::Data);
    Release(Kind::Disconnect);
    net::StopConnectionLayer();
    WatchedTest::TearDown();
}

}  // namespace nettest
