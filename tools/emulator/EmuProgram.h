#pragma once
// The TesselEmu program's parts that need no process around them: its options, its help, the port mapping it
// records for the driver, and the commands it reads from standard input.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/platform/Bytes.h"
#include "tools/emulator/EmuLine.h"
#include "tools/emulator/EmuListener.h"
#include "tools/emulator/EmuPeerWatch.h"
#include "tools/emulator/EmuScript.h"

// The registers' speed without --baud: the driver's default speed (BaudRate 3).
inline constexpr std::uint32_t kEmuDefaultBaud = 4800;

struct EmuProgramOptions {
    std::string device;                      // empty: a new pseudo-terminal
    std::optional<EmuListenOptions> listen;  // --listen: also reached over the network
    bool rfc2217 = false;                    // --rfc2217: the network port speaks RFC 2217
    std::optional<int> comPort;              // record COM<N> -> path
    std::vector<std::uint8_t> addresses;     // empty: address 2
    std::uint8_t computerAddress = 1;
    std::string countersDirectory;
    std::uint32_t baud = kEmuDefaultBaud;  // the registers' speed (EmuLineOptions::baud)
    EmuPacing pacing;                      // paced to `baud` only when --baud names it
    std::uint32_t answerTimeoutMs = 1000;  // for `send`
    std::uint32_t delayMs = 0;
    std::uint32_t executionDelayMs = 0;
    EmuLateness lateness;
    EmuRepeatCheck repeatCheck = EmuRepeatCheck::Counters;
    std::vector<std::uint64_t> drop;
    std::vector<std::uint64_t> corrupt;
    std::vector<std::pair<std::uint64_t, Bytes>> noise;
    // Identities of every register: nullopt keeps the model's default; an inner nullopt is "never entered".
    std::optional<std::optional<std::uint64_t>> serialNumber;
    std::optional<std::optional<std::uint64_t>> inn;
    std::optional<std::optional<std::uint64_t>> eklzNumber;
    std::string modelFile;               // empty: no model file
    std::string scriptFile;              // --script: played once the line is up
    std::uint32_t scriptWaitMs = 60000;  // --script-wait: how long the script waits for the computer
    bool verbose = false;
    bool help = false;
};

// Parses the arguments after the program name. Throws std::invalid_argument with a message naming the option
// for an unknown option, a missing value or a value out of range.
EmuProgramOptions ParseOptions(const std::vector<std::string>& args);

// The --help text: every option, the standard-input commands and an example.
std::string HelpText();

// Records in the settings store (HKEY_CURRENT_USER, key Software\Korvex\TesselDrv\TesselDrv\Ports) the string
// value "COM<comPort>" = path, where the driver looks for its port's device. Throws tessel::RegistryError
// when the store cannot be written.
void RecordComPort(int comPort, const std::string& path);
// The folder where the registers on the driver's port `comPort` keep their sequence counters between runs:
// emulator/COM<comPort> in the settings store's folder, created when missing. Throws
// std::filesystem::filesystem_error when it cannot be created.
std::string ComPortCounters(int comPort);
// Removes the value that RecordComPort wrote when it still names `path`. Throws tessel::RegistryError when
// the store cannot be written.
void ForgetComPort(int comPort, const std::string& path);

// One line of the log printed with --verbose.
std::string DescribeEvent(const EmuFrameEvent& event);

// The program's state: a line with its registers and planned faults, and the mapping recorded for it.
class Emulator {
  public:
    // Starts the line (a new pseudo-terminal, or the device), adds the registers with the identities asked
    // for, plans the faults and records the COM mapping. Throws what EmuLine's starters and RecordComPort
    // throw, std::invalid_argument for an identity the model refuses, and std::runtime_error naming the file
    // and line for a model file that cannot be loaded.
    explicit Emulator(const EmuProgramOptions& options);
    // Removes the COM mapping it recorded, and saves the first register's model to the model file, if one was
    // given; a failure of either is reported on standard error.
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    EmuLine& Line() { return *line_; }
    // "PTY <path>" for a new pseudo-terminal, "DEVICE <path>" for a named terminal.
    std::string FirstLine() const;
    // With --listen: "LISTEN <address>", the network address the driver's port is mapped to; else empty.
    std::string ListenLine() const;
    // Plays the --script file once from the first register and returns one line per request (see
    // DescribeOutcome); nothing without a script. It first waits, at most scriptWaitMs, until a program has
    // opened the line or sent a byte, and says on standard error when none did; when `stopFd` (not -1)
    // becomes readable meanwhile (a stop signal), it plays nothing. Never throws: a request that failed is
    // its line.
    std::string PlayScript(int stopFd = -1);

    // Runs one standard-input command and returns what to print, one or more lines each ending in '\n'
    // (nothing for an empty line). Failures come back as a line "ERROR <message>"; nothing is thrown.
    std::string Execute(const std::string& commandLine);

  private:
    std::string Send(const std::vector<std::string>& words);
    std::string Fault(const std::vector<std::string>& words);
    std::string Count(const std::vector<std::string>& words);
    std::string Sale(const std::vector<std::string>& words);
    std::string Disconnect();
    // What --com records: the network address with --listen, else the line's path.
    std::string ComPortTarget() const;

    EmuProgramOptions options_;
    std::unique_ptr<EmuLine> line_;
    std::unique_ptr<EmuListener> listener_;
    std::unique_ptr<EmuPeerWatch> peerWatch_;  // with a script: from the start, so no open is missed
    std::unique_ptr<EmuScript> script_;        // read before the line starts, so a bad one costs nothing
};
