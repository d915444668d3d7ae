// Every test program runs with a settings store of its own in a temporary folder.
#include <gtest/gtest.h>

#include "support/TestSettings.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const tessel_test::ScopedTestSettings settings;
    return RUN_ALL_TESTS();
}
