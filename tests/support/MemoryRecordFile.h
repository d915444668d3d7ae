#pragma once
// Counters files in memory that fail on demand: a disk that refuses a write at the moment a test chooses.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/engine/untCounter.h"

namespace tessel_test {

class MemoryRecordFile final : public TRecordFile {
  public:
    // Writes fail with "no space left" while the switch is on; reads always work.
    using FailSwitch = std::shared_ptr<std::atomic<bool>>;

    MemoryRecordFile(std::string name, std::size_t size, FailSwitch failWrites)
        : name_(std::move(name)), bytes_(size), failWrites_(std::move(failWrites)) {}

    const std::string& FileName() const override { return name_; }
    void Read(std::uint64_t offset, void* data, std::size_t size) const override {
        Check(offset, size);
        std::memcpy(data, bytes_.data() + offset, size);
    }
    void Write(std::uint64_t offset, const void* data, std::size_t size) override {
        Check(offset, size);
        if (failWrites_ && *failWrites_)
            throw std::system_error(std::make_error_code(std::errc::no_space_on_device), name_);
        std::memcpy(bytes_.data() + offset, data, size);
    }

  private:
    void Check(std::uint64_t offset, std::size_t size) const {
        if (offset + size > bytes_.size())
            throw std::system_error(std::make_error_code(std::errc::io_error), name_);
    }

    std::string name_;
    std::vector<std::uint8_t> bytes_;
    FailSwitch failWrites_;
};

// Counters whose counters file fails its writes while `failCounters` is on; the open-requests file never
// fails.
inline std::unique_ptr<TCounters> MemoryCounters(MemoryRecordFile::FailSwitch failCounters) {
    return std::make_unique<TCounters>(
        std::make_unique<MemoryRecordFile>("Counters0.dat", TCounters::kFileSize, std::move(failCounters)),
        std::make_unique<MemoryRecordFile>("Counters0.open", TCounters::kOpenFileSize, nullptr));
}

}  // namespace tessel_test
