// The three operations that bring a connection into the registry: a listening server, a
// client with a connect time-out, and the adoption of a socket a server accepted.
// Owns the socket work before a record exists; never closes a listed record's socket.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/types.h"

namespace net {

// Largest listen backlog a server may ask for.
inline constexpr std::uint16_t kMaxSimConReqLimit = 4096;
// Pause between two connect attempts of CreateClient.
inline constexpr int kConnectRetryPauseMilliseconds = 1;

// Every failure sets `id` to 0 and leaves neither a record nor an open socket behind.

// Listens on 0.0.0.0:port (0 lets the system choose) with a backlog of V_MaxSimConReq (1 to
// 4096). Each accepted socket goes to V_EventNewConnection, which must adopt it with
// CreateAccept or close it.
ResultCode CreateServer(ConnId& id, std::uint16_t port, std::uint16_t V_MaxSimConReq,
                        NewConnectionHandler V_EventNewConnection,
                        NewConnectionDeniedHandler V_EventNewConnectionDenied);

// Connects to host:port (dotted IPv4 or a name), trying again every millisecond until a
// connection stands or timeoutSeconds have passed (then kConnectTimeout), or until
// CancelConnects is called (then kConnectCancelled).
ResultCode CreateClient(ConnId& id, std::string_view host, std::uint16_t port,
                        DisconnectHandler V_EventDisconnect, ConnectHandler V_EventConnect,
                        NewDataHandler V_EventNewData, std::uint32_t timeoutSeconds);

// Adopts a connected socket; `address` becomes the peer's dotted address when it can be read.
// The socket belongs to the layer from then on, also when the adoption fails (it is closed).
ResultCode CreateAccept(int socket, ConnId& id, std::string& address,
                        DisconnectHandler V_EventDisconnect, ConnectHandler V_EventConnect,
                        NewDataHandler V_EventNewData);

// Closes a socket handed to V_EventNewConnection that the handler does not adopt.
void RefuseConnection(int socket);

// Every CreateClient now trying to connect gives up at its next attempt. A name lookup under
// way is not cut short; the attempts after it are.
void CancelConnects();

// The dotted IPv4 addresses this machine can be reached at: every interface that is up, the
// loopback interface only when there is no other.
std::vector<std::string> LocalAddresses();

}  // namespace net
