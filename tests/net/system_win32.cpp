// The net tests' own raw sockets and process introspection on Windows: Winsock sockets, and the
// process's handle count and thread list from the system. Nothing here touches the layer.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <tlhelp32.h>

#include <climits>

#include "tests/net/system.h"

namespace nettest {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

SOCKET Handle(int socket) {
    return static_cast<SOCKET>(socket);
}

int ToInt(SOCKET socket) {
    return socket == INVALID_SOCKET ? -1 : static_cast<int>(socket);
}

// The tests start the layer, which starts the socket library; raw sockets made before it
// need it too.
struct SocketLibrary {
    SocketLibrary() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

const SocketLibrary library;

}  // namespace

ThreadId ThisThreadId() {
    return GetCurrentThreadId();
}

int RawSocket() {
    return ToInt(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

void RawClose(int socket) {
    closesocket(Handle(socket));
}

long RawSend(int socket, std::string_view bytes) {
    return send(Handle(socket), bytes.data(), static_cast<int>(bytes.size()), 0);
}

long RawReceive(int socket, char* buffer, std::size_t capacity) {
    return recv(Handle(socket), buffer, static_cast<int>(capacity), 0);
}

bool SetRawNonBlocking(int socket, bool nonBlocking) {
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(Handle(socket), FIONBIO, &mode) == 0;
}

// Only the option's low byte is written here, so the value starts at 0.
int StartConnectLoopback(std::uint16_t port) {
    const int sock = RawSocket();
    u_long on = 1;
    const sockaddr_in address = Loopback(port);
    if (sock >= 0 && ioctlsocket(Handle(sock), FIONBIO, &on) == 0)
        connect(Handle(sock), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sock;
}

void SendWithoutDelay(int socket) {
    const int on = 1;
    setsockopt(Handle(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
               sizeof on);
}

bool WaitRaw(int socket, bool forWriting, int timeoutMs) {
    WSAPOLLFD wanted{Handle(socket), static_cast<SHORT>(forWriting ? POLLWRNORM : POLLRDNORM), 0};
    return WSAPoll(&wanted, 1, timeoutMs) > 0;
}

void ResetOnClose(int socket) {
    const linger abort{1, 0};
    setsockopt(Handle(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               sizeof abort);
}

bool SendsWithoutDelay(int socket) {
    int on = 0;
    int size = sizeof on;
    return getsockopt(Handle(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on),
                      &size) == 0 &&
           on != 0;
}

bool RawListen(int socket) {
    return listen(Handle(socket), SOMAXCONN) == 0;
}

int ListenLoopback(std::uint16_t& port) {
    const int listener = BindLoopback(port);
    if (listener >= 0 && listen(Handle(listener), SOMAXCONN) != 0) {
        RawClose(listener);
        return -1;
    }
    return listener;
}

int BindLoopback(std::uint16_t& port) {
    const int sock = RawSocket();
    const sockaddr_in address = Loopback(0);
    if (sock < 0 ||
        bind(Handle(sock), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (sock >= 0) RawClose(sock);
        return -1;
    }
    port = LocalPort(sock);
    return sock;
}

int ConnectLoopback(std::uint16_t port, int receiveBuffer) {
    const int sock = RawSocket();
    if (receiveBuffer > 0) {
        setsockopt(Handle(sock), SOL_SOCKET, SO_RCVBUF,
                   reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    }
    const sockaddr_in address = Loopback(port);
    if (connect(Handle(sock), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        RawClose(sock);
        return -1;
    }
    return sock;
}

int AcceptOne(int listener) {
    return ToInt(accept(Handle(listener), nullptr, nullptr));
}

std::uint16_t LocalPort(int socket) {
    sockaddr_in address{};
    int length = sizeof address;
    if (getsockname(Handle(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::string ReceiveExactly(int socket, std::size_t count) {
    std::string received(count, '\0');
    std::size_t have = 0;
    while (have < count) {
        const int got = RawReceive(socket, received.data() + have, count - have);
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    received.resize(have);
    return received;
}

bool PeerClosed(int socket) {
    WSAPOLLFD wanted{Handle(socket), POLLRDNORM, 0};
    if (WSAPoll(&wanted, 1, static_cast<int>(kEventWaitSeconds * 1000)) <= 0) return false;
    char byte = 0;
    return recv(Handle(socket), &byte, 1, 0) <= 0;
}

bool IsOpen(int descriptor) {
    int type = 0;
    int length = sizeof type;
    return getsockopt(Handle(descriptor), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type),
                      &length) == 0;
}

int QueuedForReading(int socket) {
    u_long queued = 0;
    return ioctlsocket(Handle(socket), FIONREAD, &queued) == 0 ? static_cast<int>(queued) : -1;
}

std::size_t OpenDescriptorCount() {
    DWORD handles = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &handles) ? handles : 0;
}

std::size_t ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    std::size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

bool ThreadAlive(ThreadId thread) {
    const HANDLE handle = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                                     static_cast<DWORD>(thread));
    if (handle == nullptr) return false;
    DWORD code = 0;
    const bool alive = GetExitCodeThread(handle, &code) && code == STILL_ACTIVE;
    CloseHandle(handle);
    return alive;
}

}  // namespace nettest
