// The connection registry: the ConnectionRecord, the ConnectionList that owns every record,
// ListLock and the ConnId counter. It hands out, finds and frees records; it never opens,
// waits on or closes a socket and never starts a thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/thread.h"
#include "net/types.h"

namespace net {

inline constexpr std::int32_t kStateNew = 0;
inline constexpr std::int32_t kStateCreated = 1;
inline constexpr std::int32_t kStateRunning = 2;
inline constexpr std::int32_t kStateClosed = 3;
inline constexpr std::int32_t kStateRemoving = 4;

inline constexpr std::int32_t kNoSocket = -1;
inline constexpr std::int32_t kProtocolTcp = 0;

// Size of an IPv4 socket address; the record keeps a block of this size.
inline constexpr std::size_t kSocketAddressBytes = 16;

// A connection's descriptor and the lock that keeps whole messages apart on it. Shared by the
// record and every send under way, and closed when the last of them lets go, so its number is
// never handed to another socket while anyone may still wait, receive or send on it.
struct OwnedSocket {
    int descriptor = kNoSocket;
    std::mutex sendLock;
};

// Takes the descriptor over; it is closed with the last holder.
std::shared_ptr<OwnedSocket> OwnSocket(int descriptor);

struct AddressFilterEntry {
    AddressFilterEntry* V_Next = nullptr;
    AddressFilterEntry* V_Prev = nullptr;
    std::string V_IPA;
};

// Every field is guarded by ListLock. A record is created zero-filled; its creator fills it
// in the same hold of ListLock that lists it, so no other thread ever sees it half-filled.
struct ConnectionRecord {
    ConnectionRecord* V_Next = nullptr;
    ConnectionRecord* V_Prev = nullptr;
    ConnId V_ID = 0;
    DisconnectHandler V_EventDisconnect = nullptr;
    ConnectHandler V_EventConnect = nullptr;
    NewConnectionHandler V_EventNewConnection = nullptr;
    NewConnectionDeniedHandler V_EventNewConnectionDenied = nullptr;
    NewDataHandler V_EventNewData = nullptr;
    NewDataUdpHandler V_EventNewDataUDP = nullptr;
    // The socket as callers see it: -1 as soon as Disconnect or the worker's end has run.
    std::int32_t V_SOCKET = 0;
    std::int32_t V_Protocol = 0;
    std::uint8_t V_IsServer = 0;
    std::string V_IPA;
    std::uint16_t V_Port = 0;
    // Reserved with the address filter below; nothing in this layer writes them.
    std::uint8_t V_SockAddr[kSocketAddressBytes] = {};
    std::uint64_t V_BytesReceived = 0;
    std::uint64_t V_BytesSent = 0;
    std::int32_t V_State = kStateNew;
    ThreadHandle V_ThreadID{};
    std::uint8_t V_FilterMode = 0;
    AddressFilterEntry* V_FilterFirst = nullptr;
    AddressFilterEntry* V_FilterLast = nullptr;
    // The descriptor itself, held until the worker's end lets go of it. Disconnect only shuts
    // the socket down, so the number stays reserved while the worker may still wait or receive
    // on it, and a send under way keeps it until the send ends.
    std::shared_ptr<OwnedSocket> V_OwnedSocket;
};

std::mutex& ListLock();

// All of the following expect the caller to hold ListLock.

// Appends a zero-filled record with the next free ConnId; nullptr while the registry is
// closed (the layer is not running, so nothing would ever reap the record).
ConnectionRecord* AllocateRecord();
ConnectionRecord* FindRecord(ConnId id);
ConnectionRecord* FirstRecord();
// Unlinks and frees the record and its address filter.
void RemoveRecord(ConnectionRecord* record);
bool RegistryIsEmpty();
void SetRegistryOpen(bool open);
// Wakes the cleanup thread: a record has reached the closed state, or the layer is stopping.
void WakeReaper();
// The cleanup thread's sleep until the next WakeReaper; ListLock, held through `list`, is
// released while it sleeps. A wake that came before the sleep ends it at once.
void WaitForReaperWake(std::unique_lock<std::mutex>& list);

// These take ListLock themselves.
// The handles of every listed record, in list order.
std::vector<ConnId> ListedIds();
// Whether AllocateRecord would list a record now; lets a creation give up before its socket
// work. AllocateRecord still decides.
bool RegistryAcceptsRecords();

}  // namespace net
