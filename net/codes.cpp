// The table of result codes and their descriptions.
// Owns the texts only (kept byte for byte, spelling included, since tools match on them);
// never touches connections.
#include "net/codes.h"

#include <array>

namespace net {
namespace {

struct CodeText {
    ResultCode code;
    std::string_view text;
};

constexpr std::array kCodeTexts{
    CodeText{kUnknownError, "Unknown error"},
    CodeText{kNoError, "No error"},
    CodeText{kUnknownEventId, "Unknown EventID"},
    CodeText{kNoSocketInRecord, "No Socket found in 'V_SOCKET'"},
    CodeText{kCannotCreateSocket, "Can't create socket"},
    CodeText{kCannotBindPort, "Can't bind port on socket"},
    CodeText{kCannotListen, "Can't set socket into listening-mode"},
    CodeText{kSocketAlreadyInitialised, "Socket is already initalized"},
    CodeText{kMaxSimConReqOutOfRange, "'V_MaxSimConReq' is out of range"},
    CodeText{kPortOutOfRange, "Port out of range"},
    CodeText{kCannotResolveHost, "Can't resolve IPA from host"},
    CodeText{kConnectTimeout, "Can't connect to remote computer [Timeout?]"},
    CodeText{kConnIdNotFound, "Connection ID not found"},
    CodeText{kMissingEventHandler, "Missing pointer of 'V_Event...'"},
    CodeText{kIpaAlreadyInList, "IPA already in list"},
    CodeText{kIpaNotInList, "IPA is not in list"},
    CodeText{kBlockingModeError, "Return error in callback"},
    CodeText{kIpaNotFound, "IPA not found"},
    CodeText{kSendError,
             "Error while sending data. Not sure all data transmitted. Maybe connection lost or "
             "disconnected"},
    CodeText{kNotAServer, "Connection ID is not a server"},
    CodeText{kThreadStartFailed, "Can't start thread [Connection layer not running?]"},
    CodeText{kNoIpv6, "No IPV6 supportet!"},
    CodeText{kConnectCancelled, "Connect cancelled"},
};

constexpr std::string_view kUnknownCodeText = "Unknown result code";

}  // namespace

std::string_view ResultCodeText(ResultCode code) {
    for (const CodeText& entry : kCodeTexts) {
        if (entry.code == code) return entry.text;
    }
    return kUnknownCodeText;
}

}  // namespace net
