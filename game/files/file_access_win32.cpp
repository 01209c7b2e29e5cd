// The transfer's file system on Windows: the game's code page 437 names become UTF-16 for the
// system, "\" and "/" both separate a path, and a received name must be one that Windows holds
// as a plain file in the current directory: no device name, no reserved character, no trailing
// dot or space. Reparse points (links, junctions) are never followed. The only file of the game
// that includes the system's file headers.
#include "game/files/file_access.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "game/files/transfer_rules.h"
#include "screen/cp437.h"

namespace game {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr int kTemporaryAttempts = 100;
constexpr std::string_view kReservedCharacters = "<>:\"/\\|?*";
// Names Windows takes for devices, also with an extension and in any letter case.
constexpr std::array<std::string_view, 4> kDeviceNames = {"CON", "PRN", "AUX", "NUL"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};

struct FileAccessState {
    int temporaryCount = 0;  // temporary files made so far, for their names
};

FileAccessState files;

std::wstring Wide(std::string_view text) {
    std::wstring wide;
    for (char byte : text)
        wide += static_cast<wchar_t>(screen::Cp437ToUnicode(static_cast<unsigned char>(byte)));
    return wide;
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

// CON, COM1, LPT9.txt, nul.tar.gz: the part before the first dot names the device.
bool IsDeviceName(std::string_view name) {
    const std::string stem = Upper(name.substr(0, name.find('.')));
    for (std::string_view device : kDeviceNames) {
        if (stem == device) return true;
    }
    for (std::string_view device : kNumberedDevices) {
        if (stem.size() == device.size() + 1 && stem.starts_with(device) &&
            std::isdigit(static_cast<unsigned char>(stem.back()))) {
            return true;
        }
    }
    return false;
}

bool IsForbiddenByte(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return value < kFirstPrintable || value == kDelete ||
           kReservedCharacters.find(byte) != std::string_view::npos;
}

DWORD Attributes(std::string_view name) {
    return GetFileAttributesW(Wide(name).c_str());
}

bool IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

HANDLE AsHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

FileHandle FromHandle(HANDLE file) {
    return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
}

}  // namespace

bool PathExists(std::string_view path) {
    return !path.empty() && Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

std::string LastPathComponent(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

OpenResult OpenForSending(std::string_view path, std::int64_t maxSize, std::int64_t& size,
                          FileHandle& file) {
    const HANDLE opened = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER length{};
    if (opened == INVALID_HANDLE_VALUE) return OpenResult::kCannotOpen;
    if (!IsPlainFile(opened) || !GetFileSizeEx(opened, &length)) {
        CloseHandle(opened);
        return OpenResult::kCannotOpen;
    }
    if (length.QuadPart > maxSize) {
        CloseHandle(opened);
        return OpenResult::kTooLarge;
    }
    size = length.QuadPart;
    file = FromHandle(opened);
    return OpenResult::kOpened;
}

void ReadChunkInto(FileHandle file, std::int64_t at, char* out, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED position{};
        const std::int64_t offset = at + static_cast<std::int64_t>(done);
        position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!ReadFile(AsHandle(file), out + done, static_cast<DWORD>(length - done), &read,
                      &position) ||
            read == 0) {
            break;
        }
        done += read;
    }
    std::fill(out + done, out + length, '\0');
}

void CloseFile(FileHandle file) {
    if (file != kNoFile) CloseHandle(AsHandle(file));
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    if (std::any_of(name.begin(), name.end(), IsForbiddenByte)) return false;
    return !IsDeviceName(name);
}

bool NamesSomethingElse(std::string_view name) {
    const DWORD attributes = Attributes(name);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0;
}

// The reparse point itself is opened, not what it points to, and is then refused.
FileHandle CreateReceivedFile(std::string_view name) {
    const HANDLE file =
        CreateFileW(Wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kNoFile;
    if (!IsPlainFile(file) || !SetEndOfFile(file)) {
        CloseHandle(file);
        return kNoFile;
    }
    return FromHandle(file);
}

bool AppendToFile(FileHandle file, std::string_view bytes) {
    while (!bytes.empty()) {
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFF;
        atEnd.OffsetHigh = 0xFFFFFFFF;
        DWORD written = 0;
        if (!WriteFile(AsHandle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       &atEnd) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

FileHandle CreateTemporaryFile(std::string& temporary) {
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        temporary = TemporaryName(static_cast<long>(GetCurrentProcessId()), ++files.temporaryCount);
        const HANDLE file = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE) return FromHandle(file);
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    temporary.clear();
    return kNoFile;
}

// The stored file shows like any other; the temporary one was hidden.
bool StoreReceivedFile(std::string_view temporary, std::string_view name) {
    const std::wstring from = Wide(temporary);
    const std::wstring to = Wide(name);
    if (NamesSomethingElse(name) ||
        !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(from.c_str());
        return false;
    }
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

void RemoveFile(std::string_view name) {
    if (!name.empty()) DeleteFileW(Wide(name).c_str());
}

}  // namespace game
