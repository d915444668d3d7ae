#pragma once
// Frames on the line: building (checksum and byte stuffing) and reassembly from the received byte stream.
//
// Frame before stuffing: 7Eh, destination, source, type, C1, C2, length L (opcode + data), opcode, data
// (L - 1 bytes), CRC low, CRC high. After the start byte, 7Dh is sent as 7Dh 9Dh and 7Eh as 7Dh 9Eh.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "common/platform/Bytes.h"
#include "common/platform/SyncObjects.h"

constexpr std::uint8_t kFrameStart = 0x7E;
constexpr std::uint8_t kFrameEscape = 0x7D;
// The receiver counts the frame in 8 bits, so an unstuffed frame is at most 255 bytes: L <= 246.
constexpr std::size_t kMaxFrameLength = 255;
constexpr std::size_t kMaxPayloadLength = 246;  // opcode + data
constexpr std::size_t kMaxDataLength = 245;

// The bytes to send for a frame body (destination .. data): checksum appended low byte first, body and
// checksum stuffed, start byte in front. Never fails; the caller keeps the body within kMaxPayloadLength + 6.
Bytes BuildFrame(const Bytes& body);
// The same frame as a receiver holds it once unstuffed: start byte, body, checksum low byte first.
Bytes UnstuffedFrame(const Bytes& body);

// Frame assembler: the receiving state machine. Bytes are collected from a start byte; the length byte (the
// seventh collected byte) fixes the frame's end; a completed frame is handed to the frame-complete handler
// with its checksum verdict, whatever that verdict is. A collection that reaches 255 bytes without
// completing can never complete: it is dropped and nothing is collected until the next start byte, so the
// collection never holds more than kMaxFrameLength bytes. Used by one thread at a time.
class TEcrFrame {
  public:
    using Handler = std::function<void(TEcrFrame&)>;

    // Feeds received bytes in order; handlers are called from inside Feed and must not feed this assembler.
    // The collection is emptied after the frame-complete handler, even when it throws.
    void Feed(const std::uint8_t* data, std::size_t size);
    void Feed(const Bytes& data) { Feed(data.data(), data.size()); }

    // The bytes collected so far; inside the frame-complete handler, the whole unstuffed frame.
    const Bytes& Data() const { return data_; }
    // Verdict and opcode of the last completed frame.
    bool CrcOk() const { return crcOk_; }
    std::uint8_t Opcode() const { return opcode_; }
    bool EscapePending() const { return escape_; }

    Handler OnFrame;      // frame complete
    Handler OnBadEscape;  // 7Dh followed by a byte other than 9Dh or 9Eh; both bytes are dropped

    // Drops whatever is collected (and a pending escape).
    void Clear();

  private:
    void Add(std::uint8_t b);
    // Adds the plain bytes (no 7Dh, no 7Eh) that begin `data`, at most `limit`; returns how many.
    std::size_t AddRun(const std::uint8_t* data, std::size_t limit);
    std::size_t Room() const;  // bytes that may be added before the collection must be looked at again
    void Added();              // looks at the collection after bytes were added
    void Restart();            // a start byte: the collection becomes that byte alone
    void Empty();              // no bytes, no expected length
    void Complete();           // verdict, opcode, handler, then empty

    Bytes data_;
    bool escape_ = false;
    std::int32_t expected_ = 0;
    bool crcOk_ = false;
    std::uint8_t opcode_ = 0;
    bool discarding_ = false;  // an over-long collection was dropped; waiting for a start byte
};

// The time the line-idle monitor reads and the way it sleeps: the monotonic clock and the event's own wait,
// or a simulated time in which a test plays the line's traffic without another thread.
struct TLineClock {
    using Clock = std::chrono::steady_clock;

    // The time now.
    std::function<Clock::time_point()> now;
    // Waits for `event` until `deadline` at most; true when it was set. A simulated wait moves its time on
    // by at least one step.
    std::function<bool(const tessel::ManualResetEvent& event, Clock::time_point deadline)> wait;

    static TLineClock System();
};

// Line-idle monitor: the transmitter waits until nothing has been received for the quiet interval.
class TECRState {
  public:
    using Clock = TLineClock::Clock;

    static constexpr std::uint32_t kQuietMs = 100;
    // Longer than the longest stuffed frame takes at 1200 baud: a line that never falls quiet (noise) must
    // not hold the transmitter forever.
    static constexpr std::uint32_t kMaxBusyMs = 5000;

    explicit TECRState(TLineClock clock = TLineClock::System()) : clock_(std::move(clock)) {}

    // A chunk was received now: the line is busy.
    void Stamp();
    // A whole frame was received: the line is idle at once.
    void SetIdle() { lineIdle_.Set(); }
    // Waits until the line is idle: returns when LineIdle is signalled, or once more than kQuietMs have
    // passed since the last received chunk, measured on the monotonic clock to its own precision (a
    // millisecond tick would add up to two milliseconds to every wait). It never waits while the line is
    // quiet, and gives up after kMaxBusyMs on a line that never falls quiet.
    void WaitIdle() const;

    const tessel::ManualResetEvent& LineIdle() const { return lineIdle_; }
    // When the last chunk was received (the clock's epoch before the first).
    Clock::time_point LastChunk() const;

  private:
    const TLineClock clock_;
    tessel::ManualResetEvent lineIdle_{true};
    std::atomic<Clock::rep> lastChunk_{0};
};
