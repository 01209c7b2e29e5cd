// The receive stream cut into messages: every kind, every split point, runs of
// messages in one receive, file data with messages between chunks and keywords
// inside them, garbage and noise.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "game/wire/message_stream.h"
#include "game/wire/message_stream_testing.h"
#include "game/wire/protocol.h"

namespace {

using game::Message;
using game::MessageKind;
using K = MessageKind;

struct Expected {
    MessageKind kind;
    std::string bytes;
};

std::string Bytes(std::initializer_list<std::string> parts) {
    std::string joined;
    for (const std::string& part : parts)
        joined += part;
    return joined;
}

std::string Chat(const std::string& text) {
    return "NACHR:" + std::string(1, static_cast<char>(text.size())) + text;
}

// A frame as the wire carries it: "SYST:F", its type, eight bytes of length, the payload.
std::string FrameBytes(char type, const std::string& payload) {
    std::string frame = std::string("SYST:F") + type;
    for (int shift = 56; shift >= 0; shift -= 8)
        frame += static_cast<char>(static_cast<std::uint64_t>(payload.size()) >> shift & 0xFF);
    return frame + payload;
}

const std::string kGreeting = "SYST:VMarevant/01";
const std::string kOfferPayload = std::string("\0\0\0\0\0\0\x01\x02", 8) + "bild.png";

bool AnythingCouldCome(const Message&) {
    return true;
}

// Feeds the pieces one after the other, all at one moment, and gathers every
// message; at chunk boundaries any message could come.
std::vector<Message> Feed(const std::vector<std::string>& pieces,
                          game::BoundaryRule couldCome = AnythingCouldCome) {
    std::vector<Message> all;
    for (const std::string& piece : pieces) {
        game::FeedStream(piece, 0);
        for (Message m; game::NextMessage(m, couldCome);)
            all.push_back(std::move(m));
        EXPECT_LE(game::HeldBytes(), game::kMaxHeldBytes);
    }
    return all;
}

// File data may come in any number of pieces: consecutive pieces are joined.
std::vector<Expected> Joined(const std::vector<Message>& messages) {
    std::vector<Expected> joined;
    for (const Message& m : messages) {
        const bool data = m.kind == K::kFileData || m.kind == K::kFrameData;
        if (data && !joined.empty() && joined.back().kind == m.kind) {
            joined.back().bytes += m.bytes;
        } else {
            joined.push_back({m.kind, m.bytes});
        }
    }
    return joined;
}

::testing::AssertionResult Same(const std::vector<Expected>& actual,
                                const std::vector<Expected>& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << actual.size() << " messages, expected " << expected.size();
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i].kind != expected[i].kind || actual[i].bytes != expected[i].bytes) {
            return ::testing::AssertionFailure() << "message " << i << " is \"" << actual[i].bytes
                                                 << "\", expected \"" << expected[i].bytes << "\"";
        }
    }
    return ::testing::AssertionSuccess();
}

class Stream : public ::testing::Test {
   protected:
    void SetUp() override { game::ResetStream(); }
    void TearDown() override { game::ResetStream(); }
};

struct Case {
    const char* what;
    std::string received;
    std::vector<Expected> expected;
};

const std::vector<Case> kCases = {
    {"ready", "SYST:R", {{K::kReady, "SYST:R"}}},
    {"shot", "SHOT:09", {{K::kShot, "SHOT:09"}}},
    {"hit", "SYST:H00", {{K::kHit, "SYST:H00"}}},
    {"miss", "SYST:W99", {{K::kMiss, "SYST:W99"}}},
    {"accept and refuse", "SYST:jSYST:n", {{K::kAccept, "SYST:j"}, {K::kRefuse, "SYST:n"}}},
    {"chat with keywords inside", Chat("SHOT:12 SYST:R"), {{K::kChat, Chat("SHOT:12 SYST:R")}}},
    {"empty chat", Chat(""), {{K::kChat, Chat("")}}},
    {"a shot followed by a ready keeps both, in order",
     "SHOT:12SYST:R",
     {{K::kShot, "SHOT:12"}, {K::kReady, "SYST:R"}}},
    {"answers stay behind the shots sent before them",
     "SHOT:12SYST:W34" + Chat("hi") + "SHOT:56",
     {{K::kShot, "SHOT:12"},
      {K::kMiss, "SYST:W34"},
      {K::kChat, Chat("hi")},
      {K::kShot, "SHOT:56"}}},
    {"garbage before a keyword", "xx\x01SYSSHOT:77", {{K::kShot, "SHOT:77"}}},
    {"unknown system byte", "SYST:QSYST:R", {{K::kReady, "SYST:R"}}},
    {"non-digit coordinate", "SHOT:1xSYST:H2!SYST:W55", {{K::kMiss, "SYST:W55"}}},
    {"oversize chat length",
     "NACHR:\xFF"
     "abcSHOT:34",
     {{K::kShot, "SHOT:34"}}},
    {"no file data while none is due",
     std::string(game::kFileChunkBytes, 'x') + "SYST:R",
     {{K::kReady, "SYST:R"}}},
    {"after a greeting, an offer, data with messages inside, the end and a shot, all framed",
     kGreeting + FrameBytes('O', kOfferPayload) + FrameBytes('D', "SHOT:12SYST:R" + Chat("x")) +
         FrameBytes('D', "") + FrameBytes('D', "SYST:FD") + FrameBytes('E', "\x01\x02\x03\x04") +
         "SHOT:34",
     {{K::kGreeting, kGreeting},
      {K::kFramedOffer, kOfferPayload},
      {K::kFrameData, "SHOT:12SYST:R" + Chat("x") + "SYST:FD"},
      {K::kFramedEnd, "\x01\x02\x03\x04"},
      {K::kShot, "SHOT:34"}}},
    {"without a greeting a frame fits no message",
     FrameBytes('D', "abc") + "SYST:R",
     {{K::kReady, "SYST:R"}}},
    {"a greeting of another program is none, and frames stay unread",
     "SYST:VMarevanX/01" + FrameBytes('D', "abc") + "SYST:R",
     {{K::kReady, "SYST:R"}}},
    {"a frame header that names no frame, or too long a frame, is dropped",
     kGreeting + FrameBytes('Z', "abc") + FrameBytes('E', "12345") + "SYST:R",
     {{K::kGreeting, kGreeting}, {K::kReady, "SYST:R"}}},
};

TEST_F(Stream, EveryKindWholeOrCutAtAnyPointGivesTheSameMessagesInOrder) {
    for (const Case& c : kCases) {
        game::ResetStream();
        EXPECT_TRUE(Same(Joined(Feed({c.received})), c.expected)) << c.what << ", whole";
        for (std::size_t cut = 1; cut < c.received.size(); cut += 1 + cut / 64) {
            game::ResetStream();
            EXPECT_TRUE(
                Same(Joined(Feed({c.received.substr(0, cut), c.received.substr(cut)})), c.expected))
                << c.what << ", cut at " << cut;
        }
    }
}

TEST_F(Stream, ByteByByteEveryCaseStillArrivesWhole) {
    std::string all;
    std::vector<Expected> expected;
    for (const Case& c : kCases) {
        if (c.received.size() > 100) continue;
        all += c.received;
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    }
    std::vector<std::string> bytes;
    for (char b : all)
        bytes.emplace_back(1, b);
    EXPECT_TRUE(Same(Joined(Feed(bytes)), expected));
}

// An offer has no end mark: its size ends where a keyword starts or the
// received bytes end, so only a cut inside the size shortens it.
TEST_F(Stream, AnOfferWaitsForItsNameAndTakesTheDigitsThatHaveCome) {
    const std::string offer = "DATA:a b.txt?1536";
    for (std::size_t cut = 1; cut <= offer.find('?') + 1; ++cut) {
        game::ResetStream();
        EXPECT_TRUE(Same(Joined(Feed({offer.substr(0, cut), offer.substr(cut) + "SYST:R"})),
                         {{K::kOffer, offer}, {K::kReady, "SYST:R"}}))
            << "cut at " << cut;
    }
    game::ResetStream();
    EXPECT_TRUE(Same(Joined(Feed({"DATA:f?15", "36SYST:R"})),
                     {{K::kOffer, "DATA:f?15"}, {K::kReady, "SYST:R"}}));
    // Other bytes after the digits belong to the size, for the offer's checks.
    EXPECT_TRUE(Same(Joined(Feed({"DATA:f?12abcSHOT:00"})),
                     {{K::kOffer, "DATA:f?12abc"}, {K::kShot, "SHOT:00"}}));
    // A name without its "?" within the longest name allowed is cut there, so the
    // offer is still answered; what follows of it is no message.
    const std::string longName = "DATA:" + std::string(game::kMaxOfferName + 1, 'n');
    EXPECT_TRUE(Same(Joined(Feed({longName, "?12SHOT:00"})),
                     {{K::kOffer, longName}, {K::kShot, "SHOT:00"}}));
}

// A file of two full chunks and a short last one; the contents are full of
// keywords, and messages stand between the chunks.
TEST_F(Stream, FileDataIsTakenByCountWithMessagesOnlyBetweenChunks) {
    std::string file;
    while (file.size() < 2 * game::kFileChunkBytes + 100)
        file += "x" + Chat("SYST:R") + "SHOT:12SYST:W34DATA:f?9";
    file.resize(2 * game::kFileChunkBytes + 100);
    const std::string c1 = file.substr(0, game::kFileChunkBytes);
    const std::string c2 = file.substr(game::kFileChunkBytes, game::kFileChunkBytes);
    const std::string c3 = file.substr(2 * game::kFileChunkBytes);
    const std::string stream = Bytes({c1, "SHOT:45", c2, Chat("ok"), "SYST:R", c3, "SYST:W01"});
    const std::vector<Expected> expected = {
        {K::kFileData, c1},    {K::kShot, "SHOT:45"}, {K::kFileData, c2},    {K::kChat, Chat("ok")},
        {K::kReady, "SYST:R"}, {K::kFileData, c3},    {K::kMiss, "SYST:W01"}};
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        game::ResetStream();
        game::ExpectFileData(static_cast<std::uint32_t>(file.size()));
        std::vector<std::string> pieces;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = 1 + random() % (round < 25 ? 16 : 9000);
            pieces.push_back(stream.substr(at, n));
            at += n;
        }
        ASSERT_TRUE(Same(Joined(Feed(pieces)), expected)) << "round " << round;
        EXPECT_EQ(game::FileBytesDue(), 0u);
    }
}

TEST_F(Stream, AChunkThatBeginsWithAWholeMessageIsReadAsTheMessage) {
    game::ExpectFileData(10);
    EXPECT_TRUE(Same(Joined(Feed({"SYST:R0123456789"})),
                     {{K::kReady, "SYST:R"}, {K::kFileData, "0123456789"}}));
    // A last chunk that only looks like the start of a message is file data.
    game::ExpectFileData(3);
    EXPECT_TRUE(Same(Joined(Feed({"SYS"})), {{K::kFileData, "SYS"}}));
    game::ExpectFileData(5);
    game::CancelFileData();
    EXPECT_TRUE(Same(Joined(Feed({"abcdeSHOT:11"})), {{K::kShot, "SHOT:11"}}));
}

bool ShotsCouldCome(const Message& m) {
    return m.kind == K::kShot || m.kind == K::kChat;
}

// Where a file's chunk may end, what could come now decides; inside a chunk, a
// pause does, and a refused file is dropped until its sender shows it stopped.
TEST_F(Stream, TheStateAPauseAndARefusalTellFileDataFromMessages) {
    struct Step {
        std::string bytes;
        std::int64_t atMs;
    };
    struct Rule {
        const char* what;
        std::uint32_t fileSize;
        std::vector<Step> steps;
        std::vector<Expected> expected;
        std::uint32_t dueAfter;
    };
    const std::string chunk(game::kFileChunkBytes, 'c');
    const Rule rules[] = {
        {"a shot after a pause inside a chunk ends the file",
         20,
         {{"0123456789", 0}, {"SHOT:12", 100}},
         {{K::kFileData, "0123456789"}, {K::kFileCutShort, ""}, {K::kShot, "SHOT:12"}},
         0},
        {"without the pause it is file data",
         20,
         {{"0123456789", 0}, {"SHOT:12", 10}},
         {{K::kFileData, "0123456789SHOT:12"}},
         3},
        {"a Ready that cannot come is file data, even after a pause",
         20,
         {{"0123456789", 0}, {"SYST:R", 100}},
         {{K::kFileData, "0123456789SYST:R"}},
         4},
        {"at a chunk boundary the same",
         game::kFileChunkBytes + 6,
         {{chunk, 0}, {"SYST:R", 100}},
         {{K::kFileData, chunk + "SYST:R"}},
         0},
        {"a chat line with file bytes behind it is file data",
         20,
         {{Chat("hi") + "0123456789", 0}},
         {{K::kFileData, Chat("hi") + "0123456789"}},
         1},
        {"a chat line on its own is a message",
         20,
         {{Chat("hi"), 0}, {"0123456789", 100}},
         {{K::kChat, Chat("hi")}, {K::kFileData, "0123456789"}},
         10},
    };
    for (const Rule& r : rules) {
        game::ResetStream();
        game::ExpectFileData(r.fileSize);
        std::vector<Message> all;
        for (const Step& step : r.steps) {
            game::FeedStream(step.bytes, step.atMs);
            for (Message m; game::NextMessage(m, ShotsCouldCome);)
                all.push_back(std::move(m));
        }
        EXPECT_TRUE(Same(Joined(all), r.expected)) << r.what;
        EXPECT_EQ(game::FileBytesDue(), r.dueAfter) << r.what;
    }
    // A file refused half-way: the rest is counted off until a message that
    // could come now stands where a chunk would begin.
    game::ResetStream();
    game::ExpectFileData(3 * game::kFileChunkBytes);
    EXPECT_TRUE(Same(Joined(Feed({chunk}, ShotsCouldCome)), {{K::kFileData, chunk}}));
    game::DrainFileData();
    EXPECT_TRUE(Same(Joined(Feed({chunk, "SHOT:12SYST:R"}, ShotsCouldCome)),
                     {{K::kFileData, chunk}, {K::kShot, "SHOT:12"}, {K::kReady, "SYST:R"}}));
    EXPECT_EQ(game::FileBytesDue(), 0u);
}

TEST_F(Stream, NoiseNeverStallsNorGrowsTheStream) {
    std::mt19937 random(11);
    std::string noise(64 * 1024, '\0');
    for (char& b : noise)
        b = static_cast<char>(random());
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < noise.size(); at += 1000)
        pieces.push_back(noise.substr(at, 1000));
    for (const Message& m : Feed(pieces))
        EXPECT_NE(m.kind, K::kFileData);
    // Whatever prefix the noise left is dropped once it cannot complete.
    const std::vector<Expected> after =
        Joined(Feed({std::string(game::kMaxHeldBytes, 'z'), "SHOT:33"}));
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back().bytes, "SHOT:33");
}

}  // namespace
