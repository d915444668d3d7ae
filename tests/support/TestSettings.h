#pragma once
// A settings store of the test program's own in a temporary folder, so tests never touch the user's settings
// and parallel test programs never meet.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tessel_test {

class ScopedTestSettings {
  public:
    // Points TESSEL_REGISTRY_DIR at a new folder unless the caller set it.
    ScopedTestSettings() {
        if (std::getenv("TESSEL_REGISTRY_DIR") != nullptr) return;
        // Memory-backed when the machine has it: every settings change flushes to disk twice.
        std::string tmpl = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/tessel-test-XXXXXX"
                                                                     : "/tmp/tessel-test-XXXXXX";
        if (char* made = ::mkdtemp(tmpl.data())) {
            dir_ = made;
            ::setenv("TESSEL_REGISTRY_DIR", made, 1);
        }
    }
    ~ScopedTestSettings() {
        if (dir_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScopedTestSettings(const ScopedTestSettings&) = delete;
    ScopedTestSettings& operator=(const ScopedTestSettings&) = delete;

  private:
    std::string dir_;
};

}  // namespace tessel_test
