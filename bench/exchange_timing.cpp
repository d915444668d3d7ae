// Times an exchange of the engine with the register emulator over a pseudo-terminal (Fuel mode, no pacing)
// against a bare write/poll/read round trip over the same line, and prints the figures and their ratios.
//
// The driver's own cost is what an exchange takes beyond the round trip; the quiet interval that the
// transmitter must leave after the last received chunk is kept out of the timed part by waiting it out
// before each exchange.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/Registry.h"
#include "driver/engine/untConst.h"
#include "driver/engine/untEcrDrv.h"
#include "driver/link/EcrFrame.h"
#include "tools/emulator/EmuLine.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// One status request written to the line and its whole answer read back, with nothing of the driver.
double BareRoundTrip(const std::string& path, std::uint8_t c1) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("open");
        std::exit(1);
    }
    // The register counts this as the next request from its peer only when the counters say so; a
    // repetition is answered just as fast, which is all that is timed here.
    const Bytes frame = BuildFrame({0x02, 0x01, 0x00, c1, c1, 0x01, 0x11});
    TEcrFrame assembler;
    bool done = false;
    assembler.OnFrame = [&done](TEcrFrame&) { done = true; };
    const auto start = Clock::now();
    if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) std::exit(1);
    std::uint8_t buf[512];
    while (!done) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) {
            std::fprintf(stderr, "no answer to the bare request\n");
            std::exit(1);
        }
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) assembler.Feed(buf, static_cast<std::size_t>(n));
    }
    const double us = Micros(Clock::now() - start);
    ::close(fd);
    return us;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    char dir[] = "/tmp/tessel-bench-XXXXXX";
    if (::mkdtemp(dir) == nullptr) return 1;
    if (std::getenv("TESSEL_REGISTRY_DIR") == nullptr) ::setenv("TESSEL_REGISTRY_DIR", dir, 1);
    tessel::Registry().DeleteKey(kDriverKey);

    auto line = EmuLine::StartOnNewPty();
    line->AddRegister(2);
    ::setenv("TESSEL_COM1", line->Path().c_str(), 1);

    std::vector<double> bare;
    for (int i = 0; i < rounds; ++i) bare.push_back(BareRoundTrip(line->Path(), 0));

    std::vector<double> first;
    std::vector<double> later;
    for (int i = 0; i < rounds; ++i) {
        TEcrDrv engine(TEcrDrv::TOptions{dir, {}});
        engine.SetFuel(true);
        engine.SetDeviceEnabled(true);
        auto start = Clock::now();
        if (engine.GetECRStatus() != 0) {
            std::fprintf(stderr, "exchange failed: %s\n", engine.ResultDescription.c_str());
            return 1;
        }
        first.push_back(Micros(Clock::now() - start));
        std::this_thread::sleep_for(std::chrono::milliseconds(TECRState::kQuietMs + 5));
        start = Clock::now();
        if (engine.GetECRStatus() != 0) return 1;
        later.push_back(Micros(Clock::now() - start));
    }
    const double b = Median(bare);
    const double f = Median(first);
    const double l = Median(later);
    std::printf("bare write/poll/read round trip: %.1f us (median of %d)\n", b, rounds);
    std::printf("first exchange after opening:    %.1f us = %.2f x the round trip (goal: at most 3)\n", f,
                f / b);
    std::printf("later exchange, quiet line:      %.1f us; the driver adds %.1f us (goal: at most 500)\n", l,
                l - b);
    return 0;
}
