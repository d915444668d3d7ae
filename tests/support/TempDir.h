#pragma once
// A temporary folder that removes itself with everything in it.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class TempDir {
  public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        const auto base = std::filesystem::temp_directory_path();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        // A name no other test program picks: the clock, a counter, and creation that fails on a taken name.
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate = base / ("tessel-" + std::to_string(stamp) + "-" +
                                           std::to_string(++counter) + "-" + std::to_string(attempt));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = candidate.generic_string();
                return;
            }
        }
        throw std::runtime_error("cannot create a temporary folder");
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};
