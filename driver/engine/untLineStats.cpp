#include "driver/engine/untLineStats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace {

constexpr char kMagic[4] = {'T', 'S', 'S', 'T'};
constexpr std::uint32_t kVersion = 1;
// Header fields.
enum : std::size_t { kHVersion = 4, kHRecordSize = 8, kHRecordCount = 12, kHReset = 16, kHUnrecorded = 24 };
// Record fields.
enum : std::size_t { kRUsed = 0, kRPort = 4, kRAddress = 8, kRCounters = 16 };
constexpr std::size_t kRHistogram = kRCounters + 8 * kLineCounterCount;
constexpr std::size_t kHeaderTurn = 0;
// A torn read lasts as long as one write call of a few hundred bytes; a record still unreadable after this
// many readings is damaged.
constexpr int kReadings = 100;

using Block = std::vector<std::uint8_t>;

std::uint64_t Get(const Block& b, std::size_t at, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v |= std::uint64_t{b[at + i]} << (8 * i);
    return v;
}

void Put(Block& b, std::size_t at, std::size_t width, std::uint64_t v) {
    for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// FNV-1a over all but the last 8 bytes, which hold it.
std::uint64_t Checksum(const Block& b) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i + 8 < b.size(); ++i) h = (h ^ b[i]) * 0x100000001b3ULL;
    return h;
}

void Seal(Block& b) {
    Put(b, b.size() - 8, 8, Checksum(b));
}

bool Sealed(const Block& b) {
    return Get(b, b.size() - 8, 8) == Checksum(b);
}

std::uint64_t Now() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

std::uint64_t RecordOffset(std::size_t index) {
    return TLineStats::kHeaderSize + index * TLineStats::kRecordSize;
}

Block NewHeader(std::uint64_t resetTime) {
    Block h(TLineStats::kHeaderSize, 0);
    std::memcpy(h.data(), kMagic, 4);
    Put(h, kHVersion, 4, kVersion);
    Put(h, kHRecordSize, 4, TLineStats::kRecordSize);
    Put(h, kHRecordCount, 4, TLineStats::kRecordCount);
    Put(h, kHReset, 8, resetTime);
    Seal(h);
    return h;
}

bool HeaderFits(const Block& h) {
    return Sealed(h) && std::memcmp(h.data(), kMagic, 4) == 0 && Get(h, kHVersion, 4) == kVersion &&
           Get(h, kHRecordSize, 4) == TLineStats::kRecordSize &&
           Get(h, kHRecordCount, 4) == TLineStats::kRecordCount;
}

Block NewRecord(std::int32_t port, std::uint8_t address) {
    Block r(TLineStats::kRecordSize, 0);
    r[kRUsed] = 1;
    Put(r, kRPort, 4, static_cast<std::uint32_t>(port));
    r[kRAddress] = address;
    Seal(r);
    return r;
}

// Reads a block until it is whole (its checksum matches); false when it never is.
bool ReadSealed(const tessel::SharedFile& file, std::uint64_t offset, Block& b) {
    for (int i = 0; i < kReadings; ++i) {
        file.ReadAt(offset, b.data(), b.size());
        if (Sealed(b)) return true;
    }
    return false;
}

TLineRecord Decode(const Block& r) {
    TLineRecord out;
    out.Port = static_cast<std::int32_t>(static_cast<std::uint32_t>(Get(r, kRPort, 4)));
    out.Address = r[kRAddress];
    for (std::size_t c = 0; c < kLineCounterCount; ++c) out.Counters[c] = Get(r, kRCounters + 8 * c, 8);
    for (std::size_t i = 0; i < TLineRecord::kBuckets; ++i)
        out.Histogram[i] = static_cast<std::uint32_t>(Get(r, kRHistogram + 4 * i, 4));
    return out;
}

}  // namespace

std::string TLineStats::FileIn(const std::string& directory) {
    const bool separated = directory.empty() || directory.back() == '/' || directory.back() == '\\';
    return directory + (separated ? "" : "/") + kFileName;
}

std::uint32_t TLineStats::BucketUpperMs(std::size_t bucket) {
    return static_cast<std::uint32_t>(std::lround(std::pow(2.0, static_cast<double>(bucket + 1) / 4.0)));
}

std::size_t TLineStats::BucketOf(std::uint32_t ms) {
    for (std::size_t i = 0; i + 1 < TLineRecord::kBuckets; ++i)
        if (ms < BucketUpperMs(i)) return i;
    return TLineRecord::kBuckets - 1;
}

std::optional<double> TLineRecord::PercentileMs(double fraction) const {
    std::uint64_t total = 0;
    for (const std::uint32_t n : Histogram) total += n;
    if (total == 0) return std::nullopt;
    const double rank = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(total);
    std::uint64_t below = 0;
    for (std::size_t i = 0; i < kBuckets; ++i) {
        if (Histogram[i] == 0) continue;
        if (static_cast<double>(below + Histogram[i]) >= rank) {
            const double lower = i == 0 ? 0.0 : TLineStats::BucketUpperMs(i - 1);
            const double upper = TLineStats::BucketUpperMs(i);
            return lower + (upper - lower) * (rank - static_cast<double>(below)) / Histogram[i];
        }
        below += Histogram[i];
    }
    return TLineStats::BucketUpperMs(kBuckets - 1);
}

TLineStats::TLineStats(const std::string& fileName) {
    const auto opened = file_.Open(fileName, tessel::SharedFile::Access::Shared);
    if (opened.outcome != tessel::SharedFile::Outcome::Opened)
        throw std::system_error(opened.error, fileName);
    const auto turn = file_.TakeTurn(kHeaderTurn);
    Block header(kHeaderSize);
    if (file_.Size() >= kFileSize) file_.ReadAt(0, header.data(), header.size());
    if (file_.Size() != kFileSize || !HeaderFits(header)) {
        // A new file, or one of another layout: statistics start afresh rather than be misread.
        file_.Resize(0);
        file_.Resize(kFileSize);
        header = NewHeader(Now());
        file_.WriteAt(0, header.data(), header.size());
    }
}

TLineStats::~TLineStats() = default;

std::optional<std::size_t> TLineStats::RecordOf(std::int32_t port, std::uint8_t peer) {
    const auto key = std::make_pair(port, peer);
    if (const auto it = records_.find(key); it != records_.end()) return it->second;
    // Another engine may have taken the record already, or be taking one now.
    const auto turn = file_.TakeTurn(kHeaderTurn);
    Block r(kRecordSize);
    std::optional<std::size_t> free;
    for (std::size_t i = 0; i < kRecordCount; ++i) {
        // A record's key never changes once it is in use, so reading it needs no turn of the record.
        file_.ReadAt(RecordOffset(i), r.data(), 16);
        if (r[kRUsed] != 1) {
            if (!free) free = i;
            continue;
        }
        if (static_cast<std::int32_t>(static_cast<std::uint32_t>(Get(r, kRPort, 4))) == port &&
            r[kRAddress] == peer) {
            records_[key] = i;
            return i;
        }
    }
    if (!free) return std::nullopt;
    const Block fresh = NewRecord(port, peer);
    file_.WriteAt(RecordOffset(*free), fresh.data(), fresh.size());
    records_[key] = *free;
    return free;
}

void TLineStats::Add(std::int32_t port, std::uint8_t peer, const TDeltas& deltas,
                     std::optional<std::uint32_t> exchangeMs) noexcept {
    try {
        std::lock_guard lock(mutex_);
        const std::optional<std::size_t> index = RecordOf(port, peer);
        if (!index) {
            const auto turn = file_.TakeTurn(kHeaderTurn);
            Block h(kHeaderSize);
            file_.ReadAt(0, h.data(), h.size());
            Put(h, kHUnrecorded, 8, Get(h, kHUnrecorded, 8) + 1);
            Seal(h);
            file_.WriteAt(0, h.data(), h.size());
            return;
        }
        const auto turn = file_.TakeTurn(1 + *index);
        Block r(kRecordSize);
        file_.ReadAt(RecordOffset(*index), r.data(), r.size());
        // A record cut by a crash in the middle of its write starts again from zero.
        if (!Sealed(r)) r = NewRecord(port, peer);
        for (std::size_t c = 0; c < kLineCounterCount; ++c)
            if (deltas[c] != 0) Put(r, kRCounters + 8 * c, 8, Get(r, kRCounters + 8 * c, 8) + deltas[c]);
        if (exchangeMs) {
            const std::size_t at = kRHistogram + 4 * BucketOf(*exchangeMs);
            Put(r, at, 4, Get(r, at, 4) + 1);
        }
        Put(r, kRCounters + 8 * static_cast<std::size_t>(TLineCounter::LastEvent), 8, Now());
        Seal(r);
        file_.WriteAt(RecordOffset(*index), r.data(), r.size());
    } catch (const std::exception&) {
        // Statistics are a help: a file that fails loses the update, never the exchange.
    }
}

void TLineStats::FrameSent(std::int32_t port, std::uint8_t peer, bool request, std::size_t bytes) noexcept {
    TDeltas d{};
    d[static_cast<std::size_t>(request ? TLineCounter::RequestsSent : TLineCounter::AnswersSent)] = 1;
    d[static_cast<std::size_t>(TLineCounter::BytesSent)] = bytes;
    Add(port, peer, d, std::nullopt);
}

void TLineStats::FrameReceived(std::int32_t port, std::uint8_t peer, bool request, bool checksumOk,
                               std::size_t bytes) noexcept {
    TDeltas d{};
    d[static_cast<std::size_t>(request ? TLineCounter::RequestsReceived : TLineCounter::AnswersReceived)] = 1;
    d[static_cast<std::size_t>(TLineCounter::BytesReceived)] = bytes;
    if (!checksumOk) d[static_cast<std::size_t>(TLineCounter::ChecksumFailures)] = 1;
    Add(port, peer, d, std::nullopt);
}

void TLineStats::Count(std::int32_t port, std::uint8_t peer, TLineCounter counter) noexcept {
    TDeltas d{};
    d[static_cast<std::size_t>(counter)] = 1;
    Add(port, peer, d, std::nullopt);
}

void TLineStats::ExchangeAnswered(std::int32_t port, std::uint8_t peer, std::uint32_t ms) noexcept {
    TDeltas d{};
    d[static_cast<std::size_t>(TLineCounter::Exchanges)] = 1;
    d[static_cast<std::size_t>(TLineCounter::ExchangeMsTotal)] = ms;
    Add(port, peer, d, ms);
}

TLineStatsSnapshot TLineStats::Read(const std::string& fileName) {
    tessel::SharedFile file;
    const auto opened = file.OpenForReading(fileName);
    if (opened.outcome != tessel::SharedFile::Outcome::Opened)
        throw std::system_error(opened.error, fileName);
    Block header(kHeaderSize);
    if (file.Size() != kFileSize || !ReadSealed(file, 0, header) || !HeaderFits(header))
        throw std::runtime_error(fileName + ": not a statistics file of this driver");
    TLineStatsSnapshot out;
    out.ResetTime = Get(header, kHReset, 8);
    out.Unrecorded = Get(header, kHUnrecorded, 8);
    Block r(kRecordSize);
    for (std::size_t i = 0; i < kRecordCount; ++i) {
        file.ReadAt(RecordOffset(i), r.data(), r.size());
        if (r[kRUsed] == 0 && std::all_of(r.begin(), r.end(), [](std::uint8_t b) { return b == 0; }))
            continue;
        if (!ReadSealed(file, RecordOffset(i), r)) {
            out.Damaged.push_back("record " + std::to_string(i));
            continue;
        }
        if (r[kRUsed] == 1) out.Records.push_back(Decode(r));
    }
    std::sort(out.Records.begin(), out.Records.end(), [](const TLineRecord& a, const TLineRecord& b) {
        return std::make_pair(a.Port, a.Address) < std::make_pair(b.Port, b.Address);
    });
    return out;
}

void TLineStats::Reset(const std::string& fileName) {
    TLineStats stats(fileName);
    tessel::SharedFile& file = stats.file_;
    Block r(kRecordSize);
    for (std::size_t i = 0; i < kRecordCount; ++i) {
        const auto turn = file.TakeTurn(1 + i);
        file.ReadAt(RecordOffset(i), r.data(), r.size());
        if (r[kRUsed] != 1) continue;
        const Block zero =
            NewRecord(static_cast<std::int32_t>(static_cast<std::uint32_t>(Get(r, kRPort, 4))), r[kRAddress]);
        file.WriteAt(RecordOffset(i), zero.data(), zero.size());
    }
    const auto turn = file.TakeTurn(kHeaderTurn);
    const Block header = NewHeader(Now());
    file.WriteAt(0, header.data(), header.size());
}
