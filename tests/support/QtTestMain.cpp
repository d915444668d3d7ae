// The test programs of the Qt windows: a settings store of their own, as every test program has, and an
// application object on the offscreen platform, so that real windows are driven without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/TestSettings.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Leaks are looked for while the application object and Qt's own worker threads still run: the raster
// painter's thread pool is torn down at exit while its threads are still ending, and a thread caught half
// gone leaves its bookkeeping looking lost. Whatever the tests leaked is lost by now all the same.
void CheckLeaksWhileQtRuns() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const tessel_test::ScopedTestSettings settings;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The texts the tests compare are written in the Russian forms.
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_TIME");
    ::unsetenv("LANG");
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    CheckLeaksWhileQtRuns();
    return result;
}
