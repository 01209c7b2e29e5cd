// The file system as a file transfer needs it, behind one interface for every system: finding
// and reading the file a player sends, the rules for a received name, and writing the received
// file without following a link. Paths and names are code page 437, as typed and as they
// travel; each system converts them to its own encoding. Implemented once per system
// (file_access_posix.cpp, file_access_win32.cpp); nothing else of the game touches files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace game {

// An open file; kNoFile names none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class OpenResult { kOpened, kCannotOpen, kTooLarge };

// Whether anything at all exists under the path the player typed.
bool PathExists(std::string_view path);
// The part of a path after its last separator: the name an offer carries.
std::string LastPathComponent(std::string_view path);
// Opens a regular file below `maxSize` bytes for reading, without blocking on a FIFO; `size`
// gets its length.
OpenResult OpenForSending(std::string_view path, std::int64_t maxSize, std::int64_t& size,
                          FileHandle& file);
// `length` bytes from `at` into `out`; a file that shrank meanwhile is filled up with zero bytes,
// so the receiver still gets exactly the size it was offered.
void ReadChunkInto(FileHandle file, std::int64_t at, char* out, std::size_t length);
void CloseFile(FileHandle file);

// A plain name for a file in the current directory: not empty, not "." or "..", and without
// "/", "\" or a control byte (below 0x20, and 0x7F).
bool IsPlainFileName(std::string_view name);
// Whether the name already stands in the current directory for anything but a regular file: a
// link, a FIFO, a directory, a device. Never blocks.
bool NamesSomethingElse(std::string_view name);
// Creates the received file, or empties an existing regular one, never through a link and never
// waiting on a special file; kNoFile when that is not possible.
FileHandle CreateReceivedFile(std::string_view name);
// Writes every byte at the file's end; false on failure.
bool AppendToFile(FileHandle file, std::string_view bytes);

// A new, empty file in the current directory under a name no file had, for a received file to
// grow in before it gets its own name; `temporary` gets that name. Never through a link.
FileHandle CreateTemporaryFile(std::string& temporary);
// Gives the closed temporary file the received name, replacing a regular file of that name;
// false, with the temporary file removed, when the name stands for anything else or the system
// refuses.
bool StoreReceivedFile(std::string_view temporary, std::string_view name);
// Removes a file of the current directory, if it is there.
void RemoveFile(std::string_view name);

}  // namespace game
