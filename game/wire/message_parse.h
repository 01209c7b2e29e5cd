// What the bytes at the start of a received stream are: a whole message of the wire, the
// beginning of one, or none. Pure functions over bytes; holds no state and knows nothing of
// files, frames or the game's turn.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace game {

enum class MessageKind {
    kReady,         // "SYST:R"
    kShot,          // "SHOT:" + column digit + row digit
    kHit,           // "SYST:H" + column digit + row digit
    kMiss,          // "SYST:W" + column digit + row digit
    kAccept,        // "SYST:j"
    kRefuse,        // "SYST:n"
    kChat,          // "NACHR:" + length byte + text
    kOffer,         // "DATA:" + name + "?" + size, up to the next keyword
    kGreeting,      // "SYST:V" + program name + two digits of the extension spoken
    kFileData,      // raw bytes of an accepted file
    kFileCutShort,  // no bytes: the arriving file ended before its size was reached
    kFramedOffer,   // the payload of an offer frame: size and name
    kFrameData,     // bytes of a data frame's payload
    kFramedEnd,     // the payload of an end frame: the file's checksum
};

struct Message {
    MessageKind kind;
    std::string bytes;  // the whole message as it came, the file bytes, or a frame's payload
};

enum class Fit { kComplete, kIncomplete, kNone };

struct Cut {
    Fit fit;
    MessageKind kind;
    std::size_t length;  // of a complete message
};

// The message at the start of `bytes`.
Cut ReadMessage(std::string_view bytes);

// The next place at or after `from` where a keyword starts, or could start in bytes still to
// come; bytes.size() when there is none.
std::size_t NextKeyword(std::string_view bytes, std::size_t from);

// The whole messages at the start of `bytes`, one after the other.
std::vector<Message> LeadingMessages(std::string_view bytes);

// The extension a complete greeting names.
int GreetingLevel(std::string_view greeting);

}  // namespace game
