// What the player reads while a connection is being made: the lines the message log shows for
// a server that waits, a client that tries, a cancelled try, and the reason behind each code
// the connection layer can return from a start. Texts only; sends, draws and keeps nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "net/types.h"

namespace game {

inline constexpr std::string_view kCancelHint = "Abbrechen mit ESC";
inline constexpr std::string_view kCancelled = "Verbindungsaufbau abgebrochen";

// "Adresse: " and each address the other player can type to reach this server.
std::vector<std::string> AddressLines(const std::vector<std::string>& addresses);
// "Verbinde mit " and the address being tried.
std::string TryingLine(std::string_view address);
// The reason for a failed start, in words.
std::string_view FailureReason(net::ResultCode code);

}  // namespace game
