// Finding a game on the local network: a waiting server announces itself about once a second,
// and the lobby lists the servers it hears. Owns the announcing thread, the listening thread and
// the servers heard; draws nothing (the lobby logs the addresses it is handed) and never blocks
// the lobby. Datagrams of any size, content, number or rate cost bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "game/core/match_state.h"

namespace game {

// At most this many servers are remembered; one silent for kSilentMs is listed again when it
// is heard again.
inline constexpr std::size_t kMaxServersHeard = 32;
inline constexpr std::int64_t kSilentMs = 5000;

// The server announces itself from now until StopAnnouncing, while no opponent is connected.
void StartAnnouncing() EXCLUDES(ScreenMutex);
// An opponent came or went: the announcer looks again.
void WakeAnnouncer();
void StopAnnouncing() EXCLUDES(ScreenMutex);

// The lobby listens while `listening`; the first call opens the listener, which then stays for
// the run and drops what it hears while the lobby does not listen. A datagram heard wakes the
// lobby's idle step.
void ListenForServers(bool listening);
// The servers heard for the first time, or again after falling silent, since the last call:
// their dotted addresses, in the order heard.
std::vector<std::string> TakeFoundServers();

}  // namespace game
