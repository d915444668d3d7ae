// Frame checksum, building and reassembly. The checksum is compared with a bare table-driven loop written
// here, which is what "one table lookup per byte" costs at best.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "driver/link/CRC.h"
#include "driver/link/EcrFrame.h"

namespace {

constexpr std::array<std::uint16_t, 256> MakeBareTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int k = 0; k < 8; ++k) c = (c & 0x8000u) ? (c << 1) ^ 0x1021u : c << 1;
        t[i] = static_cast<std::uint16_t>(c);
    }
    return t;
}

constexpr std::array<std::uint16_t, 256> kBareTable = MakeBareTable();

Bytes Pattern(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return b;
}

// The body of a 60-byte frame (start byte, 57 body bytes, checksum): 50 data bytes after the opcode.
Bytes Body60() {
    Bytes body{0x02, 0x01, 0x00, 0x10, 0x20, 51, 0x11};
    const Bytes data = Pattern(50);
    body.insert(body.end(), data.begin(), data.end());
    return body;
}

void BM_CalcCRC4K(benchmark::State& state) {
    const Bytes data = Pattern(4096);
    for (auto _ : state) benchmark::DoNotOptimize(CalcCRC(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_CalcCRC4K);

void BM_BareTableLoop4K(benchmark::State& state) {
    const Bytes data = Pattern(4096);
    for (auto _ : state) {
        std::uint16_t crc = 0;
        for (const std::uint8_t b : data)
            crc = static_cast<std::uint16_t>(((crc << 8) | b) ^ kBareTable[crc >> 8]);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
}
BENCHMARK(BM_BareTableLoop4K);

void BM_BuildFrame60(benchmark::State& state) {
    const Bytes body = Body60();
    for (auto _ : state) benchmark::DoNotOptimize(BuildFrame(body));
}
BENCHMARK(BM_BuildFrame60);

void BM_Reassemble60(benchmark::State& state) {
    const Bytes wire = BuildFrame(Body60());
    TEcrFrame frame;
    int frames = 0;
    frame.OnFrame = [&frames](TEcrFrame& f) { frames += f.CrcOk() ? 1 : 0; };
    for (auto _ : state) {
        frame.Feed(wire);
        benchmark::DoNotOptimize(frames);
    }
    if (frames != static_cast<int>(state.iterations())) state.SkipWithError("a frame was lost");
}
BENCHMARK(BM_Reassemble60);

void BM_BuildAndReassemble60(benchmark::State& state) {
    const Bytes body = Body60();
    TEcrFrame frame;
    int frames = 0;
    frame.OnFrame = [&frames](TEcrFrame& f) { frames += f.CrcOk() ? 1 : 0; };
    for (auto _ : state) {
        frame.Feed(BuildFrame(body));
        benchmark::DoNotOptimize(frames);
    }
    if (frames != static_cast<int>(state.iterations())) state.SkipWithError("a frame was lost");
}
BENCHMARK(BM_BuildAndReassemble60);

}  // namespace
