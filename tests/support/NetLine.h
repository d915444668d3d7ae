#pragma once
// Emulated registers reached over the network on loopback ports the system chooses: the emulator's own
// listener in front of its pseudo-terminal (raw TCP or RFC 2217), and Debian's ser2net serving a
// pseudo-terminal over RFC 2217, the real server a shop would run.

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/ChildProcess.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuLine.h"
#include "tools/emulator/EmuListener.h"

namespace tessel_test {

// Registers on a new pseudo-terminal answering at `baud` alone (0: at any speed), reached over the network
// through the emulator's listener as COM<port> while the object lives.
class EmuNetPort {
  public:
    EmuNetPort(int port, bool rfc2217, std::initializer_list<std::uint8_t> addresses = {2},
               std::uint32_t baud = 0)
        : line_(Start(addresses, baud)),
          listener_(line_->Path(), EmuListenOptions{"127.0.0.1", 0, rfc2217, baud}),
          mapping_(PortVariable(port), listener_.Address()) {}

    EmuLine& operator*() const { return *line_; }
    EmuLine* operator->() const { return line_.get(); }
    EmuListener& Listener() { return listener_; }
    const std::string& Address() const { return listener_.Address(); }

  private:
    static std::unique_ptr<EmuLine> Start(std::initializer_list<std::uint8_t> addresses, std::uint32_t baud) {
        EmuLineOptions options;
        options.baud = baud;
        auto line = EmuLine::StartOnNewPty(std::move(options));
        for (const std::uint8_t address : addresses) line->AddRegister(address);
        return line;
    }

    std::unique_ptr<EmuLine> line_;
    EmuListener listener_;
    ScopedEnv mapping_;
};

// The loopback port a process listens on, from its sockets' inodes and the system's table of TCP sockets;
// nothing while it listens on none.
inline std::optional<std::uint16_t> ListeningPort(pid_t pid) {
    std::set<std::string> inodes;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(fds, ec)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream words(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        words >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >>
            inode;
        if (state != "0A" || inodes.count(inode) == 0) continue;
        return static_cast<std::uint16_t>(std::stoul(local.substr(local.find(':') + 1), nullptr, 16));
    }
    return std::nullopt;
}

// ser2net serving the terminal `path` over RFC 2217 on a loopback port of the system's choosing, at `baud`
// until the client sets another speed.
class Ser2Net {
  public:
    // The installed program (scripts/setup installs it), or empty.
    static std::string Program() {
        for (const char* candidate : {"/usr/sbin/ser2net", "/usr/bin/ser2net"})
            if (::access(candidate, X_OK) == 0) return candidate;
        return {};
    }

    // Throws std::runtime_error when it does not listen within a few seconds.
    Ser2Net(const std::string& path, std::uint32_t baud) : child_(Start(path, baud)) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(port_ = ListeningPort(child_->Pid()))) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("ser2net does not listen");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::string Address() const { return "rfc2217://127.0.0.1:" + std::to_string(*port_); }

  private:
    std::unique_ptr<ChildProcess> Start(const std::string& path, std::uint32_t baud) {
        const std::string config = dir_.File("ser2net.yaml");
        std::ofstream(config) << "connection: &register\n"
                              << "  accepter: telnet(rfc2217),tcp,127.0.0.1,0\n"
                              << "  connector: serialdev," << path << "," << baud << "n81,local\n";
        return std::make_unique<ChildProcess>(
            Program(), std::vector<std::string>{"-n", "-c", config, "-P", dir_.File("ser2net.pid")});
    }

    TempDir dir_;
    std::unique_ptr<ChildProcess> child_;
    std::optional<std::uint16_t> port_;
};

}  // namespace tessel_test
