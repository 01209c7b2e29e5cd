// Building the messages of the wire format.
#include "game/wire/protocol.h"

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

std::string OfferMessage(std::string_view name, std::int64_t size) {
    std::string message(kOfferKeyword);
    message += name;
    message += kOfferNameEnd;
    message += std::to_string(size);
    return message;
}

namespace {

void AppendBigEndian(std::string& out, std::uint64_t value, std::size_t count) {
    constexpr int kBitsPerByte = 8;
    for (std::size_t i = count; i-- > 0;)
        out += static_cast<char>(value >> (kBitsPerByte * i) & 0xFF);
}

}  // namespace

std::string GreetingMessage(int extension) {
    constexpr int kTens = 10;
    std::string message(kSystemKeyword);
    message += kGreetingLetter;
    message += kGreetingName;
    message += static_cast<char>('0' + extension / kTens % kTens);
    message += static_cast<char>('0' + extension % kTens);
    return message;
}

std::string FrameHeader(char type, std::uint64_t length) {
    std::string header(kSystemKeyword);
    header += kFrameLetter;
    header += type;
    AppendBigEndian(header, length, kFrameLengthBytes);
    return header;
}

std::string Frame(char type, std::string_view payload) {
    std::string frame = FrameHeader(type, payload.size());
    frame += payload;
    return frame;
}

std::string OfferFrame(std::string_view name, std::int64_t size) {
    std::string payload;
    AppendBigEndian(payload, static_cast<std::uint64_t>(size), kSizeBytes);
    payload += name;
    return Frame(kOfferFrame, payload);
}

std::string EndFrame(std::uint32_t checksum) {
    std::string payload;
    AppendBigEndian(payload, checksum, kChecksumBytes);
    return Frame(kEndFrame, payload);
}

std::uint64_t ReadBigEndian(std::string_view bytes, std::size_t at, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace game
