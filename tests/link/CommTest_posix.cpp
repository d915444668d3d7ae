// The port's device path on Linux: the environment, then the settings store, then the system's name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/platform/Registry.h"
#include "driver/link/CUComm.h"
#include "driver/link/CUCommAddress.h"

namespace {

TEST(Comm, DevicePathFromEnvironmentThenSettingsThenSystemName) {
    const char* key = "Software\\Korvex\\TesselDrv\\TesselDrv\\Ports";
    ::unsetenv("TESSEL_COM9");
    EXPECT_EQ(CommDevicePath(9), "/dev/ttyS8");

    tessel::Registry registry;
    ASSERT_TRUE(registry.OpenKey(key, true));
    registry.WriteString("COM9", "/dev/ttyUSB0");
    EXPECT_EQ(CommDevicePath(9), "/dev/ttyUSB0");
    EXPECT_EQ(CommDevicePath(10), "/dev/ttyS9");
    ::setenv("TESSEL_COM9", "", 1);  // empty counts as unset
    EXPECT_EQ(CommDevicePath(9), "/dev/ttyUSB0");
    ::setenv("TESSEL_COM9", "/dev/pts/7", 1);
    EXPECT_EQ(CommDevicePath(9), "/dev/pts/7");

    ::unsetenv("TESSEL_COM9");
    registry.DeleteKey(key);
}

// A network mapping is no device path: the port's title names the address, a serial port's its number only.
TEST(Comm, APortMappedToANetworkAddressIsTitledWithIt) {
    ::setenv("TESSEL_COM5", "tcp://10.0.0.7:4001", 1);
    ::setenv("TESSEL_COM6", "/dev/ttyUSB0", 1);
    EXPECT_TRUE(IsNetworkPort(5));
    EXPECT_FALSE(IsNetworkPort(6));
    EXPECT_EQ(CommPortTitle(5), "COM5 (tcp://10.0.0.7:4001)");
    EXPECT_EQ(CommPortTitle(6), "COM6");
    ::unsetenv("TESSEL_COM5");
    ::unsetenv("TESSEL_COM6");
}

}  // namespace
