#pragma once
// A pseudo-terminal pair whose master side the test holds, playing the far end of a port that opens the
// slave side; closing the master is a device that goes away.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "common/platform/Bytes.h"

namespace tessel_test {

class PtyPair {
  public:
    PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        char name[128];
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0) {
            CloseMaster();
            throw std::runtime_error("no pseudo-terminal");
        }
        slave_ = name;
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slave_; }
    int Master() const { return master_; }
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void Write(const Bytes& data) {
        ASSERT_EQ(::write(master_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }
    // What the port sent, up to `size` bytes, within `timeoutMs`.
    Bytes Read(std::size_t size, std::uint32_t timeoutMs = 3000) {
        using Clock = std::chrono::steady_clock;
        Bytes out;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < size) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            Bytes chunk(size - out.size());
            const ssize_t n = ::read(master_, chunk.data(), chunk.size());
            if (n <= 0) break;
            out.insert(out.end(), chunk.begin(), chunk.begin() + n);
        }
        return out;
    }

  private:
    int master_;
    std::string slave_;
};

}  // namespace tessel_test
