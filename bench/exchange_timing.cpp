// Times the engine's exchanges with the register emulator over a pseudo-terminal against a bare
// write/poll/read round trip over the same line, and prints the figures and their ratios:
// - the port's opening and configuration, and the first exchange after it (Fuel mode, no line pacing);
// - a later exchange on a quiet line: what the driver adds to the round trip, and what of it is the sync of
//   the counters to the disk (the same exchange on counters whose writes do not wait for it);
// - exchanges back to back with and without Fuel: what a call takes beyond the line timing the registers
//   require (the quiet interval of 100 ms after the last received byte, and with Fuel false RTS dropped
//   10 ms before the write).
//
// It works in a settings folder of its own, which it removes, and never touches the user's settings.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "driver/engine/untEcrDrv.h"
#include "driver/link/EcrFrame.h"
#include "tools/emulator/EmuLine.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: tessel_exchange_timing [--rounds N]\n"
    "Times the driver's exchanges with an emulated register on a pseudo-terminal against a bare round trip\n"
    "and prints the figures with their ratios. N rounds of each (default 30, 1 to 1000). The settings and\n"
    "counters live in a temporary folder that is removed at the end.\n";

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "tessel_exchange_timing: %s\n", what.c_str());
    std::exit(1);
}

// A settings folder of the program's own, which every driver setting goes to and which goes at the end.
class OwnStore {
  public:
    OwnStore() {
        char dir[] = "/tmp/tessel-exchange-timing-XXXXXX";
        if (::mkdtemp(dir) == nullptr) Fail("cannot make a temporary folder");
        path_ = dir;
        ::setenv("TESSEL_REGISTRY_DIR", path_.c_str(), 1);
    }
    ~OwnStore() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    OwnStore(const OwnStore&) = delete;
    OwnStore& operator=(const OwnStore&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// One status request written to the line and its whole answer read back, with nothing of the driver, after
// the line was quiet as long as before a timed exchange.
double BareRoundTrip(const std::string& path) {
    std::this_thread::sleep_for(std::chrono::milliseconds(TECRState::kQuietMs + 5));
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open " + path);
    // The register answers a repetition as fast as a new request, which is all that is timed here.
    const Bytes frame = BuildFrame({0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x11});
    TEcrFrame assembler;
    bool done = false;
    assembler.OnFrame = [&done](TEcrFrame&) { done = true; };
    const auto start = Clock::now();
    if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) Fail("write");
    std::uint8_t buf[512];
    while (!done) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) Fail("no answer to the bare request");
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) assembler.Feed(buf, static_cast<std::size_t>(n));
    }
    const double us = Micros(Clock::now() - start);
    ::close(fd);
    return us;
}

void Exchange(TEcrDrv& engine) {
    if (engine.GetECRStatus() != 0) Fail("exchange failed: " + engine.ResultDescription);
}

// An exchange on a quiet line, in microseconds; the port is then stored closed, so that the next engine
// opens it again.
double LaterExchange(TEcrDrv& engine) {
    // The quiet interval the transmitter leaves after the last received byte is not timed here.
    std::this_thread::sleep_for(std::chrono::milliseconds(TECRState::kQuietMs + 5));
    const auto start = Clock::now();
    Exchange(engine);
    const double us = Micros(Clock::now() - start);
    engine.SetDeviceEnabled(false);
    return us;
}

// Milliseconds a call takes, back to back, beyond what the registers require (110 ms with Fuel false, 100
// with Fuel true); the median over `calls` calls.
double BeyondRequired(const std::string& counters, bool fuel, int calls) {
    TEcrDrv engine(TEcrDrv::TOptions{counters, {}});
    engine.SetFuel(fuel);
    engine.SetDeviceEnabled(true);
    Exchange(engine);
    struct Closer {
        TEcrDrv& engine;
        ~Closer() { engine.SetDeviceEnabled(false); }
    } closer{engine};
    const double required = fuel ? TECRState::kQuietMs : TECRState::kQuietMs + 10.0;
    std::vector<double> beyond;
    auto last = Clock::now();
    for (int i = 0; i < calls; ++i) {
        Exchange(engine);
        const auto now = Clock::now();
        beyond.push_back(Micros(now - last) / 1000.0 - required);
        last = now;
    }
    return Median(beyond);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 30;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--rounds" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end == '\0' && n >= 1 && n <= 1000) {
                rounds = static_cast<int>(n);
                continue;
            }
        }
        std::fprintf(stderr, "tessel_exchange_timing: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
        return 2;
    }

    const OwnStore store;
    auto line = EmuLine::StartOnNewPty();
    line->AddRegister(2);
    ::setenv("TESSEL_COM1", line->Path().c_str(), 1);

    std::vector<double> bare;
    for (int i = 0; i < rounds; ++i) bare.push_back(BareRoundTrip(line->Path()));

    std::vector<double> open;
    std::vector<double> first;
    std::vector<double> later;
    std::vector<double> laterUnsynced;
    for (int i = 0; i < rounds; ++i) {
        {
            TEcrDrv engine(TEcrDrv::TOptions{store.Path(), {}});
            engine.SetFuel(true);
            auto start = Clock::now();
            engine.SetDeviceEnabled(true);
            if (engine.ResultCode != 0) Fail("the port did not open: " + engine.ResultDescription);
            open.push_back(Micros(Clock::now() - start));
            start = Clock::now();
            Exchange(engine);
            first.push_back(Micros(Clock::now() - start));
            later.push_back(LaterExchange(engine));
        }
        // The same exchange on the same counters file, its writes not waiting for the disk: the difference
        // is what keeping the counters durable costs an exchange.
        TEcrDrv::TOptions unsynced{store.Path(), {}};
        unsynced.Counters = TCounters::OpenInDirectory(store.Path(), TCounters::kMaxFileNumber,
                                                       TCounters::Durability::Unsynced);
        TEcrDrv engine(std::move(unsynced));
        engine.SetFuel(true);
        engine.SetDeviceEnabled(true);
        Exchange(engine);
        laterUnsynced.push_back(LaterExchange(engine));
    }
    const int calls = std::min(rounds, 50);
    const double normal = BeyondRequired(store.Path(), false, calls);
    const double fuel = BeyondRequired(store.Path(), true, calls);

    const double b = Median(bare);
    const double o = Median(open);
    const double f = Median(first);
    const double l = Median(later);
    const double u = Median(laterUnsynced);
    std::printf("bare write/poll/read round trip:   %8.1f us (median of %d)\n", b, rounds);
    std::printf("opening and configuring the port:  %8.1f us\n", o);
    std::printf(
        "first exchange after opening:      %8.1f us = %.2f x the round trip; with the opening %.2f x "
        "(round trip + opening) (goal: at most 3)\n",
        f, f / b, (o + f) / (b + o));
    std::printf(
        "later exchange, quiet line:        %8.1f us = %.2f x the round trip; the driver adds %.1f us "
        "(goal: at most 500 with the counters not synced, below)\n",
        l, l / b, l - b);
    std::printf(
        "the same, counters not synced:     %8.1f us, the driver adds %.1f us; keeping the counters on the "
        "disk costs %.1f us an exchange\n",
        u, u - b, l - u);
    std::printf(
        "back to back, Fuel false:          %+8.3f ms a call beyond the required 110 ms = %.4f x "
        "(goal: at most +0.5 ms)\n",
        normal, (110.0 + normal) / 110.0);
    std::printf(
        "back to back, Fuel true:           %+8.3f ms a call beyond the required 100 ms = %.4f x "
        "(goal: at most +0.5 ms)\n",
        fuel, (100.0 + fuel) / 100.0);
    return 0;
}
