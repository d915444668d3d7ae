// The Windows dialog tests run on a thread of the system's single-threaded apartment, as a client with
// windows does: the property frame and the modal loops need it, and the driver's events come through the
// thread's messages.
#include <ole2.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(::OleInitialize(nullptr))) return 2;
    const int status = RUN_ALL_TESTS();
    ::OleUninitialize();
    return status;
}
