// The receive side of the game protocol: the bytes of the one connection to
// the opponent, cut into whole messages by their known lengths, and file data
// taken by count while an accepted file arrives. Owns only the bytes not yet
// cut; never draws, never sends and never touches a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "game/protocol.h"

namespace game {

enum class MessageKind {
    kReady,     // "SYST:R"
    kShot,      // "SHOT:" + column digit + row digit
    kHit,       // "SYST:H" + column digit + row digit
    kMiss,      // "SYST:W" + column digit + row digit
    kAccept,    // "SYST:j"
    kRefuse,    // "SYST:n"
    kChat,      // "NACHR:" + length byte + text
    kOffer,     // "DATA:" + name + "?" + size, up to the next keyword
    kFileData,  // raw bytes of an accepted file
};

struct Message {
    MessageKind kind;
    std::string bytes;  // the whole message as it came, or the file bytes
};

// The stream never holds more than the longest incomplete message.
inline constexpr std::size_t kMaxHeldBytes = 512;

// Forgets every byte held and any file being received: a new connection.
void ResetStream();

// Takes the bytes of one receive and returns every message they complete, in
// the order they were sent. Bytes that fit no message are dropped up to the
// next place where a keyword could start.
std::vector<Message> FeedStream(std::string_view received);

// The next `size` bytes (in chunks of kFileChunkBytes, the last one the
// remainder) are the contents of an accepted file. Zero means none.
void ExpectFileData(std::uint32_t size);
// Stops taking file data; what follows is read as messages again.
void CancelFileData();
// File bytes still due; 0 while no file is arriving.
std::uint32_t FileBytesDue();

// Bytes held while waiting for the rest of a message; for tests.
std::size_t HeldBytes();

}  // namespace game
