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
#include "tools/emulator/EmuScript.h"

struct EmuProgramOptions {
    std::string device;                   // empty: a new pseudo-terminal
    std::optional<int> comPort;           // record COM<N> -> path
    std::vector<std::uint8_t> addresses;  // empty: address 2
    std::uint8_t computerAddress = 1;
    std::string countersDirectory;
    EmuPacing pacing;
    std::uint32_t answerTimeoutMs = 1000;  // for `send`
    std::uint32_t delayMs = 0;
    std::vector<std::uint64_t> drop;
    std::vector<std::uint64_t> corrupt;
    std::vector<std::pair<std::uint64_t, Bytes>> noise;
    // Identities of every register: nullopt keeps the model's default; an inner nullopt is "never entered".
    std::optional<std::optional<std::uint64_t>> serialNumber;
    std::optional<std::optional<std::uint64_t>> inn;
    std::optional<std::optional<std::uint64_t>> eklzNumber;
    std::string modelFile;   // empty: no model file
    std::string scriptFile;  // --script: played once the line is up
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
    // Saves the first register's model to the model file, if one was given; a failure is reported on
    // standard error.
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    EmuLine& Line() { return *line_; }
    // "PTY <path>" for a new pseudo-terminal, "DEVICE <path>" for a named terminal.
    std::string FirstLine() const;
    // Plays the --script file once from the first register and returns one line per request (see
    // DescribeOutcome); nothing without a script. Never throws: a request that failed is its line.
    std::string PlayScript();

    // Runs one standard-input command and returns what to print, one or more lines each ending in '\n'
    // (nothing for an empty line). Failures come back as a line "ERROR <message>"; nothing is thrown.
    std::string Execute(const std::string& commandLine);

  private:
    std::string Send(const std::vector<std::string>& words);
    std::string Fault(const std::vector<std::string>& words);
    std::string Count(const std::vector<std::string>& words);
    std::string Sale(const std::vector<std::string>& words);

    EmuProgramOptions options_;
    std::unique_ptr<EmuLine> line_;
    std::unique_ptr<EmuScript> script_;  // read before the line starts, so a bad one costs nothing
};
