#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/link/CRC.h"
#include "driver/link/EcrFrame.h"
#include "support/Frames.h"

namespace {

Bytes Hex(const std::string& text) {
    std::istringstream in(text);
    Bytes out;
    unsigned v = 0;
    while (in >> std::hex >> v) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The frame as the assembler should hand it over: start byte, body, checksum low and high.
Bytes Unstuffed(const Bytes& body) {
    return UnstuffedFrame(body);
}

// A request body with `payload` bytes after the length byte (opcode and data); the length byte is given
// separately so that impossible lengths can be built too.
Bytes Body(std::uint8_t lengthByte, std::size_t payload, std::uint8_t fill = 0x30) {
    Bytes body{0x02, 0x01, 0x00, 0x05, 0x06, lengthByte};
    for (std::size_t i = 0; i < payload; ++i) body.push_back(static_cast<std::uint8_t>(fill + i));
    return body;
}

struct Received {
    Bytes data;
    bool crcOk;
    std::uint8_t opcode;
    bool operator==(const Received&) const = default;
};

// An assembler that records what it hands over; the most collected bytes ever seen are tracked too.
class Collector {
  public:
    Collector() {
        frame.OnFrame = [this](TEcrFrame& f) { frames.push_back({f.Data(), f.CrcOk(), f.Opcode()}); };
        frame.OnBadEscape = [this](TEcrFrame&) { ++badEscapes; };
    }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    void Feed(const Bytes& b) {
        FeedChunks(b, [&] { return b.size(); });
    }
    // Feeds `b` in pieces whose sizes `next()` gives (cut short at the end).
    template <class NextSize>
    void FeedChunks(const Bytes& b, NextSize next) {
        for (std::size_t at = 0; at < b.size();) {
            const std::size_t len = std::min(b.size() - at, next());
            frame.Feed(b.data() + at, len);
            maxHeld = std::max(maxHeld, frame.Data().size());
            at += len;
        }
    }

    TEcrFrame frame;
    std::vector<Received> frames;
    int badEscapes = 0;
    std::size_t maxHeld = 0;
};

struct KnownFrame {
    const char* name;
    Bytes body;
    Bytes wire;
};

const KnownFrame kKnownFrames[] = {
    {"request 1->2 opcode 11h", Hex("02 01 00 00 00 01 11"), Hex("7E 02 01 00 00 00 01 11 26 33")},
    {"counters 7Eh and 7Dh", Hex("02 01 00 7E 7D 01 11"), Hex("7E 02 01 00 7D 9E 7D 9D 01 11 4A B7")},
    {"checksum 7E7Eh escaped", Hex("02 01 00 00 00 03 11 0C 7E"),
     Hex("7E 02 01 00 00 00 03 11 0C 7D 9E 7D 9E 7D 9E")},
};

TEST(Frame, BuildsKnownFrames) {
    for (const auto& k : kKnownFrames) EXPECT_EQ(BuildFrame(k.body), k.wire) << k.name;
}

// The largest frame: 245 data bytes, among them every byte that needs escaping.
Bytes MaxBody() {
    Bytes body = Body(kMaxPayloadLength, kMaxPayloadLength, 0x70);
    EXPECT_EQ(body.size() + 3, kMaxFrameLength);
    return body;
}

TEST(Frame, ReceivesFramesSplitAtEveryPosition) {
    // The known wire bytes come back as their bodies: the counters 7Eh and 7Dh among them, checksum good.
    std::vector<KnownFrame> frames(std::begin(kKnownFrames), std::end(kKnownFrames));
    frames.push_back({"245 data bytes", MaxBody(), BuildFrame(MaxBody())});
    for (const auto& [name, body, wire] : frames) {
        const Bytes stream = Concat({Hex("00 13 55"), wire});  // noise before the start byte
        const Received expected{Unstuffed(body), true, body[6]};
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            Collector c;
            std::size_t piece = 0;
            c.FeedChunks(stream, [&] { return piece++ == 0 ? cut : stream.size(); });
            ASSERT_EQ(c.frames.size(), 1u) << name << ", cut at " << cut;
            EXPECT_EQ(c.frames[0], expected) << name << ", cut at " << cut;
            EXPECT_TRUE(c.frame.Data().empty());
        }
        Collector byByte;
        byByte.FeedChunks(stream, [] { return std::size_t{1}; });
        ASSERT_EQ(byByte.frames.size(), 1u) << name;
        EXPECT_EQ(byByte.frames[0], expected) << name;
    }
}

struct LengthCase {
    const char* name;
    std::uint8_t lengthByte;
    std::size_t payload;
    bool completes;
};

// Each frame is followed by a good one, which must come through whatever became of the first.
TEST(Frame, LengthByteLimits) {
    const LengthCase cases[] = {
        {"no opcode", 0, 0, true},          {"opcode only", 1, 1, true},
        {"245 data bytes", 246, 246, true}, {"one byte too long", 247, 247, false},
        {"length FFh", 255, 255, false},
    };
    const Bytes good = Body(1, 1);
    for (const auto& lc : cases) {
        const Bytes body = Body(lc.lengthByte, lc.payload);
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
            Collector c;
            c.FeedChunks(Concat({BuildFrame(body), BuildFrame(good)}), [&] { return chunk; });
            std::vector<Received> expected;
            // Without an opcode, byte 7 is the checksum's low byte.
            if (lc.completes) expected.push_back({Unstuffed(body), true, Unstuffed(body)[7]});
            expected.push_back({Unstuffed(good), true, good[6]});
            EXPECT_EQ(c.frames, expected) << lc.name << ", chunks of " << chunk;
            EXPECT_LE(c.maxHeld, kMaxFrameLength) << lc.name;
        }
    }
}

TEST(Frame, StartByteInsideFrameRestartsSilently) {
    const Bytes first = BuildFrame(Body(4, 4));
    const Bytes second = BuildFrame(Body(2, 2, 0x60));
    Collector c;
    c.Feed(Concat({Bytes(first.begin(), first.begin() + 9), second}));
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0].data, Unstuffed(Body(2, 2, 0x60)));
    EXPECT_TRUE(c.frames[0].crcOk);
    EXPECT_EQ(c.badEscapes, 0);
}

TEST(Frame, BadEscapeDropsBothBytes) {
    // 7Dh 41h stands where the first data byte 31h was sent: 7E 02 01 00 05 06 03 30 [31] 32 crc crc.
    Bytes wire = BuildFrame(Body(3, 3));
    ASSERT_EQ(wire.size(), 12u);
    ASSERT_EQ(wire[8], 0x31);
    wire[8] = 0x41;
    wire.insert(wire.begin() + 8, kFrameEscape);
    const Bytes next = BuildFrame(Body(1, 1));
    {
        Collector c;
        c.Feed(wire);
        EXPECT_EQ(c.badEscapes, 1);
        EXPECT_FALSE(c.frame.EscapePending());
        Bytes expected = Unstuffed(Body(3, 3));
        expected.erase(expected.begin() + 8);
        EXPECT_EQ(c.frame.Data(), expected);
        c.Feed(next);  // one byte short: the next start byte discards it
        ASSERT_EQ(c.frames.size(), 1u);
        EXPECT_EQ(c.frames[0].data, Unstuffed(Body(1, 1)));
    }
    {
        Collector c;
        c.Feed(Concat({wire, Hex("AA")}));  // a later byte fills the length: the checksum fails
        ASSERT_EQ(c.frames.size(), 1u);
        EXPECT_FALSE(c.frames[0].crcOk);
    }
}

TEST(Frame, EscapePendingAcrossStartByte) {
    // A 7Dh just before a start byte stays pending and spoils the first byte after it.
    Collector c;
    c.Feed(Concat({Hex("7D"), BuildFrame(Body(1, 1)), BuildFrame(Body(1, 1))}));
    EXPECT_EQ(c.badEscapes, 1);
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_TRUE(c.frames[0].crcOk);
}

TEST(Frame, RunWithoutStartByteCompletesByItsLength) {
    Collector c;
    c.Feed(Hex("11 22 33 44 55 66 00 AA BB"));
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0].data, Hex("11 22 33 44 55 66 00 AA BB"));
    EXPECT_FALSE(c.frames[0].crcOk);
}

TEST(Frame, EndlessRunWithoutStartByteStaysBounded) {
    Collector c;
    c.Feed(Bytes(kMaxFrameLength, 0xFF));  // length byte FFh: can never complete
    EXPECT_TRUE(c.frame.Data().empty());
    // Once dropped, nothing is collected until a start byte, not even a run that would complete by itself.
    c.Feed(Hex("11 22 33 44 55 66 00 AA BB"));
    for (int i = 0; i < 100; ++i) c.Feed(Bytes(100, static_cast<std::uint8_t>(i)));
    EXPECT_TRUE(c.frames.empty());
    EXPECT_LE(c.maxHeld, kMaxFrameLength);
    c.Feed(BuildFrame(Body(3, 3)));
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_TRUE(c.frames[0].crcOk);
}

TEST(Frame, ThrowingHandlerStillEmptiesCollection) {
    TEcrFrame f;
    int calls = 0;
    f.OnFrame = [&](TEcrFrame&) {
        if (++calls == 1) throw std::runtime_error("decoder failed");
    };
    EXPECT_THROW(f.Feed(BuildFrame(Body(1, 1))), std::runtime_error);
    EXPECT_TRUE(f.Data().empty());
    f.Feed(BuildFrame(Body(2, 2)));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(f.CrcOk());
}

// Random bodies, framed and fed back in random chunks with short noise between frames, come out unchanged.
TEST(Frame, RandomFramesSurviveRandomChunking) {
    std::mt19937 rng(20240229);
    for (int round = 0; round < 200; ++round) {
        std::vector<Bytes> bodies;
        Bytes stream;
        for (int i = 0, count = 1 + static_cast<int>(rng() % 5); i < count; ++i) {
            const std::size_t payload = rng() % (kMaxPayloadLength + 1);
            Bytes body = Body(static_cast<std::uint8_t>(payload), 0);
            for (std::size_t j = 0; j < payload; ++j) body.push_back(static_cast<std::uint8_t>(rng()));
            for (std::size_t j = 0; j < 5; ++j) body[j] = static_cast<std::uint8_t>(rng());
            const Bytes wire = BuildFrame(body);
            ASSERT_EQ(std::count(wire.begin(), wire.end(), kFrameStart), 1);
            for (std::size_t j = 0; j < wire.size(); ++j) {
                if (wire[j] == kFrameEscape) {
                    ASSERT_TRUE(wire.at(j + 1) == 0x9D || wire.at(j + 1) == 0x9E);
                }
            }
            // Noise that can neither complete nor escape: fewer than seven bytes, no 7Dh or 7Eh.
            for (std::size_t j = rng() % 7; j > 0; --j)
                stream.push_back(static_cast<std::uint8_t>(rng() % 0x7D));
            stream.insert(stream.end(), wire.begin(), wire.end());
            bodies.push_back(std::move(body));
        }
        Collector c;
        c.FeedChunks(stream, [&] { return std::size_t{1} + rng() % 40; });
        ASSERT_EQ(c.frames.size(), bodies.size()) << "round " << round;
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            EXPECT_EQ(c.frames[i].data, Unstuffed(bodies[i])) << "round " << round << ", frame " << i;
            EXPECT_TRUE(c.frames[i].crcOk);
        }
    }
}

}  // namespace
