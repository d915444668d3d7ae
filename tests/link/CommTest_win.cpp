// The serial port on Windows: its device names, how the system's refusals become the driver's results, and
// the open of a port with no device behind it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "driver/base/untError.h"
#include "driver/link/CUComm.h"
#include "driver/link/CUComm_win.h"

namespace {

TEST(CommWin, DevicePathIsTheSystemName) {
    EXPECT_EQ(CommDevicePath(1), "\\\\.\\COM1");
    EXPECT_EQ(CommDevicePath(32), "\\\\.\\COM32");
}

struct RefusalCase {
    DWORD error;
    int openResult;  // the driver's result of a refused open
    bool deviceGone;
    bool modemLines;
};

class CommRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CommRefusalTest, MapsToTheDriversMeaning) {
    const RefusalCase& c = GetParam();
    EXPECT_EQ(CommOpenErrorResult(c.error), c.openResult);
    EXPECT_EQ(IsCommDeviceGone(c.error), c.deviceGone);
    EXPECT_EQ(IsModemLineRefusal(c.error), c.modemLines);
}

INSTANTIATE_TEST_SUITE_P(Errors, CommRefusalTest,
                         ::testing::Values(
                             // Another program holds the port: the system opens ports exclusively.
                             RefusalCase{ERROR_ACCESS_DENIED, E_PORTBUSY, false, false},
                             RefusalCase{ERROR_SHARING_VIOLATION, E_PORTBUSY, false, false},
                             RefusalCase{ERROR_FILE_NOT_FOUND, E_PORTUNAVAILABLE, true, false},
                             RefusalCase{ERROR_PATH_NOT_FOUND, E_PORTUNAVAILABLE, false, false},
                             // A USB adapter pulled out.
                             RefusalCase{ERROR_DEVICE_NOT_CONNECTED, E_PORTUNAVAILABLE, true, false},
                             RefusalCase{ERROR_GEN_FAILURE, E_PORTUNAVAILABLE, true, false},
                             // No modem lines (Wine's pseudo-terminals, some adapters): error 50.
                             RefusalCase{ERROR_NOT_SUPPORTED, E_PORTUNAVAILABLE, false, true},
                             RefusalCase{ERROR_INVALID_FUNCTION, E_PORTUNAVAILABLE, false, true}));

TEST(CommWin, EventMaskRoundTripsThroughTheSystemBits) {
    const std::uint32_t all =
        evBreak | evCts | evDsr | evError | evRing | evRlsd | evRxChar | evRxFlag | evTxEmpty;
    EXPECT_EQ(CommEventsFromSystem(SystemCommEvents(all)), all);
    EXPECT_EQ(SystemCommEvents(evRxChar), static_cast<DWORD>(EV_RXCHAR));
    // Wine's empty wake-ups carry no event at all.
    EXPECT_EQ(CommEventsFromSystem(0), 0u);
}

TEST(CommWin, OpeningAPortWithoutDeviceIsPortUnavailable) {
    TComm comm;
    comm.SetPortNumber(32);
    try {
        comm.Open();
        GTEST_SKIP() << "this system has a COM32";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), E_PORTUNAVAILABLE);
    }
    EXPECT_FALSE(comm.Enabled());
    EXPECT_EQ(comm.DeviceBaudRate(), 0u);
}

}  // namespace
