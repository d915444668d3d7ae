// `tessel ports` over a device tree of the test's own: which devices are listed, which COM number reaches
// each, and the mapping written to the settings store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform/PortMap.h"
#include "common/platform/Registry.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "tools/tessel/PortsCommand.h"

namespace {

using namespace tessel::cli;
using tessel_test::ScopedEnv;
namespace fs = std::filesystem;

// @ stands for the root of the test's tree in expected texts.
std::string Expand(std::string text, const std::string& root) {
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + root.size()))
        text.replace(at, 1, root);
    return text;
}

// Lines with their column padding collapsed to one blank.
std::vector<std::string> Rows(const std::string& text) {
    std::vector<std::string> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string row;
        for (const char c : line) {
            if (!(c == ' ' && !row.empty() && row.back() == ' ')) row += c;
        }
        rows.push_back(row);
    }
    return rows;
}

class PortsCommandTest : public ::testing::Test {
  protected:
    PortsCommandTest() {
        roots_.dev = dir_.File("dev");
        roots_.sysTty = dir_.File("sys");
        fs::create_directories(dir_.File("dev/serial/by-id"));
        for (const char* node :
             {"ttyUSB0", "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS1", "ttyUSBx", "tty1"})
            std::ofstream(dir_.File("dev/") + node) << "";
        // ttyS1 has no UART behind it.
        for (const auto& [node, type] : std::map<std::string, std::string>{{"ttyS0", "4"}, {"ttyS1", "0"}}) {
            fs::create_directories(dir_.File("sys/" + node));
            std::ofstream(dir_.File("sys/" + node + "/type")) << type << "\n";
        }
        fs::create_symlink("../../ttyUSB0", dir_.File("dev/serial/by-id/usb-FTDI_A-if00-port0"));
        fs::create_symlink("../../ttyUSB9", dir_.File("dev/serial/by-id/usb-gone-if00-port0"));
        tessel::Registry().DeleteKey(tessel::kPortsKey);
    }
    ~PortsCommandTest() override { tessel::Registry().DeleteKey(tessel::kPortsKey); }

    int Run(const std::vector<std::string>& args) {
        out_.str({});
        err_.str({});
        return RunPorts(args, out_, err_, roots_);
    }
    std::string R(const std::string& text) const { return Expand(text, fs::canonical(dir_.Path()).string()); }

    TempDir dir_;
    SerialRoots roots_;
    std::ostringstream out_;
    std::ostringstream err_;
};

struct ListCase {
    const char* name;
    std::map<int, std::string> mapped;  // @/... paths
    std::map<int, std::string> env;     // TESSEL_COM<N>
    std::vector<std::string> rows;      // after the heading
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.name;
}

class PortsListTest : public PortsCommandTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(PortsListTest, ListsEachDeviceWithTheNumbersThatReachIt) {
    for (const auto& [port, path] : GetParam().mapped) tessel::MapPort(port, R(path));
    std::vector<std::unique_ptr<ScopedEnv>> env;
    for (const auto& [port, path] : GetParam().env)
        env.push_back(std::make_unique<ScopedEnv>(tessel_test::PortVariable(port), R(path)));
    ASSERT_EQ(Run({}), 0) << err_.str();
    std::vector<std::string> expected{"COM DEVICE NOTES"};
    for (const std::string& row : GetParam().rows) expected.push_back(R(row));
    EXPECT_EQ(Rows(out_.str()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortsListTest,
    ::testing::Values(
        ListCase{"NothingMapped",
                 {},
                 {},
                 {"- @/dev/ttyACM0", "COM1 @/dev/ttyS0 COM1 by default",
                  "- @/dev/ttyUSB0 @/dev/serial/by-id/usb-FTDI_A-if00-port0", "- @/dev/ttyUSB2",
                  "- @/dev/ttyUSB10"}},
        ListCase{"ByStableName",
                 {{3, "@/dev/serial/by-id/usb-FTDI_A-if00-port0"}},
                 {},
                 {"- @/dev/ttyACM0", "COM1 @/dev/ttyS0 COM1 by default",
                  "COM3 @/dev/ttyUSB0 COM3 as @/dev/serial/by-id/usb-FTDI_A-if00-port0", "- @/dev/ttyUSB2",
                  "- @/dev/ttyUSB10"}},
        ListCase{"EnvironmentAndSettings",
                 {{2, "@/dev/ttyUSB2"}, {1, "@/dev/ttyUSB10"}},
                 {{4, "@/dev/ttyACM0"}},
                 {"COM4 @/dev/ttyACM0 COM4 through TESSEL_COM4", "- @/dev/ttyS0",
                  "- @/dev/ttyUSB0 @/dev/serial/by-id/usb-FTDI_A-if00-port0", "COM2 @/dev/ttyUSB2",
                  "COM1 @/dev/ttyUSB10"}},
        ListCase{"TwoNumbersOneDeviceAndOthersThatAreNoDevice",
                 {{5, "@/dev/ttyUSB2"}, {6, "@/dev/ttyUSB2"}, {9, "@/unplugged"}, {8, "@/dev/tty1"}},
                 {},
                 {"- @/dev/ttyACM0", "COM1 @/dev/ttyS0 COM1 by default",
                  "- @/dev/ttyUSB0 @/dev/serial/by-id/usb-FTDI_A-if00-port0", "COM5,COM6 @/dev/ttyUSB2",
                  "- @/dev/ttyUSB10", "COM8 @/dev/tty1 mapped; not one of the serial devices above",
                  "COM9 @/unplugged mapped; missing"}},
        ListCase{"NetworkAddresses",
                 {{5, "rfc2217://10.0.0.7:2217"}, {7, "tcp://10.0.0.8"}},
                 {{6, "tcp://kkm.shop:4001"}},
                 {"- @/dev/ttyACM0", "COM1 @/dev/ttyS0 COM1 by default",
                  "- @/dev/ttyUSB0 @/dev/serial/by-id/usb-FTDI_A-if00-port0", "- @/dev/ttyUSB2",
                  "- @/dev/ttyUSB10", "COM5 rfc2217://10.0.0.7:2217 mapped; network, RFC 2217",
                  "COM6 tcp://kkm.shop:4001 through TESSEL_COM6; network, raw TCP",
                  "COM7 tcp://10.0.0.8 mapped; network address not usable: не указан порт TCP"}}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return info.param.name; });

struct MapCase {
    const char* name;
    std::vector<std::string> args;  // @/... paths
    int status;
    std::string stored;  // COM3 afterwards; empty: none
    std::string said;    // the first line printed (standard output, or standard error on a mistake)
};

void PrintTo(const MapCase& c, std::ostream* os) {
    *os << c.name;
}

class PortsMapTest : public PortsCommandTest, public ::testing::WithParamInterface<MapCase> {};

TEST_P(PortsMapTest, WritesTheMappingOrRefusesTheMistake) {
    tessel::MapPort(3, "/dev/ttyS7");  // replaced or removed by the step, unless it is refused
    std::vector<std::string> args;
    for (const std::string& a : GetParam().args) args.push_back(R(a));
    EXPECT_EQ(Run(args), GetParam().status);
    EXPECT_EQ(tessel::MappedPortPath(3), R(GetParam().stored));
    const std::string said = GetParam().status == 2 ? err_.str() : out_.str();
    EXPECT_EQ(said.substr(0, said.find('\n')), R(GetParam().said));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortsMapTest,
    ::testing::Values(
        MapCase{"UsbAdapterByItsStableName",
                {"map", "3", "@/dev/ttyUSB0"},
                0,
                "@/dev/serial/by-id/usb-FTDI_A-if00-port0",
                "COM3 = @/dev/serial/by-id/usb-FTDI_A-if00-port0 (the stable name of @/dev/ttyUSB0)"},
        MapCase{"DeviceWithoutStableName",
                {"map", "3", "@/dev/ttyUSB2"},
                0,
                "@/dev/ttyUSB2",
                "COM3 = @/dev/ttyUSB2"},
        MapCase{"Unmap", {"unmap", "3"}, 0, "", "COM3 is no longer mapped: it is /dev/ttyS2 again"},
        MapCase{"NetworkAddress",
                {"map", "3", "RFC2217://[::1]:2217"},
                0,
                "rfc2217://[::1]:2217",
                "COM3 = rfc2217://[::1]:2217 (network, RFC 2217)"},
        MapCase{"NetworkAddressWithoutPort",
                {"map", "3", "tcp://10.0.0.7"},
                2,
                "/dev/ttyS7",
                "tessel ports: 'tcp://10.0.0.7' is no network address: не указан порт TCP (see tessel ports "
                "--help)"},
        MapCase{"NumberZero",
                {"map", "0", "@/dev/ttyUSB2"},
                2,
                "/dev/ttyS7",
                "tessel ports: the port number must be 1 to 32, not '0' (see tessel ports --help)"},
        MapCase{"NumberPastTheLast",
                {"map", "33", "@/dev/ttyUSB2"},
                2,
                "/dev/ttyS7",
                "tessel ports: the port number must be 1 to 32, not '33' (see tessel ports --help)"},
        MapCase{"RelativePath",
                {"map", "3", "ttyUSB2"},
                2,
                "/dev/ttyS7",
                "tessel ports: the path must be absolute, not 'ttyUSB2' (see tessel ports --help)"},
        MapCase{"NoPath",
                {"map", "3"},
                2,
                "/dev/ttyS7",
                "tessel ports: map takes a port number and a path (see tessel ports --help)"},
        MapCase{"UnknownWord",
                {"remove", "3"},
                2,
                "/dev/ttyS7",
                "tessel ports: unknown word 'remove' (see tessel ports --help)"}),
    [](const ::testing::TestParamInfo<MapCase>& info) { return info.param.name; });

// The rule names the mapped adapters (by their stable names where they have them) and those given, each
// once, and leaves out what ModemManager never probes or a rule cannot name.
TEST_F(PortsCommandTest, UdevRuleKeepsModemManagerFromTheMappedAdaptersAlone) {
    tessel::MapPort(3, R("@/dev/serial/by-id/usb-FTDI_A-if00-port0"));
    tessel::MapPort(4, R("@/dev/ttyUSB2"));
    tessel::MapPort(5, "/dev/pts/7");
    tessel::MapPort(6, R("@/dev/ttyUSB*"));
    ASSERT_EQ(Run({"udev-rule", R("@/dev/ttyUSB0"), R("@/dev/ttyACM0")}), 0) << err_.str();
    std::vector<std::string> rules, leftOut;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("SUBSYSTEM", 0) == 0) rules.push_back(line);
        if (line.find(": left out") != std::string::npos) leftOut.push_back(line.substr(0, line.find(':')));
    }
    EXPECT_EQ(rules, (std::vector<std::string>{
                         R"(SUBSYSTEM=="tty", SYMLINK=="serial/by-id/usb-FTDI_A-if00-port0", )"
                         R"(ENV{ID_MM_DEVICE_IGNORE}="1")",
                         R"(SUBSYSTEM=="tty", KERNEL=="ttyUSB2", ENV{ID_MM_DEVICE_IGNORE}="1")",
                         R"(SUBSYSTEM=="tty", KERNEL=="ttyACM0", ENV{ID_MM_DEVICE_IGNORE}="1")"}));
    EXPECT_EQ(leftOut, (std::vector<std::string>{"# COM5 = /dev/pts/7", R("# COM6 = @/dev/ttyUSB*")}));
    EXPECT_EQ(Run({"udev-rule", "ttyUSB0"}), 2);
}

TEST_F(PortsCommandTest, UnmappingANumberThatIsNotMappedSaysSo) {
    EXPECT_EQ(Run({"unmap", "4"}), 0);
    EXPECT_EQ(out_.str(), "COM4 was not mapped\n");
}

}  // namespace
