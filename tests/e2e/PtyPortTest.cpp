// The port and the link over pseudo-terminal pairs: the port opens the slave side, the test plays the far end
// on the master side.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/SyncObjects.h"
#include "common/platform/TickClock.h"
#include "driver/base/untError.h"
#include "driver/base/untLogFile.h"
#include "driver/link/CRC.h"
#include "driver/link/untDriver.h"
#include "support/Frames.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using tessel::WaitResult;
constexpr int kPort = 7;
constexpr std::uint32_t kWaitMs = 3000;

std::string ProcessName() {
    std::ifstream in("/proc/self/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void PointPort(const std::string& path) {
    ::setenv(("TESSEL_COM" + std::to_string(kPort)).c_str(), path.c_str(), 1);
}

using tessel_test::PtyPair;

class PtyTest : public ::testing::Test {
  protected:
    PtyTest() {
        log_.SetFileName(dir_.File("port.log"));
        log_.SetEnabled(true);
        comm_.SetPortNumber(kPort);
        PointPort(pty_.SlavePath());
    }
    ~PtyTest() override { ::unsetenv(("TESSEL_COM" + std::to_string(kPort)).c_str()); }

    std::string LogText() const {
        std::ifstream in(dir_.File("port.log"), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // A handler that reads what arrives and signals once `expected` bytes have come.
    void CollectInto(Bytes& sink, std::size_t expected, tessel::ManualResetEvent& done) {
        comm_.OnRxChar = [this, &sink, expected, &done](std::size_t n) {
            const Bytes got = comm_.Read(n);
            std::lock_guard lock(mutex_);
            sink.insert(sink.end(), got.begin(), got.end());
            if (sink.size() >= expected) done.Set();
        };
    }
    // Declared after a test's locals, closes the port before they go: its handlers use them.
    struct ClosePortAtExit {
        TComm& comm;
        ~ClosePortAtExit() { comm.Close(); }
    };

    TempDir dir_;
    TLogFile log_;
    PtyPair pty_;
    std::mutex mutex_;
    TComm comm_{&log_};
};

class PtyRateTest : public PtyTest, public ::testing::WithParamInterface<int> {};

TEST_P(PtyRateTest, DeviceTakesTheRateOfTheIndex) {
    comm_.Open();
    EXPECT_EQ(comm_.DeviceBaudRate(), 9600u);
    comm_.SetBaudIndex(GetParam());  // reconfigures the open port
    EXPECT_EQ(comm_.DeviceBaudRate(), BaudRateOfIndex(GetParam()));
    comm_.Close();
    comm_.Open();
    EXPECT_EQ(comm_.DeviceBaudRate(), BaudRateOfIndex(GetParam()));
}

// Standard rates, and those only termios2 can set (14400, 56000, 128000, 256000).
INSTANTIATE_TEST_SUITE_P(Indexes, PtyRateTest, ::testing::Values(0, 5, 7, 10, 12, 13, 14));

TEST_F(PtyTest, AHeldPortIsRefusedToASecondUser) {
    comm_.Open();
    TComm other;
    other.SetPortNumber(kPort);
    try {
        other.Open();
        ADD_FAILURE() << "opened twice";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), E_PORTBUSY);
        // The advisory lock names the holder, here this very process.
        EXPECT_EQ(std::string(e.what()), "Порт занят приложением: COM7 (" + pty_.SlavePath() + "), процесс " +
                                             std::to_string(::getpid()) + " (" + ProcessName() + ")");
    }
    comm_.SetPortNumber(kPort + 1);  // closes the open port
    EXPECT_FALSE(comm_.Enabled());
    EXPECT_NE(comm_.CloseTime(kPort), 0u);

    // The exclusive flag, which a pseudo-terminal keeps after its last close, is cleared.
    const int probe = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(probe);
    other.Open();
}

// The result names the port, the path tried and where it was found, in the result and in the log.
TEST_F(PtyTest, MissingDevicesAndFilesThatAreNoTerminalAreUnavailable) {
    std::ofstream(dir_.File("plain")) << "not a port";
    const std::string port = "COM" + std::to_string(kPort);
    const std::pair<std::string, std::string> cases[] = {
        {dir_.File("missing"), ""},
        {dir_.File("plain"), ": не терминал"},
        {dir_.Path(), ""},
        {"/dev/null", ": не терминал"},
    };
    for (const auto& [path, why] : cases) {
        PointPort(path);
        const std::string message =
            "Порт недоступен: " + port + " = " + path + " (TESSEL_" + port + ")" + why;
        try {
            comm_.Write({0x01});
            ADD_FAILURE() << path << " opened";
        } catch (const EDriverError& e) {
            EXPECT_EQ(e.ErrorCode(), E_PORTUNAVAILABLE) << path;
            EXPECT_EQ(e.what(), message);
        }
        EXPECT_FALSE(comm_.Enabled()) << path;
        // Each log line after its time stamp.
        const std::string log = LogText();
        const auto step = log.rfind(" Ошибка при открытии порта " + port + ".\r\n");
        EXPECT_NE(step, std::string::npos) << log;
        EXPECT_NE(log.find(" " + message + "\r\n", step), std::string::npos) << log;
    }
}

TEST_F(PtyTest, BytesTravelBothWaysAndAreLogged) {
    Bytes received;
    tessel::ManualResetEvent done;
    CollectInto(received, 3, done);
    ClosePortAtExit closer{comm_};

    comm_.Write({0x7E, 0x02, 0x01});  // opens the port
    EXPECT_EQ(pty_.Read(3), (Bytes{0x7E, 0x02, 0x01}));
    pty_.Write({0xAA, 0x00, 0x7D});
    ASSERT_EQ(done.WaitFor(kWaitMs), WaitResult::Signaled);
    comm_.Close();
    EXPECT_EQ(received, (Bytes{0xAA, 0x00, 0x7D}));

    const std::string text = LogText();
    EXPECT_NE(text.find(" COM7 -> 7E 02 01 \r\n"), std::string::npos) << text;
    std::string in;  // the "<-" lines, however the bytes were split
    for (auto at = text.find(" COM7 <- "); at != std::string::npos; at = text.find(" COM7 <- ", at + 1)) {
        in += text.substr(at + 9, text.find("\r\n", at) - at - 9);
    }
    EXPECT_EQ(in, "AA 00 7D ");
}

TEST_F(PtyTest, LargeWritesGoOutWhole) {
    comm_.SetBaudIndex(14);
    log_.SetEnabled(false);
    Bytes data(300000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    Bytes seen;
    std::thread reader([&] { seen = pty_.Read(data.size(), 8000); });
    comm_.Write(data);
    reader.join();
    EXPECT_TRUE(seen == data) << seen.size();
}

TEST_F(PtyTest, StalledWriteFailsAfterItsBound) {
    comm_.SetBaudIndex(14);
    comm_.SetFlowControl(3);  // XON/XOFF
    comm_.SetWriteGrace(200);
    Bytes received;
    tessel::ManualResetEvent marker;
    CollectInto(received, 1, marker);
    ClosePortAtExit closer{comm_};
    comm_.Open();
    pty_.Write({0x13, 'M'});  // XOFF; the marker after it shows that the port has taken it
    ASSERT_EQ(marker.WaitFor(kWaitMs), WaitResult::Signaled);

    const auto start = Clock::now();
    try {
        comm_.Write(Bytes(16, 0x55));
        ADD_FAILURE() << "a stopped port took the bytes";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("не завершена"), std::string::npos) << e.what();
    }
    EXPECT_GE(MsSince(start), 200.0);
    EXPECT_LT(MsSince(start), 1500.0);

    pty_.Write({0x11});  // XON: the line moves again
    comm_.Write({0x01, 0x02});
    EXPECT_EQ(pty_.Read(2), (Bytes{0x01, 0x02}));
}

double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

TEST_F(PtyTest, EventThreadSleepsUntilDataAndStopsPromptly) {
    std::atomic<int> calls{0};
    tessel::ManualResetEvent called;
    comm_.OnRxChar = [&](std::size_t) {  // leaves the bytes unread
        ++calls;
        called.Set();
    };
    ClosePortAtExit closer{comm_};
    comm_.Open();
    pty_.Write({0x01, 0x02, 0x03});
    ASSERT_EQ(called.WaitFor(kWaitMs), WaitResult::Signaled);

    const double before = ProcessCpuMs();
    tessel::SleepMs(300);
    EXPECT_LT(ProcessCpuMs() - before, 30.0);
    EXPECT_EQ(calls.load(), 1);  // unread bytes do not wake it again

    comm_.PurgeInput();
    EXPECT_TRUE(comm_.Read(16).empty());
    comm_.SetDTR(true);  // a pseudo-terminal has no modem lines: ignored
    comm_.SetRTS(false);

    const auto start = Clock::now();
    comm_.Close();
    EXPECT_LT(MsSince(start), 100.0);
}

// A port that records the modem lines it sets; the lines still reach the device, which on a
// pseudo-terminal refuses them.
class LineRecordingComm final : public TCustomComm {
  public:
    using TCustomComm::TCustomComm;
    ~LineRecordingComm() override { Close(); }
    std::vector<std::string> lines;

  protected:
    void SetModemLine(TModemLine line, bool on) override {
        lines.push_back(std::string(line == TModemLine::Dtr ? "dtr" : "rts") + (on ? "1" : "0"));
        TCustomComm::SetModemLine(line, on);
    }
};

TEST(PtyModemLines, OpenDropsDtrAndRtsAndThePseudoTerminalsRefusalIsIgnored) {
    PtyPair pty;
    PointPort(pty.SlavePath());
    LineRecordingComm comm;
    comm.SetPortNumber(kPort);
    comm.Open();
    EXPECT_TRUE(comm.Enabled());
    EXPECT_EQ(comm.lines, (std::vector<std::string>{"dtr0", "rts0"}));
    comm.SetDTR(true);
    comm.SetRTS(true);
    EXPECT_EQ(comm.lines, (std::vector<std::string>{"dtr0", "rts0", "dtr1", "rts1"}));
    comm.Close();
    comm.SetDTR(false);  // closed: nothing reaches the device
    EXPECT_EQ(comm.lines.size(), 4u);
}

TEST_F(PtyTest, FailingHandlerIsLoggedAndThePortKeepsReceiving) {
    std::atomic<int> calls{0};
    tessel::ManualResetEvent first;
    tessel::ManualResetEvent second;
    comm_.OnRxChar = [&](std::size_t n) {
        comm_.Read(n);
        if (++calls == 1) {
            first.Set();
            throw std::runtime_error("сбой обработчика");
        }
        second.Set();
    };
    ClosePortAtExit closer{comm_};
    comm_.Open();
    pty_.Write({0x01});
    ASSERT_EQ(first.WaitFor(kWaitMs), WaitResult::Signaled);
    pty_.Write({0x02});
    ASSERT_EQ(second.WaitFor(kWaitMs), WaitResult::Signaled);
    comm_.Close();

    const std::string text = LogText();
    const auto step = text.find(" Ошибка при обработке принятых данных порта COM7.\r\n");
    const auto message = text.find(" сбой обработчика\r\n");
    const auto separator = text.find(" " + std::string(60, '-') + "\r\n");
    ASSERT_NE(step, std::string::npos) << text;
    EXPECT_TRUE(step < message && message < separator && separator != std::string::npos) << text;
}

TEST_F(PtyTest, LostDeviceClosesThePortAndTheNextWriteOpensItAgain) {
    tessel::ManualResetEvent gone;
    comm_.OnPortGone = [&](const std::string&) { gone.Set(); };
    ClosePortAtExit closer{comm_};
    comm_.Open();
    pty_.CloseMaster();
    ASSERT_EQ(gone.WaitFor(kWaitMs), WaitResult::Signaled);
    EXPECT_FALSE(comm_.Enabled());
    EXPECT_NE(LogText().find(" Потеря связи с портом COM7.\r\n"), std::string::npos);
    PointPort(dir_.File("unplugged"));  // gone for good
    try {
        comm_.Write({0x01});
        ADD_FAILURE() << "opened a missing device";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), E_PORTUNAVAILABLE);
    }

    PtyPair again;  // back, here as another pair
    PointPort(again.SlavePath());
    comm_.Write({0x05, 0x06});
    EXPECT_TRUE(comm_.Enabled());
    EXPECT_EQ(again.Read(2), (Bytes{0x05, 0x06}));
}

TEST_F(PtyTest, HandlerMayCloseThePort) {
    tessel::ManualResetEvent closed;
    comm_.OnRxChar = [&](std::size_t) {
        comm_.Close();
        closed.Set();
    };
    ClosePortAtExit closer{comm_};
    comm_.Open();
    pty_.Write({0x01});
    ASSERT_EQ(closed.WaitFor(kWaitMs), WaitResult::Signaled);
    EXPECT_FALSE(comm_.Enabled());
    comm_.Write({0x09});  // reopens; the ended thread is joined
    EXPECT_EQ(pty_.Read(1), (Bytes{0x09}));
}

// A link object that hands every frame to the test.
class FrameLink : public TDriver {
  public:
    using TDriver::TDriver;
    ~FrameLink() override { SetDeviceEnabled(false); }

    tessel::ManualResetEvent arrived;
    Bytes frame;  // read after `arrived`
    bool crcOk = false;

  protected:
    void FrameComplete(TEcrFrame& f) override {
        frame = f.Data();
        crcOk = f.CrcOk();
        TDriver::FrameComplete(f);
        arrived.Set();
    }
};

TEST_F(PtyTest, LinkSendsAndAssemblesFrames) {
    FrameLink link(&log_);
    link.SetPortNumber(kPort);
    link.SetBaudRate(8);
    link.SetDeviceEnabled(true);

    const Bytes request = BuildFrame({0x02, 0x01, 0x00, 0x7E, 0x7D, 0x01, 0x11});
    link.Send(request);
    EXPECT_EQ(pty_.Read(request.size()), request);

    const Bytes body{0x01, 0x02, 0x01, 0x7E, 0x7D, 0x03, 0x11, 0x00, 0x7E};
    const Bytes answer = BuildFrame(body);
    pty_.Write(Bytes(answer.begin(), answer.begin() + 5));  // in two pieces
    pty_.Write(Bytes(answer.begin() + 5, answer.end()));
    ASSERT_EQ(link.arrived.WaitFor(kWaitMs), WaitResult::Signaled);

    EXPECT_EQ(link.frame, UnstuffedFrame(body));
    EXPECT_TRUE(link.crcOk);
    EXPECT_TRUE(link.State().LineIdle().IsSet());
}

}  // namespace
