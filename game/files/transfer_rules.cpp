// Offer parsing, the check on offered sizes and the size shown in KiB.
#include "game/files/transfer_rules.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "game/wire/protocol.h"

namespace game {
namespace {

constexpr double kBytesPerKiB = 1024.0;
constexpr int kTextCapacity = 32;
constexpr double kMsPerSecond = 1000.0;
constexpr double kStep = 1000.0;
constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};

// Bytes below 1000 as they are; more in the largest unit of 1000 that keeps the number at 1 or
// more, with one decimal after a comma: "999 B", "1,0 KB", "212,4 MB".
std::string Amount(double bytes) {
    char text[kTextCapacity];
    if (bytes < kStep) {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
        return text;
    }
    std::size_t unit = 0;
    for (bytes /= kStep; bytes >= kStep && unit + 1 < std::size(kUnits); ++unit)
        bytes /= kStep;
    std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
    std::string shown = text;
    std::replace(shown.begin(), shown.end(), '.', ',');
    return shown;
}

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
std::string SizeInKiB(std::int64_t size) {
    char text[kTextCapacity];
    std::snprintf(text, sizeof text, "%.16g", static_cast<double>(size) / kBytesPerKiB);
    return text;
}

bool SplitFramedOffer(std::string_view payload, std::int64_t& size, std::string& name) {
    if (payload.size() < kSizeBytes) return false;
    const std::uint64_t value = ReadBigEndian(payload, 0, kSizeBytes);
    if (value > static_cast<std::uint64_t>(kMaxFramedSize)) return false;
    size = static_cast<std::int64_t>(value);
    name = payload.substr(kSizeBytes);
    return true;
}

std::string TemporaryName(long process, int count) {
    return ".marevant-" + std::to_string(process) + "-" + std::to_string(count) + ".part";
}

std::string SizeAndRate(std::int64_t bytes, std::int64_t elapsedMs) {
    const double seconds = static_cast<double>(std::max<std::int64_t>(elapsedMs, 1)) / kMsPerSecond;
    return " (" + Amount(static_cast<double>(bytes)) + ", " +
           Amount(static_cast<double>(bytes) / seconds) + "/s)";
}

}  // namespace game
