// Fuzz target: an offer as received, split into name and size and held to the
// rules. A name that is taken is a plain name; a size that is taken is the
// number its digits spell, within range; the KiB figure reads back as the size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "game/files/file_access.h"
#include "game/files/transfer_rules.h"

namespace {

constexpr double kBytesPerKiB = 1024.0;
constexpr double kTolerance = 1e-9;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_offer: %s\n", what);
    std::abort();
}

void CheckName(const std::string& name) {
    if (!game::IsPlainFileName(name)) return;
    if (name.empty() || name == "." || name == "..") Fail("a special name was taken");
    if (name.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        Fail("a name with a separator or NUL was taken");
}

// The digits without leading zeros are the decimal form of the size.
void CheckSize(const std::string& text) {
    std::int32_t size = -1;
    if (!game::ParseOfferedSize(text, size)) return;
    if (size < 0 || size > game::kMaxTransferSize) Fail("a size out of range was taken");
    const std::size_t first = text.find_first_not_of('0');
    const std::string digits = first == std::string::npos ? "0" : text.substr(first);
    if (digits != std::to_string(size)) Fail("the size is not what its digits spell");
    const std::string kib = game::SizeInKiB(size);
    if (kib.find_first_of("eE") != std::string::npos) Fail("the KiB figure is not plain decimal");
    const double back = std::strtod(kib.c_str(), nullptr) * kBytesPerKiB;
    const double exact = static_cast<double>(size);
    if (back - exact > kTolerance * (exact + 1) || exact - back > kTolerance * (exact + 1))
        Fail("the KiB figure does not read back as the size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string message = "DATA:" + std::string(reinterpret_cast<const char*>(data), size);
    const game::OfferParts parts = game::SplitOffer(message);
    CheckName(parts.name);
    CheckSize(parts.size);
    return 0;
}
