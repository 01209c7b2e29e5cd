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
std::string SizeInKiB(std::int32_t size);

}  // namespace game
