// One side of a link between two copies of the game's network part, each in a test process of
// its own: the real stream, dispatcher, sender and file transfer over a real loopback
// connection, drawn on an offscreen frame, with no window, lobby or placement screen. Both
// sides get ready at once and then fire whenever their turn allows; every offer is taken.
#pragma once

#include <cstdint>
#include <string>

namespace linktest {

// This process becomes one side: it serves `port` on loopback for one opponent, or connects to
// it, and returns once the connection stands and both sides are ready; false on a time-out.
bool StartSide(bool serve, std::uint16_t port);
// Fires a shot whenever it is this side's turn, until the process ends.
void StartFiring();
// Shots this side fired so far.
int ShotsFired();
// Answers every offer of the opponent with "j".
void StartAccepting();
// Sends the file at `path` as "sendfile" does and waits until its sending has ended; returns
// what the message log shows of it, its rows joined, so a line that wraps reads whole.
std::string SendFile(const std::string& path);
// Whether the connection still stands.
bool Connected();

// The other process of the link: this program started again with the arguments PeerArguments
// gives, run from main before anything else of the test. Returns a status to exit with.
int RunPeer(int argc, char** argv);
bool IsPeerCall(int argc, char** argv);

}  // namespace linktest
