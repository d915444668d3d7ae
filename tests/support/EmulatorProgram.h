#pragma once
// The TesselEmu program as a child process: it opens a new pseudo-terminal, names it in its first line
// ("PTY <path>") and takes commands on its standard input.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace tessel_test {

// The arguments of one register at address 2, the one the driver's default address reaches.
inline const std::vector<std::string> kRegisterAt2{"--address", "2"};

class EmulatorProgram {
  public:
    // The built program: TESSEL_EMU where the test program is given it, else the one beside the test
    // program (every program of the build is written to one folder).
    static std::string Program() {
#ifdef TESSEL_EMU
        return TESSEL_EMU;
#else
        return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "TesselEmu").string();
#endif
    }

    // Starts the program with `args`; `env` as for ChildProcess. Throws std::runtime_error when it cannot
    // start or does not name its terminal in time.
    explicit EmulatorProgram(const std::vector<std::string>& args, const Env& env = {})
        : child_(Program(), args, env) {
        const auto first = child_.ReadLine();
        if (!first || !first->starts_with("PTY /"))
            throw std::runtime_error("TesselEmu did not report its terminal: " + first.value_or("(nothing)"));
        path_ = first->substr(4);
    }

    // The terminal that the computer's side opens.
    const std::string& Path() const {
        return path_;
    }
    ChildProcess& Process() {
        return child_;
    }

    // Runs one standard-input command and returns its first output line ("" when none came in time).
    std::string Command(const std::string& line) {
        child_.Write(line + "\n");
        return child_.ReadLine().value_or("");
    }

  private:
    ChildProcess child_;
    std::string path_;
};

}  // namespace tessel_test
