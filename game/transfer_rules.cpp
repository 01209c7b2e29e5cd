// Offer parsing, the check on offered sizes and the size shown in KiB.
#include "game/transfer_rules.h"

#include <algorithm>
#include <cstdio>

#include "game/protocol.h"

namespace game {
namespace {

constexpr double kBytesPerKiB = 1024.0;
constexpr int kTextCapacity = 32;

}  // namespace

OfferParts SplitOffer(std::string_view message) {
    message.remove_prefix(std::min(message.size(), kOfferKeyword.size()));
    const std::size_t mark = message.find(kOfferNameEnd);
    if (mark == std::string_view::npos) return {std::string(message), {}};
    return {std::string(message.substr(0, mark)), std::string(message.substr(mark + 1))};
}

bool ParseOfferedSize(std::string_view text, std::int32_t& size) {
    if (text.empty()) return false;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > kMaxTransferSize) return false;
    }
    size = static_cast<std::int32_t>(value);
    return true;
}

// A size over 1024 is a dyadic fraction, so its decimal expansion ends; 16
// significant digits print it in full for every size below 2^31 but the
// largest few, which round in the last digit.
std::string SizeInKiB(std::int32_t size) {
    char text[kTextCapacity];
    std::snprintf(text, sizeof text, "%.16g", size / kBytesPerKiB);
    return text;
}

}  // namespace game
