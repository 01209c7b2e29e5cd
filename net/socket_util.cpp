// Small socket helpers shared by the creating operations and the workers.
// Owns nothing; never touches records or locks.
#include "net/socket_util.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace net {
namespace {

bool ReadEndpoint(int (*read)(int, sockaddr*, socklen_t*), int socket, sockaddr_in& address) {
    socklen_t length = sizeof address;
    return read(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           length == sizeof address && address.sin_family == AF_INET;
}

}  // namespace

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = address;
    return result;
}

bool ReadPeerAddress(int socket, std::string& text) {
    sockaddr_in peer{};
    if (!ReadEndpoint(getpeername, socket, peer)) return false;
    char dotted[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted) == nullptr) return false;
    text = dotted;
    return true;
}

bool IsSelfConnected(int socket) {
    sockaddr_in local{};
    sockaddr_in peer{};
    return ReadEndpoint(getsockname, socket, local) && ReadEndpoint(getpeername, socket, peer) &&
           local.sin_port == peer.sin_port && local.sin_addr.s_addr == peer.sin_addr.s_addr;
}

void AllowQuickRebind(int socket) {
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

void SetUpConnectedSocket(int socket) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
}

}  // namespace net
