// The rules a file transfer is held to, as pure functions: which offered sizes
// are taken, how an offer splits into name and size, and the size shown in KiB.
// No state, no files, no screen; the rules for names depend on the file system
// and live with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace game {

// The largest size the offer's signed 32-bit field carries.
inline constexpr std::int64_t kMaxTransferSize = 2147483647;

struct OfferParts {
    std::string name;  // between "DATA:" and the first "?"
    std::string size;  // everything after that "?"
};

// Splits a whole "DATA:" message.
OfferParts SplitOffer(std::string_view message);

// A plain decimal number from 0 to kMaxTransferSize, digits only.
bool ParseOfferedSize(std::string_view text, std::int32_t& size);

// size / 1024 in plain decimal with up to 16 significant digits: 1536 gives
// "1.5", 1000 gives "0.9765625".
std::string SizeInKiB(std::int64_t size);

// An offer frame's payload: the size (at most 2^63 - 1) and the name; false when it is none.
bool SplitFramedOffer(std::string_view payload, std::int64_t& size, std::string& name);

// How much a transfer moved and how fast, as the end lines show it, with a decimal comma:
// " (212,4 MB, 96,1 MB/s)". Below 1 ms counts as 1 ms.
std::string SizeAndRate(std::int64_t bytes, std::int64_t elapsedMs);

// The name a received file grows under before it gets its own: hidden, in the current
// directory, told apart by the process and a count.
std::string TemporaryName(long process, int count);

// The progress bar is drawn at most this often, so drawing never holds a fast transfer back.
inline constexpr std::int64_t kProgressIntervalMs = 33;
// Whether the bar, last drawn at `drawnMs`, is due again at `nowMs`.
constexpr bool ProgressDue(std::int64_t drawnMs, std::int64_t nowMs) {
    return nowMs - drawnMs >= kProgressIntervalMs;
}

}  // namespace game
