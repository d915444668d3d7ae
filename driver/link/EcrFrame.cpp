#include "driver/link/EcrFrame.h"

#include <algorithm>

#include "common/platform/TickClock.h"
#include "driver/link/CRC.h"

namespace {

constexpr std::uint8_t kEscapedStart = 0x9E;   // 7Dh 9Eh stands for 7Eh
constexpr std::uint8_t kEscapedEscape = 0x9D;  // 7Dh 9Dh stands for 7Dh
constexpr std::size_t kLengthIndex = 6;        // the length byte, counted from the start byte
constexpr std::size_t kOpcodeIndex = 7;
constexpr std::int32_t kFrameOverhead = 9;  // start, five header bytes, length byte, two checksum bytes

void PutStuffed(Bytes& out, std::uint8_t b) {
    if (b == kFrameStart || b == kFrameEscape) {
        out.push_back(kFrameEscape);
        out.push_back(b == kFrameStart ? kEscapedStart : kEscapedEscape);
    } else {
        out.push_back(b);
    }
}

}  // namespace

Bytes BuildFrame(const Bytes& body) {
    const std::uint16_t crc = CalcCRC(body.data(), body.size());
    Bytes out;
    // Worst case: every byte after the start byte escaped.
    out.reserve(1 + 2 * (body.size() + 2));
    out.push_back(kFrameStart);
    for (const std::uint8_t b : body) PutStuffed(out, b);
    PutStuffed(out, static_cast<std::uint8_t>(crc & 0xFF));
    PutStuffed(out, static_cast<std::uint8_t>(crc >> 8));
    return out;
}

Bytes UnstuffedFrame(const Bytes& body) {
    const std::uint16_t crc = CalcCRC(body.data(), body.size());
    Bytes out;
    out.reserve(body.size() + 3);
    out.push_back(kFrameStart);
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    return out;
}

void TEcrFrame::Feed(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size;) {
        const std::uint8_t b = data[i];
        if (b == kFrameStart) {
            // A start byte restarts the collection; a pending escape deliberately stays pending.
            Restart();
            ++i;
        } else if (escape_) {
            escape_ = false;
            if (b == kEscapedEscape) {
                Add(kFrameEscape);
            } else if (b == kEscapedStart) {
                Add(kFrameStart);
            } else if (OnBadEscape) {
                OnBadEscape(*this);
            }
            ++i;
        } else if (b == kFrameEscape) {
            escape_ = true;
            ++i;
        } else {
            i += AddRun(data + i, std::min(size - i, Room()));
        }
    }
}

void TEcrFrame::Clear() {
    Empty();
    escape_ = false;
    discarding_ = false;
}

void TEcrFrame::Restart() {
    Empty();
    discarding_ = false;
    data_.push_back(kFrameStart);
}

void TEcrFrame::Empty() {
    data_.clear();  // keeps the capacity: no allocation per frame
    if (data_.capacity() < kMaxFrameLength) data_.reserve(kMaxFrameLength);
    expected_ = 0;  // no length byte seen yet; never equal to a collected length
}

std::size_t TEcrFrame::Room() const {
    const std::size_t n = data_.size();
    const std::size_t next =
        n <= kLengthIndex ? kLengthIndex + 1 : std::min(static_cast<std::size_t>(expected_), kMaxFrameLength);
    // The collection always ends short of `next`; 1 keeps Feed moving regardless.
    return next > n ? next - n : 1;
}

void TEcrFrame::Add(std::uint8_t b) {
    if (discarding_) return;
    data_.push_back(b);
    Added();
}

std::size_t TEcrFrame::AddRun(const std::uint8_t* data, std::size_t limit) {
    // Plain bytes go in together, never past the next point where the collection must be looked at (see
    // Room), so the checks below see every length they must.
    std::size_t len = 0;
    while (len < limit && data[len] != kFrameStart && data[len] != kFrameEscape) ++len;
    if (!discarding_) {
        data_.insert(data_.end(), data, data + len);
        Added();
    }
    return len;
}

void TEcrFrame::Added() {
    const std::size_t n = data_.size();
    if (n == kLengthIndex + 1) expected_ = data_[kLengthIndex] + kFrameOverhead;
    if (n == static_cast<std::size_t>(expected_)) {
        Complete();
    } else if (n >= kMaxFrameLength) {
        // Longer than any frame can be (a length byte above 246, or noise): it can never complete, so it is
        // dropped rather than grown without bound, and nothing is collected until the next start byte.
        Empty();
        discarding_ = true;
    }
}

void TEcrFrame::Complete() {
    const std::size_t n = data_.size();
    const auto stored = static_cast<std::uint16_t>(data_[n - 2] | (data_[n - 1] << 8));
    crcOk_ = CalcCRC(data_.data() + 1, n - 3) == stored;
    opcode_ = data_[kOpcodeIndex];
    // The collection is emptied even when the handler throws, so the next frame starts clean.
    struct EmptyOnExit {
        TEcrFrame& frame;
        ~EmptyOnExit() { frame.Empty(); }
    } emptyOnExit{*this};
    if (OnFrame) OnFrame(*this);
}

TLineClock TLineClock::System() {
    return {Clock::now, [](const tessel::ManualResetEvent& event, Clock::time_point deadline) {
                // Woken from the whole interval, a thread comes back late; from the last stretch, on time.
                const auto early = deadline - std::chrono::microseconds(tessel::kLastStretchUs);
                if (Clock::now() < early && event.WaitUntil(early) == tessel::WaitResult::Signaled)
                    return true;
                return event.WaitUntil(deadline) == tessel::WaitResult::Signaled;
            }};
}

void TECRState::Stamp() {
    lastChunk_.store(clock_.now().time_since_epoch().count());
    lineIdle_.Reset();
}

TECRState::Clock::time_point TECRState::LastChunk() const {
    return Clock::time_point(Clock::duration(lastChunk_.load()));
}

void TECRState::WaitIdle() const {
    const auto giveUp = clock_.now() + std::chrono::milliseconds(kMaxBusyMs);
    for (;;) {
        if (lineIdle_.IsSet()) return;
        // A newer chunk moves the end of the quiet interval on.
        const auto quietEnd = LastChunk() + std::chrono::milliseconds(kQuietMs);
        const auto now = clock_.now();
        if (now > quietEnd || now >= giveUp) return;
        if (clock_.wait(lineIdle_, std::min(quietEnd, giveUp))) return;
    }
}
