#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "common/platform/Registry.h"
#include "driver/base/untError.h"
#include "driver/base/untLogFile.h"
#include "driver/link/CUComm.h"
#include "support/TempDir.h"

namespace {

TEST(BaudTable, IndexesRatesAndCodes) {
    const std::uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
    // The code each index reads back as; indexes without a code read 1.
    const int codes[] = {1, 1, 1, 1, 2, 3, 4, 1, 5, 6, 1, 7, 8, 1, 1};
    for (int index = 0; index < 15; ++index) {
        EXPECT_EQ(BaudRateOfIndex(index), rates[index]) << index;
        EXPECT_EQ(BaudIndexToCode(index), codes[index]) << index;
    }
    const char* names[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    for (int code = 1; code <= 8; ++code) {
        EXPECT_EQ(BaudCodeName(code), names[code - 1]);
        EXPECT_EQ(std::to_string(BaudRateOfIndex(BaudCodeToIndex(code))), names[code - 1]);
        EXPECT_EQ(BaudIndexToCode(BaudCodeToIndex(code)), code);
    }
}

TEST(BaudTable, OutOfRangeIsRefused) {
    for (int code : {0, 9, -1}) {
        try {
            BaudCodeToIndex(code);
            ADD_FAILURE() << code;
        } catch (const EDriverError& e) {
            EXPECT_EQ(e.ErrorCode(), E_INVALIDVALUE);
            EXPECT_EQ(std::string(e.what()),
                      "Недопустимое значение свойства 'Скорость порта' (" + std::to_string(code) +
                          ").\r\nЗначения свойства должны находиться в диапазоне 1..8.");
        }
        EXPECT_EQ(BaudCodeName(code), "Недопустимое значение");
    }
    EXPECT_THROW(BaudRateOfIndex(15), EDriverError);
    EXPECT_EQ(BaudIndexToCode(-1), 1);
}

struct SetterCase {
    const char* name;
    void (TCustomComm::*set)(int);
    int (TCustomComm::*get)() const;
    int low;
    int high;
};

class CommSetterTest : public ::testing::TestWithParam<SetterCase> {};

TEST_P(CommSetterTest, AcceptsItsRangeOnly) {
    TComm comm;
    const auto& c = GetParam();
    (comm.*c.set)(c.low);
    (comm.*c.set)(c.high);
    for (int bad : {c.low - 1, c.high + 1}) {
        try {
            (comm.*c.set)(bad);
            ADD_FAILURE() << bad;
        } catch (const EDriverError& e) {
            EXPECT_EQ(e.ErrorCode(), E_INVALIDVALUE);
            EXPECT_STREQ(e.what(), "Недопустимое значение");
        }
    }
    EXPECT_EQ((comm.*c.get)(), c.high);
    EXPECT_FALSE(comm.Enabled());  // settings never open the port
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CommSetterTest,
    ::testing::Values(
        SetterCase{"Port", &TCustomComm::SetPortNumber, &TCustomComm::PortNumber, 1, 32},
        SetterCase{"Baud", &TCustomComm::SetBaudIndex, &TCustomComm::BaudIndex, 0, 14},
        SetterCase{"Parity", &TCustomComm::SetParityIndex, &TCustomComm::ParityIndex, 0, 4},
        SetterCase{"StopBits", &TCustomComm::SetStopBitsIndex, &TCustomComm::StopBitsIndex, 0, 2},
        SetterCase{"ByteSize", &TCustomComm::SetByteSizeIndex, &TCustomComm::ByteSizeIndex, 0, 4},
        SetterCase{"Flow", &TCustomComm::SetFlowControl, &TCustomComm::FlowControl, 0, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Comm, EventCharsCopyAndAssign) {
    TComm comm;
    TCommEventChars chars = comm.EventChars();  // a copy of the defaults, detached from the port
    EXPECT_EQ(std::vector<int>(
                  {chars.XonChar(), chars.XoffChar(), chars.ErrorChar(), chars.EofChar(), chars.EventChar()}),
              std::vector<int>({0x11, 0x13, 0, 0, 0}));
    chars.SetXonChar(1);
    chars.SetEventChar(5);
    EXPECT_EQ(comm.EventChars().XonChar(), 0x11);
    comm.EventChars() = chars;
    EXPECT_EQ(comm.EventChars().XonChar(), 1);
    EXPECT_EQ(comm.EventChars().EventChar(), 5);
}

TEST(CommDispatch, CallsTheHandlersOfTheMaskInEventOrder) {
    TComm comm;
    std::vector<std::string> calls;
    auto note = [&calls](const char* name) { return [&calls, name] { calls.push_back(name); }; };
    comm.OnBreak = note("break");
    comm.OnCts = note("cts");
    comm.OnDsr = note("dsr");
    comm.OnError = [&](std::uint32_t e) { calls.push_back("error" + std::to_string(e)); };
    comm.OnRing = note("ring");
    comm.OnRlsd = note("rlsd");
    comm.OnRxChar = [&](std::size_t n) { calls.push_back("rx" + std::to_string(n)); };
    comm.OnRxFlag = note("flag");
    comm.OnTxEmpty = note("txempty");

    comm.Dispatch(kAllCommEvents, 4, 3);
    EXPECT_EQ(calls, (std::vector<std::string>{"break", "cts", "dsr", "error4", "ring", "rlsd", "rx3", "flag",
                                               "txempty"}));
    calls.clear();
    comm.Dispatch(evTxEmpty | evRxChar | evDsr, 0, 0);  // no bytes waiting: no received-characters call
    comm.OnRing = nullptr;
    comm.Dispatch(evRing, 0, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"dsr", "txempty"}));
}

TEST(Comm, ClosedPortDoesNothingThatNeedsTheDevice) {
    TempDir dir;
    TLogFile log;
    log.SetFileName(dir.File("port.log"));
    log.SetEnabled(true);
    TComm comm(&log);
    comm.Write({});  // neither opens nor logs
    comm.PurgeInput();
    comm.SetDTR(true);
    comm.SetRTS(false);
    EXPECT_TRUE(comm.Read(0).empty());
    EXPECT_FALSE(comm.Enabled());
    EXPECT_EQ(comm.DeviceBaudRate(), 0u);
    EXPECT_THROW(comm.Read(1), EDriverError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("port.log")));
}

class WriteBoundProbe : public TCustomComm {
  public:
    using TCustomComm::WriteBoundMs;
};

TEST(Comm, WriteBoundFollowsRateAndFraming) {
    WriteBoundProbe comm;
    EXPECT_EQ(comm.WriteBoundMs(96), 200u + 1000);  // 9600 baud, 10 bits a byte
    comm.SetParityIndex(2);
    comm.SetStopBitsIndex(2);
    EXPECT_EQ(comm.WriteBoundMs(96), 240u + 1000);  // 12 bits a byte
    comm.SetWriteGrace(0);
    comm.SetBaudIndex(3);  // 1200
    EXPECT_EQ(comm.WriteBoundMs(1), 20u);
    EXPECT_EQ(comm.WriteBoundMs(std::numeric_limits<std::size_t>::max()), 24u * 3600 * 1000);  // capped
}
}  // namespace
