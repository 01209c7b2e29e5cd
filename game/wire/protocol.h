// The game's wire format: the bytes of every message, their lengths and the limits both sides
// keep. One definition for the sender, the stream parser and the tests; it builds bytes only,
// and never sends, parses a stream or draws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace game {

inline constexpr std::string_view kSystemKeyword = "SYST:";
inline constexpr std::string_view kShotKeyword = "SHOT:";
inline constexpr std::string_view kChatKeyword = "NACHR:";
inline constexpr std::string_view kOfferKeyword = "DATA:";
// Every keyword, in the order a mixed stream is searched for them.
inline constexpr std::string_view kKeywords[] = {kSystemKeyword, kShotKeyword, kChatKeyword,
                                                 kOfferKeyword};

// The letter after "SYST:".
inline constexpr char kReadyLetter = 'R';
inline constexpr char kHitLetter = 'H';
inline constexpr char kMissLetter = 'W';
inline constexpr char kAcceptLetter = 'j';
inline constexpr char kRefuseLetter = 'n';

inline constexpr std::string_view kReadyMessage = "SYST:R";
inline constexpr std::string_view kAcceptMessage = "SYST:j";
inline constexpr std::string_view kRefuseMessage = "SYST:n";

inline constexpr std::size_t kSystemLength = 6;  // "SYST:" and one letter
inline constexpr std::size_t kAnswerLength = 8;  // "SYST:H" or "SYST:W" and two digits
inline constexpr std::size_t kAnswerDigitsAt = 6;
inline constexpr std::size_t kShotLength = 7;  // "SHOT:" and two digits
inline constexpr std::size_t kShotDigitsAt = 5;
inline constexpr std::size_t kChatHeader = 7;  // "NACHR:" and the length byte; the text follows
inline constexpr char kOfferNameEnd = '?';

// File data travels in chunks of this size, the last one the remainder; only between two of
// them can a message stand.
inline constexpr std::size_t kFileChunkBytes = 6144;
// The input line sends a line once it holds this many bytes, so one two-byte key more makes
// the longest chat text there is.
inline constexpr std::size_t kChatAutoSendBytes = 217;
inline constexpr std::size_t kMaxChatText = kChatAutoSendBytes + 1;
// The longest file name an offer may carry.
inline constexpr std::size_t kMaxOfferName = 255;

// The greeting, the first bytes each side sends on a connection: "SYST:V", the program's name,
// "/" and two digits naming the highest extension of the wire it speaks. A peer that knows no
// more than the messages above ignores a block that begins with "SYST:" and a letter it does
// not know; one that drops what fits no message finds no keyword in it.
inline constexpr char kGreetingLetter = 'V';
inline constexpr std::string_view kGreetingName = "Marevant/";
inline constexpr std::size_t kGreetingNameAt = 6;
inline constexpr std::size_t kGreetingLevelAt = kGreetingNameAt + kGreetingName.size();
inline constexpr std::size_t kGreetingLength = kGreetingLevelAt + 2;
// Extension 1: offers and file data travel in frames.
inline constexpr int kFramedFiles = 1;
inline constexpr int kHighestExtension = kFramedFiles;

// A frame, used only with a peer whose greeting named kFramedFiles or more: "SYST:F", the
// frame's type letter, its payload length as eight bytes (most significant first), the payload.
inline constexpr char kFrameLetter = 'F';
inline constexpr std::size_t kFrameTypeAt = 6;
inline constexpr std::size_t kFrameLengthAt = 7;
inline constexpr std::size_t kFrameLengthBytes = 8;
inline constexpr std::size_t kFrameHeader = kFrameLengthAt + kFrameLengthBytes;
// An offer: the file's size as eight bytes, then its name.
inline constexpr char kOfferFrame = 'O';
// Bytes of the accepted file, in order.
inline constexpr char kDataFrame = 'D';
// The end of the file: the CRC-32 of all its bytes as four bytes.
inline constexpr char kEndFrame = 'E';
inline constexpr std::size_t kSizeBytes = 8;
inline constexpr std::size_t kChecksumBytes = 4;
// Data frames carry at most this much: a message queued meanwhile waits behind one frame at
// most, and a frame is large enough that the header costs nothing.
inline constexpr std::size_t kDataFramePayload = 64 * 1024;
// The largest file size a framed offer carries: 2^63 - 1.
inline constexpr std::int64_t kMaxFramedSize = 0x7FFFFFFFFFFFFFFF;

// "SHOT:" and the 0-based column and row digits.
std::string ShotMessage(int column, int row);
// "SYST:H" or "SYST:W" and the two digits of the shot answered.
std::string AnswerMessage(bool hit, std::string_view digits);
// "NACHR:", the length byte and the text (at most kMaxChatText bytes).
std::string ChatMessage(std::string_view text);
// "DATA:", the name, "?" and the decimal size.
std::string OfferMessage(std::string_view name, std::int64_t size);

// "SYST:V", the name and the two digits of `extension`.
std::string GreetingMessage(int extension);
// A frame of `type` around `payload`.
std::string Frame(char type, std::string_view payload);
// The header of a frame of `type` whose payload is `length` bytes.
std::string FrameHeader(char type, std::uint64_t length);
// An offer frame for `name` of `size` bytes.
std::string OfferFrame(std::string_view name, std::int64_t size);
// The end frame with the file's CRC-32.
std::string EndFrame(std::uint32_t checksum);
// `count` bytes from `at`, most significant first, as the frames carry numbers.
std::uint64_t ReadBigEndian(std::string_view bytes, std::size_t at, std::size_t count);

// The 0-based cell a coordinate digit of a shot or an answer names.
constexpr int DigitValue(char digit) {
    return digit - '0';
}

}  // namespace game
