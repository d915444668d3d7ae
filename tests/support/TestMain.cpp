// Every test program runs with a settings store of its own in a temporary folder, so tests never touch the
// user's settings and parallel test programs never meet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string dir;
    if (std::getenv("TESSEL_REGISTRY_DIR") == nullptr) {
        // Memory-backed when the machine has it: every settings change flushes to disk twice.
        std::string tmpl = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/tessel-test-XXXXXX"
                                                                      : "/tmp/tessel-test-XXXXXX";
        if (char* made = ::mkdtemp(tmpl.data())) {
            dir = made;
            ::setenv("TESSEL_REGISTRY_DIR", made, 1);
        }
    }
    const int rc = RUN_ALL_TESTS();
    if (!dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    return rc;
}
