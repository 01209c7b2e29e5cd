// Listening and broadcasting over the sockets seam.
#include "net/datagram.h"

#include "net/sockets.h"

namespace net {

int OpenDatagramListener(std::uint16_t port) {
    const int socket = OpenDatagramSocket();
    if (socket < 0) return kNoDatagramSocket;
    ShareDatagramPort(socket);
    if (!BindToAnyAddress(socket, port)) {
        CloseSocket(socket);
        return kNoDatagramSocket;
    }
    return socket;
}

bool ReceiveNextDatagram(int listener, std::string& data, std::uint32_t& source) {
    char buffer[kLargestDatagram + 1];
    const long count = ReceiveDatagram(listener, buffer, kLargestDatagram, source);
    if (count < 0) return false;
    data.assign(buffer, static_cast<std::size_t>(count));
    return true;
}

int OpenBroadcaster() {
    const int socket = OpenDatagramSocket();
    if (socket < 0) return kNoDatagramSocket;
    AllowBroadcast(socket);
    return socket;
}

int Broadcast(int broadcaster, std::uint16_t port, std::string_view data) {
    int sent = 0;
    for (const InterfaceAddress& entry : ListInterfaceAddresses()) {
        if (entry.broadcast != 0 && !entry.loopback &&
            SendDatagram(broadcaster, entry.broadcast, port, data)) {
            ++sent;
        }
    }
    return sent;
}

void CloseDatagramSocket(int socket) {
    if (socket >= 0) CloseSocket(socket);
}

bool IsDottedAddress(const std::string& text) {
    std::uint32_t address = 0;
    return ParseDottedAddress(text, address) && DottedText(address) == text;
}

}  // namespace net
