// Building the messages of the wire format.
#include "game/protocol.h"

namespace game {

std::string ShotMessage(int column, int row) {
    std::string message(kShotKeyword);
    message += static_cast<char>('0' + column);
    message += static_cast<char>('0' + row);
    return message;
}

std::string AnswerMessage(bool hit, std::string_view digits) {
    std::string message(kSystemKeyword);
    message += hit ? kHitLetter : kMissLetter;
    message += digits;
    return message;
}

std::string ChatMessage(std::string_view text) {
    std::string message(kChatKeyword);
    message += static_cast<char>(text.size());
    message += text;
    return message;
}

std::string OfferMessage(std::string_view name, std::int32_t size) {
    std::string message(kOfferKeyword);
    message += name;
    message += kOfferNameEnd;
    message += std::to_string(size);
    return message;
}

}  // namespace game
