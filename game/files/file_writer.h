// The writer of a framed file that arrives: batches of its bytes are checksummed and appended to
// the file on a thread of their own, in the order handed over, so the connection's worker goes
// on receiving (and answering shots) meanwhile. Owns that thread and the batches between the
// two; never opens, closes or names a file and never takes the screen mutex.
#pragma once

#include <cstdint>
#include <string>

#include "game/core/match_state.h"
#include "game/files/file_access.h"

namespace game {

// Starts the writer for `file`, which must stay open until FinishFileWriter has returned. Where
// the system refuses a thread, each batch is written at once by the caller instead.
void StartFileWriter(FileHandle file);
// Hands over the next batch of the file; returns an empty string to gather the next one in.
std::string HandToFileWriter(std::string batch);
// Whether a write has failed since the start.
bool FileWriterFailed();
// Sleeps while more batches wait than the writer may have ahead: a disk slower than the
// connection holds back the receiving, not the memory. Called without the screen mutex.
void AwaitFileWriterRoom() EXCLUDES(ScreenMutex);
// With `keep`, waits until every batch handed over is written; else drops those not yet
// written. Ends the writer; true when no write failed, with the checksum of every batch
// handed over in `checksum`.
bool FinishFileWriter(bool keep, std::uint32_t& checksum);

}  // namespace game
