// A lossy link for end-to-end tests: two named network namespaces joined by a
// relay between one TUN device in each, which delays, jitters, drops or blacks
// out the packets it forwards, switched at run time by plain calls. Owns the two
// namespaces, their TUNs and one relay thread; never changes the namespace of a
// caller's thread and never touches an interface outside the two namespaces.
#pragma once

#include <cstdint>
#include <string>

namespace e2e {

inline constexpr int kLinkSideA = 0;  // 10.77.0.1/24 in namespace "mvA-<pid>"
inline constexpr int kLinkSideB = 1;  // 10.77.0.2/24 in namespace "mvB-<pid>"
inline constexpr std::uint64_t kDefaultLinkSeed = 9000;

// Applies at once to every packet not yet forwarded: loss and blackout are
// decided when a packet is due, the delay is added then too; only the jitter is
// drawn when a packet arrives. Jitter that would make a packet early is cut at
// no delay. Loss is clamped to 0..100, negative times to 0.
struct LinkImpairment {
    int delayMs = 0;         // one way, the same in both directions
    int jitterMs = 0;        // uniform in [-jitterMs, +jitterMs]; reorders packets
    double lossPercent = 0;  // drawn for each packet and direction on its own
    bool blackout = false;   // drops everything, queued packets included
};

struct LossyLinkConfig {
    LinkImpairment impairment;              // in force from the first packet
    std::uint64_t seed = kDefaultLinkSeed;  // the same seed gives the same draws
};

// Makes both namespaces with loopback and the TUN up and starts the relay, plus a
// janitor process that deletes the namespaces if this process dies without
// StopLossyLink (crash, SIGKILL). False, with everything undone, on any failure
// or when a link is already running. Needs root (CAP_SYS_ADMIN, CAP_NET_ADMIN)
// and ip(8); works from the initial namespace and from inside `unshare -n`.
bool StartLossyLink(const LossyLinkConfig& config);

void SetLinkImpairment(const LinkImpairment& impairment);

// For side kLinkSideA or kLinkSideB; "" for any other, and the name "" while no link runs.
std::string LinkNamespace(int side);
const char* LinkAddress(int side);

// The namespace's descriptor, opened close-on-exec by StartLossyLink; -1 when none.
int LinkNamespaceFd(int side);

// For a forked child before exec: only setns(2) on the descriptor opened by
// StartLossyLink, so it is async-signal-safe. The child's sockets made after it
// live in that namespace; files, X11's filesystem sockets included, stay shared.
bool EnterLinkNamespace(int side);

// Stops the relay, closes the TUNs and deletes the namespaces; does nothing a
// second time or in a forked child. Also runs at exit().
void StopLossyLink();

}  // namespace e2e
