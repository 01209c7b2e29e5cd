// The writer thread of an arriving framed file and the batches queued for it.
#include "game/files/file_writer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "game/files/checksum.h"
#include "screen/graphics.h"

namespace game {
namespace {

// Batches (of the receiver's batch size) that may wait for the disk.
constexpr std::size_t kBatchesAhead = 4;

struct Writer {
    std::mutex lock;               // taken after the screen mutex, never before it
    std::condition_variable work;  // a batch or the end for the writer thread
    std::condition_variable room;  // a batch written, or the queue dropped
    std::deque<std::string> batches;
    std::vector<std::string> spare;  // written batches, for the next to be gathered in
    FileHandle file = kNoFile;
    std::uint32_t checksum = 0;
    bool failed = false;
    bool ending = false;
    bool running = false;
    screen::ThreadHandle thread = nullptr;
};

Writer writer;

// After a failed write the rest is still taken and counted, but no longer written.
void WriteBatch(std::string& batch, bool failedBefore, bool& written, std::uint32_t& checksum) {
    written = !failedBefore && AppendToFile(writer.file, batch);
    checksum = ExtendChecksum(checksum, batch);
    batch.clear();
}

// Caller holds writer.lock.
void NoteWritten(std::string batch, bool written, std::uint32_t checksum) {
    writer.checksum = checksum;
    if (!written) writer.failed = true;
    if (writer.spare.size() < kBatchesAhead) writer.spare.push_back(std::move(batch));
    writer.room.notify_all();
}

void WriterLoop() {
    std::unique_lock lock(writer.lock);
    for (;;) {
        writer.work.wait(lock, [] { return writer.ending || !writer.batches.empty(); });
        if (writer.batches.empty()) return;
        std::string batch = std::move(writer.batches.front());
        writer.batches.pop_front();
        const bool failedBefore = writer.failed;
        std::uint32_t checksum = writer.checksum;
        lock.unlock();
        bool written = false;
        WriteBatch(batch, failedBefore, written, checksum);
        lock.lock();
        NoteWritten(std::move(batch), written, checksum);
    }
}

// Caller holds writer.lock.
std::string TakeSpare() {
    if (writer.spare.empty()) return {};
    std::string batch = std::move(writer.spare.back());
    writer.spare.pop_back();
    return batch;
}

}  // namespace

void StartFileWriter(FileHandle file) {
    std::lock_guard lock(writer.lock);
    writer.batches.clear();
    writer.file = file;
    writer.checksum = StartChecksum();
    writer.failed = false;
    writer.ending = false;
    writer.running = true;
    writer.thread = screen::ThreadCreate(WriterLoop);
}

std::string HandToFileWriter(std::string batch) {
    std::lock_guard lock(writer.lock);
    if (writer.thread == nullptr) {
        bool written = false;
        std::uint32_t checksum = writer.checksum;
        WriteBatch(batch, writer.failed, written, checksum);
        NoteWritten(std::move(batch), written, checksum);
    } else {
        writer.batches.push_back(std::move(batch));
        writer.work.notify_one();
    }
    return TakeSpare();
}

bool FileWriterFailed() {
    std::lock_guard lock(writer.lock);
    return writer.failed;
}

void AwaitFileWriterRoom() {
    std::unique_lock lock(writer.lock);
    writer.room.wait(lock,
                     [] { return !writer.running || writer.batches.size() <= kBatchesAhead; });
}

bool FinishFileWriter(bool keep, std::uint32_t& checksum) {
    screen::ThreadHandle thread = nullptr;
    {
        std::lock_guard lock(writer.lock);
        if (!keep) writer.batches.clear();
        writer.ending = true;
        writer.work.notify_one();
        writer.room.notify_all();
        std::swap(thread, writer.thread);
    }
    screen::ThreadWait(thread);
    std::lock_guard lock(writer.lock);
    writer.running = false;
    writer.room.notify_all();
    checksum = writer.checksum;
    return !writer.failed;
}

}  // namespace game
