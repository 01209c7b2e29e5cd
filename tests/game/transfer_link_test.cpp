// Files between two copies of the game's network part, each in its own process, over a real
// loopback connection while both sides fire: whatever a file holds, and whatever its size, it
// arrives byte for byte under its name. This process sends; the peer (this program started
// again) takes every offer. A failing case prints the seed that made its files
// (MAREVANT_SEED repeats it).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "net/lifecycle.h"
#include "screen/offscreen.h"
#include "tests/game/link_side.h"
#include "tests/net/support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 6144;
constexpr int kFiles = 300;
constexpr std::size_t kLargestFile = 300 * 1024;
constexpr auto kArrivalWait = std::chrono::seconds(30);
constexpr auto kPoll = std::chrono::milliseconds(2);
// Every message of the wire and every prefix of one.
const std::vector<std::string> kMessages = {"SYST:R",
                                            "SYST:H37",
                                            "SHOT:42",
                                            std::string("NACHR:\x05") + "hallo",
                                            "DATA:x?1",
                                            "SYST:j",
                                            "SYST:n",
                                            "SYST:VMarevant/01",
                                            std::string("SYST:FD\0\0\0\0\0\0\0\x05", 15)};

std::string Sown(std::mt19937_64& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    const auto sow = [&](std::size_t at) {
        const std::string& message = kMessages[random() % kMessages.size()];
        const std::string piece = message.substr(0, 1 + random() % message.size());
        if (at < size) bytes.replace(at, std::min(piece.size(), size - at), piece);
    };
    for (std::size_t at = 0; at < size; at += kChunk)
        sow(at);
    for (int i = 0; size > 0 && i < 8; ++i)
        sow(random() % size);
    return bytes;
}

void WriteWhole(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
    std::ifstream one(a, std::ios::binary);
    std::ifstream two(b, std::ios::binary);
    if (!one || !two || fs::file_size(a) != fs::file_size(b)) return false;
    std::vector<char> x(1 << 20), y(1 << 20);
    while (one && two) {
        one.read(x.data(), static_cast<std::streamsize>(x.size()));
        two.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (one.gcount() != two.gcount() ||
            !std::equal(x.begin(), x.begin() + one.gcount(), y.begin()))
            return false;
    }
    return true;
}

bool Arrives(const fs::path& sent, const fs::path& received) {
    const auto deadline = std::chrono::steady_clock::now() + kArrivalWait;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        if (fs::exists(received, error) && SameFiles(sent, received)) return true;
        std::this_thread::sleep_for(kPoll);
    }
    return false;
}

std::uint64_t Seed() {
    const char* given = std::getenv("MAREVANT_SEED");
    return given != nullptr ? std::strtoull(given, nullptr, 10)
                            : static_cast<std::uint64_t>(std::random_device()());
}

// The peer serves on a free loopback port in a folder of its own; this side connects.
class Link : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        base = fs::temp_directory_path() / ("marevant-link-" + std::to_string(getpid()));
        fs::create_directories(base / "peer");
        std::uint16_t port = 0;
        const int probe = nettest::ListenLoopback(port);
        nettest::RawClose(probe);
        const std::string self = fs::read_symlink("/proc/self/exe");
        const std::string portText = std::to_string(port);
        const std::string folder = (base / "peer").string();
        const char* argv[] = {self.c_str(),     "--link-peer",  "serve",
                              portText.c_str(), folder.c_str(), nullptr};
        ASSERT_EQ(0, posix_spawn(&peer, self.c_str(), nullptr, nullptr, const_cast<char**>(argv),
                                 environ));
        screen::SetPausesEnabled(false);
        ASSERT_TRUE(linktest::StartSide(false, port)) << "no link to the peer";
        linktest::StartFiring();
    }
    static void TearDownTestSuite() {
        if (peer > 0) kill(peer, SIGKILL);
        if (peer > 0) waitpid(peer, nullptr, 0);
        fs::remove_all(base);
    }

    static fs::path base;
    static pid_t peer;
};

fs::path Link::base;
pid_t Link::peer = -1;

TEST_F(Link, ThreeHundredFilesSownWithMessagesArriveByteForByteWhileBothSidesFire) {
    const std::uint64_t seed = Seed();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (MAREVANT_SEED repeats it)");
    std::mt19937_64 random(seed);
    const int shotsBefore = linktest::ShotsFired();
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        WriteWhole(base / name, Sown(random, random() % (kLargestFile + 1)));
        const std::string rows = linktest::SendFile((base / name).string());
        ASSERT_NE(rows.find("Datei gesendet ("), std::string::npos) << name << ": " << rows;
        ASSERT_TRUE(Arrives(base / name, base / "peer" / name)) << name;
    }
    EXPECT_GT(linktest::ShotsFired(), shotsBefore) << "nobody fired while the files moved";
    EXPECT_TRUE(linktest::Connected());
}

// Its last chunk of 6144 bytes is one whole chat line; then an empty file.
TEST_F(Link, AFileWhoseLastChunkIsAChatLineAndAnEmptyFileArriveAsTheyAre) {
    std::mt19937_64 random(Seed());
    const std::string chat = std::string("NACHR:\x05") + "hallo";
    WriteWhole(base / "chat.bin", Sown(random, kChunk) + chat);
    WriteWhole(base / "leer.bin", "");
    for (const char* name : {"chat.bin", "leer.bin"}) {
        const std::string rows = linktest::SendFile((base / name).string());
        EXPECT_NE(rows.find("Datei gesendet ("), std::string::npos) << name << ": " << rows;
        EXPECT_TRUE(Arrives(base / name, base / "peer" / name)) << name;
    }
    // Nothing but the files themselves is left in the peer's folder: no temporary file.
    for (const auto& entry : fs::directory_iterator(base / "peer")) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path().filename();
    }
}

// A sparse file of more than 2 GiB, which the original wire could not offer: only its ends hold
// data. Too slow for every run of the suite; `make test-large-file` runs it.
TEST_F(Link, DISABLED_AFileOfMoreThan2GiBArrivesWhole) {
    const char* given = std::getenv("MAREVANT_LARGE_FILE_BYTES");
    const std::uint64_t size =
        given != nullptr ? std::strtoull(given, nullptr, 10) : (std::uint64_t{2} << 30) + kChunk;
    std::mt19937_64 random(Seed());
    const fs::path source = base / "gross.bin";
    {
        std::ofstream out(source, std::ios::binary);
        out << Sown(random, kChunk);
    }
    {
        std::ofstream o(source, std::ios::binary | std::ios::app);
        std::string piece(1 << 20, 'q');
        for (std::uint64_t i = kChunk; i + piece.size() <= size - kChunk; i += piece.size()) {
            piece[i % 1000]++;
            o << piece;
        }
    }
    {
        std::ofstream o(source, std::ios::binary | std::ios::app);
        std::string piece(1 << 20, 'q');
        for (std::uint64_t i = kChunk; i + piece.size() <= size - kChunk; i += piece.size()) {
            piece[i % 1000]++;
            o << piece;
        }
    }
    fs::resize_file(source, size - kChunk);
    std::ofstream(source, std::ios::binary | std::ios::app) << Sown(random, kChunk);
    ASSERT_EQ(size, fs::file_size(source));
    const auto start = std::chrono::steady_clock::now();
    const std::string rows = linktest::SendFile(source.string());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(rows.find("Datei gesendet ("), std::string::npos) << rows;
    EXPECT_TRUE(Arrives(source, base / "peer" / "gross.bin"));
    std::printf("%llu bytes in %.2f s, %.0f MiB/s\n", static_cast<unsigned long long>(size),
                seconds, static_cast<double>(size) / (1 << 20) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    if (linktest::IsPeerCall(argc, argv)) std::_Exit(linktest::RunPeer(argc, argv));
    net::StartConnectionLayer();
    ::testing::InitGoogleTest(&argc, argv);
    std::_Exit(RUN_ALL_TESTS());
}
