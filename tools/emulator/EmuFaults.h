#pragma once
// Line faults on demand, and the pacing of what the register side sends.
//
// Answers are numbered from 1 in the order the line sends them (stored answers sent again count as well).
// A fault names the answer it hits; it is used once. The delays apply to every answer while they are set.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "common/platform/Bytes.h"

// What to do with one answer.
struct EmuFaultAction {
    std::uint64_t number = 0;   // the answer's number
    std::uint32_t delayMs = 0;  // wait this long before sending
    Bytes noise;                // bytes sent before the answer
    bool drop = false;          // send nothing (the noise still goes out)
    bool corrupt = false;       // send the answer with a checksum that fails
    bool late = false;          // the delay holds a random lateness (EmuLateness)
};

// Answers made late at random: each answer, whether executed or sent again from the stored one, is delayed by
// a time drawn from minMs..maxMs with the given chance, while the register goes on taking requests. A line or
// a register slow at times, against a computer whose time-out lies inside that range.
struct EmuLateness {
    std::uint32_t percent = 0;  // 0..100
    std::uint32_t minMs = 0;
    std::uint32_t maxMs = 0;  // not below minMs
    std::uint32_t seed = 1;   // the same seed plays the same answers late
};

class EmuFaults {
  public:
    // Each throws std::invalid_argument for answer number 0.
    void DropAnswer(std::uint64_t number);
    void CorruptAnswer(std::uint64_t number);
    // Noise is added to what is planned for that answer already.
    void NoiseBeforeAnswer(std::uint64_t number, const Bytes& noise);
    // Every answer waits this long before it is sent (0: none).
    void SetDelay(std::uint32_t ms) { delayMs_ = ms; }
    std::uint32_t Delay() const { return delayMs_; }
    // The answer of a request that is executed waits this long more; a repetition answered from the stored
    // answer does not (0: none). So plays a register whose operation outlasts the computer's time-out.
    void SetExecutionDelay(std::uint32_t ms) { executionDelayMs_ = ms; }
    std::uint32_t ExecutionDelay() const { return executionDelayMs_; }
    // Throws std::invalid_argument for a percentage above 100 or maxMs below minMs; percent 0 ends it.
    void SetRandomLateness(const EmuLateness& lateness);
    // Forgets every planned fault, the delays and the lateness; the numbering goes on.
    void Clear();

    // The next answer's number and its faults; the faults planned for it are used up. `stored`: the answer
    // is a stored one sent again, which takes no execution delay.
    EmuFaultAction NextAnswer(bool stored = false);
    // How many answers were numbered so far.
    std::uint64_t AnswerCount() const { return count_; }

  private:
    static void CheckNumber(std::uint64_t number);

    std::uint64_t count_ = 0;
    std::uint32_t delayMs_ = 0;
    std::uint32_t executionDelayMs_ = 0;
    std::set<std::uint64_t> drop_;
    std::set<std::uint64_t> corrupt_;
    std::map<std::uint64_t, Bytes> noise_;
    std::optional<EmuLateness> lateness_;
    std::mt19937 random_;
};

// The same frame with a checksum that fails: the receiver still reassembles it (stuffing stays valid and the
// length is unchanged) and reports a checksum error. `wire` is what BuildFrame gave; a frame too short to
// hold a checksum is returned as it is.
Bytes CorruptFrameChecksum(const Bytes& wire);

// Pacing to a baud rate: a byte takes 10 bit times (start, 8 data bits, stop). Without a rate nothing is
// paced; without a split a transmission is one piece.
struct EmuPacing {
    std::uint32_t baud = 0;  // 0: no pacing
    std::size_t split = 0;   // bytes per write; 0: all at once

    // Line time of `bytes` at the rate (zero without one).
    std::chrono::microseconds TimeOf(std::size_t bytes) const;
    // The pieces in which `data` is written, in order; none for no data.
    std::vector<Bytes> Pieces(const Bytes& data) const;
};
