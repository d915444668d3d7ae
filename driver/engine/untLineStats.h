#pragma once
// Line statistics: what the engine saw on the line, per port and peer, kept in a small file of their own
// beside the counters ("TesselStats.dat") that every engine of the user updates in place and any program may
// read while the engines run. They survive restarts until reset.
//
// File layout (little-endian, fixed):
//   header, 64 bytes: 0 "TSST", 4 version (1), 8 record size, 12 record count, 16 time of the last reset
//     (seconds since 1970), 24 updates lost because every record was taken, 56 checksum of bytes 0..55;
//   kRecordCount records of kRecordSize bytes: 0 in use (1), 4 port (i32), 8 peer address, 16 the counters
//     (u64 each, in TLineCounter order), 16 + 8 * kCounterCount the exchange-time histogram (u32 per bucket,
//     see BucketUpperMs), the last 8 bytes the checksum of everything before them in the record.
//
// Writers: each record is changed as a whole (read, count, write in one write call) in the record's turn on
// the file (SharedFile), so updates of several processes never get lost to each other; records are taken for
// new peers in the header's turn. Nothing is synced: statistics may lose the last updates on a power cut.
// Readers take no turn: a record whose checksum does not match was read while being written and is read
// again; the checksum covers the whole record, so a reader never sees half an update.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/platform/SharedFile.h"

enum class TLineCounter : std::size_t {
    RequestsSent,      // requests the computer sent, every try
    AnswersReceived,   // answers from the peer (checksum failures included)
    RequestsReceived,  // the peer's own requests
    AnswersSent,       // answers the computer sent (by a client or by the engine itself)
    BytesSent,         // bytes of frames as they go on the line
    BytesReceived,     // bytes of frames as they came from the line
    ChecksumFailures,  // frames whose checksum failed
    Repeats,           // tries of a request after its first
    Timeouts,          // tries that waited the whole Timeout for an answer
    DroppedAnswers,  // duplicate and late answers dropped ("Отброшен повторный ответ")
    RefusedByRegister,  // the peer refused our request as out of sequence (204)
    RefusedByUs,        // we refused the peer's request as out of sequence (204)
    PortsLost,          // the port went away (adapter unplugged) while open
    Exchanges,          // exchanges answered: the histogram's count
    ExchangeMsTotal,    // their time, summed
    LastEvent,          // when something was last counted (seconds since 1970)
    Count
};

inline constexpr std::size_t kLineCounterCount = static_cast<std::size_t>(TLineCounter::Count);

// The statistics of one port and peer.
struct TLineRecord {
    std::int32_t Port = 0;
    std::uint8_t Address = 0;
    std::array<std::uint64_t, kLineCounterCount> Counters{};
    static constexpr std::size_t kBuckets = 64;
    std::array<std::uint32_t, kBuckets> Histogram{};

    std::uint64_t operator[](TLineCounter c) const { return Counters[static_cast<std::size_t>(c)]; }
    // The exchange time below which `fraction` (0..1] of the answered exchanges fall, in ms, interpolated in
    // its bucket; nullopt when no exchange was answered.
    std::optional<double> PercentileMs(double fraction) const;
};

// What a reader finds in a statistics file.
struct TLineStatsSnapshot {
    std::uint64_t ResetTime = 0;  // seconds since 1970; 0 when never reset
    std::uint64_t Unrecorded = 0;
    std::vector<TLineRecord> Records;  // records in use, by port and address
    std::vector<std::string> Damaged;  // what could not be read, named
};

class TLineStats {
  public:
    static constexpr std::size_t kHeaderSize = 64;
    static constexpr std::size_t kRecordCount = 128;
    static constexpr std::size_t kRecordSize =
        16 + 8 * kLineCounterCount + 4 * TLineRecord::kBuckets + 8;  // 408
    static constexpr std::size_t kFileSize = kHeaderSize + kRecordCount * kRecordSize;
    static constexpr const char* kFileName = "TesselStats.dat";
    // The statistics file in `directory` (with or without a trailing separator).
    static std::string FileIn(const std::string& directory);

    // The upper bound (exclusive) of histogram bucket i in ms: 2^(i/4) rounded, so a bucket spans about 19 %;
    // the last bucket has none.
    static std::uint32_t BucketUpperMs(std::size_t bucket);
    static std::size_t BucketOf(std::uint32_t ms);

    // Opens (creating, or re-creating when its layout is not this one) the statistics file `fileName`.
    // Throws std::system_error naming the file when it cannot be opened or sized.
    explicit TLineStats(const std::string& fileName);
    ~TLineStats();
    TLineStats(const TLineStats&) = delete;
    TLineStats& operator=(const TLineStats&) = delete;

    const std::string& FileName() const { return file_.Path(); }

    // The engine's hooks. None throws: a statistics file that fails is not the exchange's business.
    void FrameSent(std::int32_t port, std::uint8_t peer, bool request, std::size_t bytes) noexcept;
    void FrameReceived(std::int32_t port, std::uint8_t peer, bool request, bool checksumOk,
                       std::size_t bytes) noexcept;
    void Count(std::int32_t port, std::uint8_t peer, TLineCounter counter) noexcept;
    void ExchangeAnswered(std::int32_t port, std::uint8_t peer, std::uint32_t ms) noexcept;

    // Reads a statistics file as it is now. Throws std::system_error naming the file when it cannot be
    // opened; a file of another layout is an std::runtime_error naming it.
    static TLineStatsSnapshot Read(const std::string& fileName);
    // Zeroes every record (the peers stay known) and stamps the header with the time. Throws
    // std::system_error naming the file.
    static void Reset(const std::string& fileName);

  private:
    using TDeltas = std::array<std::uint64_t, kLineCounterCount>;
    void Add(std::int32_t port, std::uint8_t peer, const TDeltas& deltas,
             std::optional<std::uint32_t> exchangeMs) noexcept;
    // The record of (port, peer), taken in the file when new; nullopt when every record is taken.
    std::optional<std::size_t> RecordOf(std::int32_t port, std::uint8_t peer);

    tessel::SharedFile file_;
    std::mutex mutex_;  // threads of this process take turns on the file among themselves
    std::map<std::pair<std::int32_t, std::uint8_t>, std::size_t> records_;
};
