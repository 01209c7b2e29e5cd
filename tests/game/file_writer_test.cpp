// The writer of an arriving framed file: batches reach the file whole and in order with their
// checksum, however far the connection runs ahead of the disk; a cancelled file gets none of the
// batches still waiting; a failed write is reported; and with no writer running, nothing waits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "game/files/file_writer.h"

namespace {

using namespace std::chrono_literals;
using game::AwaitFileWriterRoom;
using game::FileWriterFailed;
using game::FinishFileWriter;
using game::HandToFileWriter;
using game::StartFileWriter;

constexpr std::size_t kBatch = 256 * 1024;
// The CRC-32 check value: the checksum of "123456789".
constexpr std::uint32_t kCheckValue = 0xCBF43926;

std::string ReadAll(int fd) {
    std::string bytes;
    char piece[65536];
    for (long n; (n = read(fd, piece, sizeof piece)) > 0;)
        bytes.append(piece, static_cast<std::size_t>(n));
    return bytes;
}

std::string Batch(std::size_t index) {
    std::string bytes(kBatch, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((index * kBatch + i) * 2654435761u >> 13);
    return bytes;
}

TEST(FileWriter, BatchesReachTheFileWholeAndInOrderWithTheirChecksum) {
    char path[] = "/tmp/marevant-writer-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    StartFileWriter(fd);
    for (const char* piece : {"1234", "567", "89"})
        EXPECT_TRUE(HandToFileWriter(piece).empty());
    std::uint32_t checksum = 0;
    EXPECT_TRUE(FinishFileWriter(true, checksum));
    EXPECT_EQ(checksum, kCheckValue);
    // Far more than may wait at once, handed over as fast as the receiving side would.
    StartFileWriter(fd);
    std::string expected = "123456789";
    for (std::size_t i = 0; i < 40; ++i) {
        expected += Batch(i);
        HandToFileWriter(Batch(i));
        AwaitFileWriterRoom();
    }
    EXPECT_TRUE(FinishFileWriter(true, checksum));
    EXPECT_FALSE(FileWriterFailed());
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    EXPECT_TRUE(ReadAll(fd) == expected) << "the file differs from the batches handed over";
    close(fd);
    std::remove(path);
}

// A pipe nobody reads holds the writer in its first batch while the rest queue up.
TEST(FileWriter, AFullQueueHoldsTheReceiverAndACancelledFileGetsNoneOfTheWaitingBatches) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    StartFileWriter(ends[1]);
    for (std::size_t i = 0; i < 6; ++i)
        HandToFileWriter(Batch(i));
    std::atomic<bool> roomCame{false};
    std::thread receiver([&] {
        AwaitFileWriterRoom();
        roomCame = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(roomCame) << "the receiver went on while six batches waited";
    std::atomic<bool> finished{false};
    std::thread finisher([&] {
        std::uint32_t checksum = 0;
        finished = FinishFileWriter(false, checksum);
    });
    // The waiting batches are dropped at once; only then may the first one go on.
    std::this_thread::sleep_for(100ms);
    const std::string drained = [&] {
        std::thread closer([&] {
            finisher.join();
            close(ends[1]);
        });
        std::string bytes = ReadAll(ends[0]);
        closer.join();
        return bytes;
    }();
    EXPECT_TRUE(finished);
    receiver.join();
    EXPECT_TRUE(roomCame);
    close(ends[0]);
    EXPECT_EQ(drained.size(), kBatch) << "only the batch being written when the file was dropped";
    EXPECT_TRUE(drained == Batch(0));
}

TEST(FileWriter, AFailedWriteIsReportedAndWithNoWriterNothingWaits) {
    AwaitFileWriterRoom();
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    StartFileWriter(full);
    HandToFileWriter(Batch(0));
    HandToFileWriter(Batch(1));
    std::uint32_t checksum = 0;
    EXPECT_FALSE(FinishFileWriter(true, checksum));
    EXPECT_TRUE(FileWriterFailed());
    close(full);
    AwaitFileWriterRoom();
}

}  // namespace
