// Network addresses of ports as the mapping gives them: what is taken, in which form it is named again,
// and why the rest is refused.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "driver/link/CUCommAddress.h"

namespace {

struct AddressCase {
    const char* name;
    const char* text;
    const char* named;   // Text() of what was read; nullptr when refused
    const char* reason;  // part of the refusal
};

class NetAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(NetAddressTest, ReadsOrRefusesWithTheReason) {
    const AddressCase& c = GetParam();
    EXPECT_TRUE(IsNetworkAddress(c.text));
    if (c.named != nullptr) {
        EXPECT_EQ(ParseNetworkAddress(c.text).Text(), c.named);
        return;
    }
    try {
        ParseNetworkAddress(c.text);
        ADD_FAILURE() << "taken";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NetAddressTest,
    ::testing::Values(AddressCase{"Tcp", "tcp://10.0.0.7:4001", "tcp://10.0.0.7:4001", nullptr},
                      AddressCase{"SchemeInCapitals", "RFC2217://kkm-1.shop:2217",
                                  "rfc2217://kkm-1.shop:2217", nullptr},
                      AddressCase{"Ipv6", "tcp://[::1]:7", "tcp://[::1]:7", nullptr},
                      AddressCase{"NoPort", "tcp://10.0.0.7", nullptr, "не указан порт"},
                      AddressCase{"EmptyPort", "tcp://10.0.0.7:", nullptr, "не указан порт"},
                      AddressCase{"PortZero", "tcp://host:0", nullptr, "от 1 до 65535"},
                      AddressCase{"PortTooBig", "tcp://host:65536", nullptr, "от 1 до 65535"},
                      AddressCase{"NoHost", "rfc2217://:4001", nullptr, "не указан узел"},
                      AddressCase{"Ipv6WithoutBrackets", "tcp://::1:7", nullptr, "в скобках"},
                      AddressCase{"UnclosedBracket", "tcp://[::1:7", nullptr, "скобки"},
                      AddressCase{"PathAfterPort", "tcp://host:4001/x", nullptr, "после порта"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NetAddress, DevicePathsAreNoNetworkAddresses) {
    for (const char* path : {"/dev/ttyUSB0", "tcp:4001", "udp://host:1", ""})
        EXPECT_FALSE(IsNetworkAddress(path));
}

}  // namespace
