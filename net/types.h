// The layer's public vocabulary: connection handles, result codes and handler types.
// Holds names and numbers only; no state and no procedures live here.
#pragma once

#include <cstdint>
#include <string_view>

namespace net {

using ConnId = std::int32_t;
using ResultCode = std::int32_t;

// A connection handle that names no connection; handed back by every failed creation.
inline constexpr ConnId kNoConnection = 0;

inline constexpr ResultCode kUnknownError = 0;
inline constexpr ResultCode kNoError = -1;
inline constexpr ResultCode kUnknownEventId = -2;
inline constexpr ResultCode kNoSocketInRecord = -3;
inline constexpr ResultCode kCannotCreateSocket = -4;
inline constexpr ResultCode kCannotBindPort = -5;
inline constexpr ResultCode kCannotListen = -6;
inline constexpr ResultCode kSocketAlreadyInitialised = -7;
inline constexpr ResultCode kMaxSimConReqOutOfRange = -8;
inline constexpr ResultCode kPortOutOfRange = -9;
inline constexpr ResultCode kCannotResolveHost = -10;
inline constexpr ResultCode kConnectTimeout = -11;
inline constexpr ResultCode kConnIdNotFound = -12;
inline constexpr ResultCode kMissingEventHandler = -13;
inline constexpr ResultCode kIpaAlreadyInList = -14;
inline constexpr ResultCode kIpaNotInList = -15;
inline constexpr ResultCode kBlockingModeError = -16;
inline constexpr ResultCode kIpaNotFound = -17;
inline constexpr ResultCode kSendError = -18;
inline constexpr ResultCode kNotAServer = -19;
inline constexpr ResultCode kThreadStartFailed = -20;
inline constexpr ResultCode kNoIpv6 = -21;
inline constexpr ResultCode kConnectCancelled = -22;

using DisconnectHandler = void (*)(ConnId id);
using ConnectHandler = void (*)(ConnId id);
using NewDataHandler = void (*)(ConnId id, std::string_view data);
using NewDataUdpHandler = void (*)(ConnId id, std::string_view data);
using NewConnectionHandler = void (*)(ConnId server, int socket, std::string_view peerAddress);
using NewConnectionDeniedHandler = void (*)(ConnId server, std::string_view peerAddress);

}  // namespace net
