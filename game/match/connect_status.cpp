// The texts of a connection being made. Code page 437: 0x81 u-umlaut, 0x84 a-umlaut,
// 0x94 o-umlaut.
#include "game/match/connect_status.h"

#include <array>

namespace game {
namespace {

struct Reason {
    net::ResultCode code;
    std::string_view text;
};

constexpr std::array kReasons{
    Reason{net::kCannotCreateSocket, "Kein Netzwerk-Socket verf\x81gbar"},
    Reason{net::kCannotBindPort, "Port 9000 ist belegt, wohl durch ein laufendes Spiel"},
    Reason{net::kCannotListen, "Auf Port 9000 kann nicht gewartet werden"},
    Reason{net::kCannotResolveHost, "Die Adresse kann nicht aufgel\x94st werden"},
    Reason{net::kConnectTimeout, "Niemand hat in 60 s auf Port 9000 geantwortet"},
    Reason{net::kBlockingModeError, "Der Socket l\x84sst sich nicht einstellen"},
    Reason{net::kIpaNotFound, "Keine Adresse eingegeben"},
    Reason{net::kThreadStartFailed, "Das Netzwerk ist nicht gestartet"},
    Reason{net::kNoIpv6, "IPv6-Adressen werden nicht unterst\x81tzt"},
};

constexpr std::string_view kUnknown = "Unbekannter Fehler im Netzwerk";

}  // namespace

std::vector<std::string> AddressLines(const std::vector<std::string>& addresses) {
    std::vector<std::string> lines;
    for (const std::string& address : addresses)
        lines.push_back("Adresse: " + address);
    return lines;
}

std::string TryingLine(std::string_view address) {
    return "Verbinde mit " + std::string(address);
}

std::string_view FailureReason(net::ResultCode code) {
    for (const Reason& reason : kReasons) {
        if (reason.code == code) return reason.text;
    }
    return kUnknown;
}

}  // namespace game
