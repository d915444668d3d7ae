#pragma once
// An emulated register line on a new pseudo-terminal, reached by the driver as a COM port.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>

#include "support/ScopedEnv.h"
#include "tools/emulator/EmuLine.h"

namespace tessel_test {

// An emulated line on a new pseudo-terminal that the driver reaches as COM<port> while the object lives.
class EmuPort {
  public:
    // Registers with the default model at `addresses`, answering at `baud` alone (0: at any speed the
    // driver sets). Throws as EmuLine::StartOnNewPty and EmuLine::AddRegister do.
    explicit EmuPort(int port, std::initializer_list<std::uint8_t> addresses = {2}, std::uint32_t baud = 0)
        : line_(Start(addresses, baud)), mapping_(PortVariable(port), line_->Path()) {}

    EmuLine& operator*() const { return *line_; }
    EmuLine* operator->() const { return line_.get(); }

  private:
    static std::unique_ptr<EmuLine> Start(std::initializer_list<std::uint8_t> addresses, std::uint32_t baud) {
        EmuLineOptions options;
        options.baud = baud;
        auto line = EmuLine::StartOnNewPty(std::move(options));
        for (const std::uint8_t address : addresses) line->AddRegister(address);
        return line;
    }

    std::unique_ptr<EmuLine> line_;
    ScopedEnv mapping_;
};

}  // namespace tessel_test
