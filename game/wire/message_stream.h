// The receive side of the game protocol: the bytes of the one connection to the opponent, cut
// into whole messages, frames and file data. A greeted peer's offers and files come in frames
// whose lengths say where they end; a plain peer's file data is counted off by the rules of
// plain_peer.h. Owns only the bytes not yet cut and where a frame stands; never draws, never
// sends and never touches a file. Its state is guarded by the screen mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "game/core/match_state.h"
#include "game/wire/message_parse.h"
#include "game/wire/plain_peer.h"

namespace game {

// The stream never holds more than the longest incomplete message or small frame.
inline constexpr std::size_t kMaxHeldBytes = 512;

// Forgets every byte held, any file being received and the peer's greeting: a new connection.
void ResetStream() REQUIRES(ScreenMutex);

// Takes the bytes of one receive, which arrived at `arrivalMs` (milliseconds on a steady clock).
void FeedStream(std::string_view received, std::int64_t arrivalMs) REQUIRES(ScreenMutex);
// While a data frame's payload is due and nothing is held, the front of `received` that belongs
// to it needs no cutting: that part is taken off here and returned, to be handed on as file
// data; the rest is for FeedStream. A file that streams in is then never copied into the stream.
std::string_view TakeFrameDataAhead(std::string_view received) REQUIRES(ScreenMutex);
// The next whole message the bytes so far allow, in the order sent; false when more bytes are
// needed. Bytes that fit no message are dropped up to the next place where a keyword could
// start. `couldCome` judges look-alikes at the chunk boundaries of a plain peer's file.
bool NextMessage(Message& message, BoundaryRule couldCome) REQUIRES(ScreenMutex);

// The highest extension both sides speak, as the peer's greeting on this connection named it;
// 0 for a plain peer, or before its greeting. Frames are read, and sent, from kFramedFiles on.
int PeerExtension() REQUIRES(ScreenMutex);

}  // namespace game
