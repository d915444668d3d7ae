#include "tools/emulator/EmuFaults.h"

#include <algorithm>
#include <stdexcept>

#include "driver/link/EcrFrame.h"

namespace {

constexpr std::uint64_t kBitsPerByte = 10;
// Start byte, six header bytes, opcode and the two checksum bytes at the least.
constexpr std::size_t kMinWireFrame = 10;

}  // namespace

void EmuFaults::CheckNumber(std::uint64_t number) {
    if (number == 0) throw std::invalid_argument("answers are numbered from 1");
}

void EmuFaults::DropAnswer(std::uint64_t number) {
    CheckNumber(number);
    drop_.insert(number);
}

void EmuFaults::CorruptAnswer(std::uint64_t number) {
    CheckNumber(number);
    corrupt_.insert(number);
}

void EmuFaults::NoiseBeforeAnswer(std::uint64_t number, const Bytes& noise) {
    CheckNumber(number);
    Bytes& planned = noise_[number];
    planned.insert(planned.end(), noise.begin(), noise.end());
}

void EmuFaults::SetRandomLateness(const EmuLateness& lateness) {
    if (lateness.percent > 100) throw std::invalid_argument("lateness: a chance above 100 %");
    if (lateness.maxMs < lateness.minMs)
        throw std::invalid_argument("lateness: the longest delay below the shortest");
    if (lateness.percent == 0) {
        lateness_.reset();
        return;
    }
    lateness_ = lateness;
    random_.seed(lateness.seed);
}

void EmuFaults::Clear() {
    lateness_.reset();
    delayMs_ = 0;
    executionDelayMs_ = 0;
    drop_.clear();
    corrupt_.clear();
    noise_.clear();
}

EmuFaultAction EmuFaults::NextAnswer(bool stored) {
    EmuFaultAction action;
    action.number = ++count_;
    action.delayMs = delayMs_ + (stored ? 0 : executionDelayMs_);
    if (lateness_ && std::uniform_int_distribution<std::uint32_t>(1, 100)(random_) <= lateness_->percent) {
        action.late = true;
        action.delayMs +=
            std::uniform_int_distribution<std::uint32_t>(lateness_->minMs, lateness_->maxMs)(random_);
    }
    action.drop = drop_.erase(action.number) != 0;
    action.corrupt = corrupt_.erase(action.number) != 0;
    if (auto it = noise_.find(action.number); it != noise_.end()) {
        action.noise = std::move(it->second);
        noise_.erase(it);
    }
    return action;
}

Bytes CorruptFrameChecksum(const Bytes& wire) {
    if (wire.size() < kMinWireFrame) return wire;
    // The checksum's high byte ends the frame, stuffed into two bytes when it is 7Dh or 7Eh. Replacing it
    // with 00h or 01h (whichever differs) changes the value and needs no stuffing.
    const bool stuffed = wire[wire.size() - 2] == kFrameEscape;
    const std::uint8_t high = stuffed ? static_cast<std::uint8_t>(wire.back() ^ 0x20) : wire.back();
    Bytes out(wire.begin(), wire.end() - (stuffed ? 2 : 1));
    out.push_back(high == 0x00 ? 0x01 : 0x00);
    return out;
}

std::chrono::microseconds EmuPacing::TimeOf(std::size_t bytes) const {
    if (baud == 0) return std::chrono::microseconds::zero();
    return std::chrono::microseconds(bytes * kBitsPerByte * 1'000'000ULL / baud);
}

std::vector<Bytes> EmuPacing::Pieces(const Bytes& data) const {
    std::vector<Bytes> out;
    const std::size_t step = split == 0 ? data.size() : split;
    for (std::size_t at = 0; at < data.size(); at += step) {
        const std::size_t n = std::min(step, data.size() - at);
        out.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                         data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    return out;
}
