// Registers on the network, end to end over loopback: the engine through tcp:// to the emulator's listener
// and through rfc2217:// to the emulator's own RFC 2217 side and to ser2net in front of the emulator's
// pseudo-terminal; connections refused in every way a network refuses them; a connection that drops in the
// middle of an exchange while a register on another port goes on answering.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/base/untError.h"
#include "driver/link/CUCommNet.h"
#include "support/EmuFixture.h"
#include "support/Fd.h"
#include "support/Latch.h"
#include "support/NetLine.h"

namespace {

using namespace tessel_test;
using Clock = std::chrono::steady_clock;

constexpr int kNetPort = 5;
constexpr int kBaud9600 = 4;
constexpr int kBaud19200 = 5;

std::unique_ptr<TEcrDrv> NetEngine(const TempDir& dir, int port) {
    auto engine = std::make_unique<TEcrDrv>(TEcrDrv::TOptions{dir.Path(), {}});
    engine->SetPortNumber(port);
    engine->SetBaudRate(kBaud9600);
    engine->Timeout = 1000;
    engine->SetLogFileName(dir.File("driver.log"));
    engine->SetLogEnabled(true);
    return engine;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The notes of the frames the registers did not understand: the speeds they saw the line at.
class SpeedNotes {
  public:
    explicit SpeedNotes(EmuLine& line) {
        line.SetFrameObserver([this](const EmuFrameEvent& e) {
            if (!e.note.starts_with(kNotUnderstood)) return;
            std::lock_guard lock(mutex_);
            notes_.push_back(e.note);
        });
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(notes_, {});
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> notes_;
};

enum class Server { EmulatorRaw, EmulatorRfc2217, Ser2net };

struct ServerCase {
    const char* name;
    Server server;
};

class NetServerTest : public ::testing::TestWithParam<ServerCase> {
  protected:
    void SetUp() override {
        ForgetDriverSettings();
        if (GetParam().server == Server::Ser2net && Ser2Net::Program().empty())
            GTEST_SKIP() << "ser2net is not installed (scripts/setup installs it)";
    }
};

// The register works at 9600 baud. Over RFC 2217 the driver's speed reaches its line: at 19200 the register
// sees frames at another speed and stays silent; over a raw stream the converter keeps the line's speed.
TEST_P(NetServerTest, TheDriverTalksThroughTheServerAndItsSpeedReachesTheLineOverRfc2217) {
    const bool rfc2217 = GetParam().server != Server::EmulatorRaw;
    EmuLineOptions options;
    options.baud = 9600;
    auto line = EmuLine::StartOnNewPty(options);
    line->AddRegister(2);
    SpeedNotes notes(*line);
    std::unique_ptr<EmuListener> listener;
    std::unique_ptr<Ser2Net> ser2net;
    std::string address;
    if (GetParam().server == Server::Ser2net) {
        ser2net = std::make_unique<Ser2Net>(line->Path(), 9600);
        address = ser2net->Address();
    } else {
        listener =
            std::make_unique<EmuListener>(line->Path(), EmuListenOptions{"127.0.0.1", 0, rfc2217, 9600});
        address = listener->Address();
    }
    const ScopedEnv com(PortVariable(kNetPort), address);
    TempDir dir;
    auto engine = NetEngine(dir, kNetPort);
    // RTS dropped around every request: over RFC 2217 the modem-line commands travel with the frames.
    engine->SetFuel(false);

    EXPECT_EQ(engine->GetECRStatus(), 0) << engine->ResultDescription;
    engine->SetBaudRate(kBaud19200);
    const std::int32_t atOtherSpeed = engine->GetECRStatus();
    engine->SetBaudRate(kBaud9600);
    EXPECT_EQ(engine->GetECRStatus(), 0) << engine->ResultDescription;
    if (rfc2217) {
        EXPECT_EQ(atOtherSpeed, E_NOCONNECTION);
        const auto seen = notes.Take();
        ASSERT_FALSE(seen.empty());
        EXPECT_NE(seen.front().find("runs at 19200 baud"), std::string::npos) << seen.front();
    } else {
        EXPECT_EQ(atOtherSpeed, 0) << engine->ResultDescription;
        EXPECT_TRUE(notes.Take().empty());
    }
    engine.reset();
    const std::string log = ReadFile(dir.File("driver.log"));
    EXPECT_NE(log.find("COM5 (" + address + ") -> 7E 02 01 00"), std::string::npos) << log;
    EXPECT_NE(log.find("COM5 (" + address + ") <- 7E 01 02 01"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Servers, NetServerTest,
                         ::testing::Values(ServerCase{"EmulatorRaw", Server::EmulatorRaw},
                                           ServerCase{"EmulatorRfc2217", Server::EmulatorRfc2217},
                                           ServerCase{"Ser2net", Server::Ser2net}),
                         [](const auto& info) { return std::string(info.param.name); });

// A loopback port nobody listens on, and a listener whose queue is full, so that it answers no one.
std::uint16_t FreePort() {
    Fd s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(s.Get(), reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

struct FailureCase {
    const char* name;
    std::string mapped;
    std::string reason;
};

class NetConnectTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(NetConnectTest, FailsWithinTheBoundNamingTheAddressAndTheReason) {
    const ScopedEnv com(PortVariable(kNetPort), GetParam().mapped);
    TNetComm port;
    port.SetPortNumber(kNetPort);
    port.SetConnectBoundMs(500);
    const auto start = Clock::now();
    try {
        port.Open();
        ADD_FAILURE() << "connected";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), E_PORTUNAVAILABLE);
        EXPECT_EQ(std::string(e.what()),
                  "Порт недоступен: COM5 = " + GetParam().mapped + " (TESSEL_COM5): " + GetParam().reason);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_FALSE(port.Enabled());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, NetConnectTest,
    ::testing::Values(FailureCase{"Refused", "tcp://127.0.0.1:" + std::to_string(FreePort()),
                                  "соединение отвергнуто"},
                      FailureCase{"NameNotFound", "rfc2217://no-such-register.invalid:4001",
                                  "имя no-such-register.invalid не найдено"},
                      FailureCase{"NoPort", "tcp://127.0.0.1", "не указан порт TCP"}),
    [](const auto& info) { return std::string(info.param.name); });

// A server that accepts the connection and never answers the COM-port option: opening ends at the bound.
TEST(NetConnect, AnRfc2217ServerThatNeverAgreesEndsTheOpeningAtTheBound) {
    Fd server(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(server.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(server.Get(), 1), 0);
    socklen_t length = sizeof a;
    ::getsockname(server.Get(), reinterpret_cast<sockaddr*>(&a), &length);
    const std::string mapped = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    const ScopedEnv com(PortVariable(kNetPort), mapped);
    TNetComm port;
    port.SetPortNumber(kNetPort);
    port.SetConnectBoundMs(300);
    try {
        port.Open();
        ADD_FAILURE() << "opened";
    } catch (const EDriverError& e) {
        EXPECT_EQ(std::string(e.what()), "Порт недоступен: COM5 = " + mapped +
                                             " (TESSEL_COM5): сервер не ответил на управление портом "
                                             "(RFC 2217) за 300 мс");
    }
}

// Register A on a network port answers late; its connection drops while the engine waits. The wait ends at
// once with -3 naming the address, register B on another port answers as before, and the next call to A
// connects again.
TEST(NetDrop, ADroppedConnectionIsAVanishedPortThatTheNextCallReconnects) {
    ForgetDriverSettings();
    EmuNetPort a(kNetPort, false);
    EmuPort b(6);
    TempDir dir;
    auto engine = NetEngine(dir, kNetPort);
    engine->SetFuel(true);
    engine->Timeout = 5000;
    ASSERT_EQ(engine->AddLD(), 0);
    engine->SetPortNumber(6);
    const int deviceB = engine->LDNumber();
    engine->SetLDIndex(0);
    const int deviceA = engine->LDNumber();
    auto status = [&](int device) {
        engine->SetLDNumber(device);
        return engine->GetECRStatus();
    };
    ASSERT_EQ(status(deviceB), 0) << engine->ResultDescription;
    ASSERT_EQ(status(deviceA), 0) << engine->ResultDescription;

    a->SetExecutionDelay(2000);
    Latch heard(1);
    a->SetFrameObserver([&heard](const EmuFrameEvent& e) {
        if (e.kind == EmuFrameEvent::Kind::Received) heard.count_down();
    });
    Clock::time_point droppedAt;
    std::thread network([&] {
        heard.wait();
        droppedAt = Clock::now();
        a.Listener().Disconnect();
    });
    const std::int32_t result = status(deviceA);
    const auto returned = Clock::now();
    network.join();
    a->SetFrameObserver(nullptr);
    EXPECT_EQ(result, E_PORTUNAVAILABLE);
    EXPECT_EQ(engine->ResultDescription,
              "Порт недоступен: COM5 = " + a.Address() + " (TESSEL_COM5): соединение закрыто");
    EXPECT_LT(returned - droppedAt, std::chrono::milliseconds(500));
    EXPECT_FALSE(engine->DeviceEnabled());

    EXPECT_EQ(status(deviceB), 0) << engine->ResultDescription;
    a->SetExecutionDelay(0);
    EXPECT_EQ(status(deviceA), 0) << engine->ResultDescription;
    EXPECT_EQ(a.Listener().Connections(), 2u);
    engine.reset();
}

}  // namespace
