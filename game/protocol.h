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

// "SHOT:" and the 0-based column and row digits.
std::string ShotMessage(int column, int row);
// "SYST:H" or "SYST:W" and the two digits of the shot answered.
std::string AnswerMessage(bool hit, std::string_view digits);
// "NACHR:", the length byte and the text (at most kMaxChatText bytes).
std::string ChatMessage(std::string_view text);
// "DATA:", the name, "?" and the decimal size.
std::string OfferMessage(std::string_view name, std::int32_t size);

// The 0-based cell a coordinate digit of a shot or an answer names.
constexpr int DigitValue(char digit) {
    return digit - '0';
}

}  // namespace game
