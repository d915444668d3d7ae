// Times the device search over eight emulated registers on pseudo-terminals, each answering at one speed
// (1200 to 115200 baud), and one on the network (a raw tcp:// stream, found at the first speed), in both
// orders in one run: port by port (a wait for answers after each request) against all ports at once (the
// request on every port, then one wait for the answers of all). It prints each search's time, their ratio,
// and the time of a search over one port alone, which the search of all ports at once comes close to. Every
// register must be found exactly once, at its own speed, in both orders.
//
// It works in a settings folder of its own, which it removes, and never touches the user's settings.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/platform/MessageQueue.h"
#include "driver/automation/oleMain.h"
#include "driver/automation/untDrvLink.h"
#include "driver/search/Search.h"
#include "tools/emulator/EmuLine.h"
#include "tools/emulator/EmuListener.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: tessel_search_timing [--kinds normal|both]\n"
    "Searches eight emulated registers on pseudo-terminals at 1200 .. 115200 baud (COM1 .. COM8) and one\n"
    "behind a raw TCP stream (COM9) at the eight speeds, port by port and all ports at once, and prints the\n"
    "times and their ratio, with the time of one port alone. The settings and counters live in a temporary\n"
    "folder that is removed at the end.\n";

constexpr std::uint32_t kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kNetworkPort = 9;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "tessel_search_timing: %s\n", what.c_str());
    std::exit(1);
}

class OwnStore {
  public:
    OwnStore() {
        char dir[] = "/tmp/tessel-search-timing-XXXXXX";
        if (::mkdtemp(dir) == nullptr) Fail("cannot make a temporary folder");
        path_ = dir;
        ::setenv("TESSEL_REGISTRY_DIR", path_.c_str(), 1);
        TDrvLinks::SetEngineFactory([counters = path_] {
            return std::make_unique<TEcrDrv>(TEcrDrv::TOptions{counters, {}});
        });
    }
    ~OwnStore() {
        TDrvLinks::SetEngineFactory(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    OwnStore(const OwnStore&) = delete;
    OwnStore& operator=(const OwnStore&) = delete;

  private:
    std::string path_;
};

// The registers: port -> the speed code it answers at (0: any, the network one).
struct Registers {
    std::vector<std::unique_ptr<EmuLine>> lines;
    std::unique_ptr<EmuListener> listener;
    std::map<int, int> speedOf;
};

Registers StartRegisters() {
    Registers r;
    for (std::size_t i = 0; i < std::size(kSpeeds); ++i) {
        EmuLineOptions options;
        options.baud = kSpeeds[i];
        auto line = EmuLine::StartOnNewPty(options);
        line->AddRegister(2);
        const int port = static_cast<int>(i) + 1;
        ::setenv(("TESSEL_COM" + std::to_string(port)).c_str(), line->Path().c_str(), 1);
        r.speedOf[port] = port;  // port N answers at speed code N
        r.lines.push_back(std::move(line));
    }
    auto line = EmuLine::StartOnNewPty();
    line->AddRegister(2);
    r.listener = std::make_unique<EmuListener>(line->Path(), EmuListenOptions{});
    ::setenv(("TESSEL_COM" + std::to_string(kNetworkPort)).c_str(), r.listener->Address().c_str(), 1);
    r.speedOf[kNetworkPort] = 1;  // the first speed searched
    r.lines.push_back(std::move(line));
    return r;
}

struct Outcome {
    double seconds = 0;
    std::vector<TSearchECR> found;
};

Outcome Search(ITesselDriver* driver, TSearchOrder order, const std::vector<int>& ports, bool bothKinds) {
    TSearchParams params;
    params.SetAll(TSearchList::Ports, false);
    for (const int port : ports)
        params.SetChecked(TSearchList::Ports, static_cast<std::size_t>(port - 1), true);
    params.SetAll(TSearchList::BaudRates, true);
    params.SetChecked(TSearchList::ECRTypes, 0, true);
    params.SetChecked(TSearchList::ECRTypes, 1, bothKinds);

    std::mutex mutex;
    Outcome outcome;
    bool finished = false;
    TECRSearch search(driver);
    search.SetOrder(order);
    search.SetOnNotify([&](const TSearchNotification& n) {
        std::lock_guard lock(mutex);
        if (n.State == ssFound) outcome.found.push_back(n.Current);
        if (n.State == ssFinished) finished = true;
    });
    const auto queue = tessel::MessageQueue::ForCurrentThread();
    const auto start = Clock::now();
    search.Start(params);
    // The driver's events reach the search through this thread's queue.
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (finished) break;
        }
        if (Clock::now() - start > std::chrono::minutes(10)) Fail("the search does not end");
        queue->WaitAndDispatch(10);
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return outcome;
}

// Every register once, at the speed it answers at, of each kind searched.
void CheckFound(const Outcome& outcome, const Registers& registers, const std::vector<int>& ports,
                bool bothKinds, const char* what) {
    std::map<std::pair<int, bool>, int> count;
    for (const TSearchECR& d : outcome.found) {
        const auto speed = registers.speedOf.find(d.Port);
        if (speed == registers.speedOf.end() || speed->second != d.BaudRate)
            Fail(std::string(what) + ": COM" + std::to_string(d.Port) + " found at speed code " +
                 std::to_string(d.BaudRate));
        ++count[{d.Port, d.Fuel}];
    }
    for (const int port : ports) {
        for (const bool fuel : {false, true}) {
            if (fuel && !bothKinds) continue;
            if (count[{port, fuel}] != 1)
                Fail(std::string(what) + ": COM" + std::to_string(port) + " found " +
                     std::to_string(count[{port, fuel}]) + " times");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool bothKinds = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--kinds" && i + 1 < argc) {
            const std::string kinds = argv[++i];
            if (kinds != "normal" && kinds != "both") Fail("--kinds takes normal or both");
            bothKinds = kinds == "both";
            continue;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }

    const OwnStore store;
    Registers registers = StartRegisters();
    tessel::ComPtr<ITesselDriver> driver;
    driver.Attach(new TTesselDrv());
    driver->put_Timeout(500);

    std::vector<int> all;
    for (int port = 1; port <= kNetworkPort; ++port) all.push_back(port);
    std::printf(
        "search of %zu registers (COM1..COM8 on pseudo-terminals at 1200..115200 baud, COM9 %s),\n"
        "eight speeds, %s\n",
        all.size(), registers.listener->Address().c_str(), bothKinds ? "both kinds" : "ordinary registers");
    std::fflush(stdout);
    const Outcome old = Search(driver.Get(), TSearchOrder::PortByPort, all, bothKinds);
    CheckFound(old, registers, all, bothKinds, "port by port");
    std::printf("  port by port            %7.2f s, %zu found\n", old.seconds, old.found.size());
    std::fflush(stdout);
    const Outcome now = Search(driver.Get(), TSearchOrder::AllPorts, all, bothKinds);
    CheckFound(now, registers, all, bothKinds, "all ports at once");
    std::printf("  all ports at once       %7.2f s, %zu found\n", now.seconds, now.found.size());
    const std::vector<int> one{3};
    const Outcome alone = Search(driver.Get(), TSearchOrder::AllPorts, one, bothKinds);
    CheckFound(alone, registers, one, bothKinds, "one port");
    std::printf("  one port (COM3) alone   %7.2f s, %zu found\n", alone.seconds, alone.found.size());
    std::printf("ratio port by port / all ports at once: %.2f\n", old.seconds / now.seconds);
    std::printf("ratio all ports at once / one port alone: %.2f\n", now.seconds / alone.seconds);
    driver.Reset();
    return 0;
}
