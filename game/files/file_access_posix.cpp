// The transfer's file system on POSIX systems: the game's code page 437 names are UTF-8 on
// disk, "/" separates a path, and the received file is opened with O_NOFOLLOW. The only file
// of the game that includes the system's file headers.
#include "game/files/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "game/files/transfer_rules.h"
#include "screen/cp437.h"

namespace game {
namespace {

constexpr char kPathSeparator = '/';
constexpr mode_t kNewFileMode = 0644;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr int kTemporaryAttempts = 100;

struct FileAccessState {
    int temporaryCount = 0;  // temporary files made so far, for their names
};

FileAccessState files;

std::string PathText(std::string_view path) {
    return screen::Cp437ToUtf8(path);
}

bool IsControlByte(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return value < kFirstPrintable || value == kDelete;
}

}  // namespace

bool PathExists(std::string_view path) {
    struct stat info {};
    return !path.empty() && stat(PathText(path).c_str(), &info) == 0;
}

std::string LastPathComponent(std::string_view path) {
    const std::size_t slash = path.rfind(kPathSeparator);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

OpenResult OpenForSending(std::string_view path, std::int64_t maxSize, std::int64_t& size,
                          FileHandle& file) {
    const int fd = open(PathText(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) close(fd);
        return OpenResult::kCannotOpen;
    }
    if (info.st_size > maxSize) {
        close(fd);
        return OpenResult::kTooLarge;
    }
    size = info.st_size;
    file = fd;
    return OpenResult::kOpened;
}

void ReadChunkInto(FileHandle file, std::int64_t at, char* out, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(static_cast<int>(file), out + done, length - done,
                                static_cast<off_t>(at + static_cast<std::int64_t>(done)));
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    std::fill(out + done, out + length, '\0');
}

void CloseFile(FileHandle file) {
    if (file != kNoFile) close(static_cast<int>(file));
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char byte : name) {
        if (byte == '/' || byte == '\\' || IsControlByte(byte)) return false;
    }
    return true;
}

bool NamesSomethingElse(std::string_view name) {
    struct stat info {};
    return lstat(PathText(name).c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// O_NONBLOCK keeps a FIFO put in place since the offer's check from holding the open; what was
// opened is kept, and emptied, only if it is a regular file.
FileHandle CreateReceivedFile(std::string_view name) {
    const int fd = open(PathText(name).c_str(),
                        O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return kNoFile;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ftruncate(fd, 0) != 0) {
        close(fd);
        return kNoFile;
    }
    return fd;
}

bool AppendToFile(FileHandle file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(static_cast<int>(file), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

FileHandle CreateTemporaryFile(std::string& temporary) {
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        temporary = TemporaryName(getpid(), ++files.temporaryCount);
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            kNewFileMode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    temporary.clear();
    return kNoFile;
}

bool StoreReceivedFile(std::string_view temporary, std::string_view name) {
    const std::string from = PathText(temporary);
    if (NamesSomethingElse(name) || rename(from.c_str(), PathText(name).c_str()) != 0) {
        unlink(from.c_str());
        return false;
    }
    return true;
}

void RemoveFile(std::string_view name) {
    if (!name.empty()) unlink(PathText(name).c_str());
}

}  // namespace game
