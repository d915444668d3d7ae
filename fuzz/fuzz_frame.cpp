// Arbitrary byte streams through the frame assembler. The first input byte says how many chunk sizes
// follow; the stream after them is fed in chunks of those sizes (cycled) to one assembler and byte by byte
// to another: both must hand over the same frames. Every frame must be well formed, and its body, framed
// again, must come back unchanged with a good checksum.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "driver/link/CRC.h"
#include "driver/link/EcrFrame.h"

namespace {

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "frame invariant broken: %s\n", what);
        std::abort();
    }
}

struct Received {
    Bytes data;
    bool crcOk;
    std::uint8_t opcode;
    bool operator==(const Received&) const = default;
};

// Checks a completed frame and frames its body again through a second, clean assembler.
class Rebuilder {
  public:
    Rebuilder() {
        frame_.OnFrame = [this](TEcrFrame& f) { got_.push_back({f.Data(), f.CrcOk(), f.Opcode()}); };
        frame_.OnBadEscape = [](TEcrFrame&) { Require(false, "a built frame has a bad escape"); };
    }
    Rebuilder(const Rebuilder&) = delete;
    Rebuilder& operator=(const Rebuilder&) = delete;

    void Check(const TEcrFrame& f, bool sawStart) {
        const Bytes& d = f.Data();
        const std::size_t n = d.size();
        Require(n >= 9 && n <= kMaxFrameLength, "frame length within 9..255");
        Require(n == static_cast<std::size_t>(d[6]) + 9, "frame length is the length byte plus 9");
        Require(!sawStart || d[0] == kFrameStart, "a frame after a start byte begins with it");
        Require(f.Opcode() == d[7], "opcode is byte 7");
        const auto stored = static_cast<std::uint16_t>(d[n - 2] | (d[n - 1] << 8));
        Require(f.CrcOk() == (CalcCRC(d.data() + 1, n - 3) == stored), "checksum verdict");

        const Bytes body(d.begin() + 1, d.end() - 2);
        got_.clear();
        frame_.Feed(BuildFrame(body));
        Require(got_.size() == 1, "a built frame comes back exactly once");
        Require(frame_.Data().empty() && !frame_.EscapePending(), "nothing left over after a built frame");
        const Bytes& back = got_[0].data;
        Require(got_[0].crcOk, "a built frame has a good checksum");
        Require(back.size() == n && back[0] == kFrameStart, "a built frame keeps its length");
        Require(std::equal(body.begin(), body.end(), back.begin() + 1), "a built frame keeps its body");
        if (f.CrcOk()) Require(back[n - 2] == d[n - 2] && back[n - 1] == d[n - 1], "checksum bytes kept");
    }

  private:
    TEcrFrame frame_;
    std::vector<Received> got_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t sizeCount = 1 + data[0] % 8;
    if (size < 1 + sizeCount) return 0;
    const std::uint8_t* sizes = data + 1;
    const std::uint8_t* stream = data + 1 + sizeCount;
    const std::size_t length = size - 1 - sizeCount;

    // Byte by byte, so that the start bytes seen since the last frame are known exactly.
    Rebuilder rebuilder;
    TEcrFrame single;
    std::vector<Received> singleFrames;
    bool sawStart = false;
    single.OnFrame = [&](TEcrFrame& f) {
        rebuilder.Check(f, sawStart);
        singleFrames.push_back({f.Data(), f.CrcOk(), f.Opcode()});
        sawStart = false;
    };
    for (std::size_t i = 0; i < length; ++i) {
        if (stream[i] == kFrameStart) sawStart = true;
        single.Feed(stream + i, 1);
        Require(single.Data().size() <= kMaxFrameLength, "the collection stays bounded");
    }

    TEcrFrame chunked;
    std::vector<Received> chunkedFrames;
    chunked.OnFrame = [&](TEcrFrame& f) { chunkedFrames.push_back({f.Data(), f.CrcOk(), f.Opcode()}); };
    for (std::size_t at = 0, k = 0; at < length; ++k) {
        std::size_t chunk = sizes[k % sizeCount] % 65;
        if (chunk == 0) {
            chunked.Feed(stream + at, 0);  // an empty read changes nothing
            chunk = 1;
        }
        if (chunk > length - at) chunk = length - at;
        chunked.Feed(stream + at, chunk);
        at += chunk;
    }
    Require(chunkedFrames == singleFrames, "chunking does not change the frames");
    Require(chunked.Data() == single.Data() && chunked.EscapePending() == single.EscapePending(),
            "chunking does not change what is left collected");
    return 0;
}
