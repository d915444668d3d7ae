// tessel: the command-line client of the driver (see --help).
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "tools/tessel/DispatchDriver.h"
#include "tools/tessel/HelpText.h"
#include "tools/tessel/MessagePump.h"
#include "tools/tessel/ProgressLine.h"
#include "tools/tessel/Runner.h"

namespace {

using namespace tessel::cli;

// How to register the driver, naming the built files when they lie where the build puts them.
std::string RegistrationHint() {
    std::error_code ec;
    const auto bin = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    const auto regsvr = bin / "tessel-regsvr";
    const auto library = bin.parent_path() / "lib" / "libTesselDrv.so";
    if (!ec && std::filesystem::exists(regsvr) && std::filesystem::exists(library)) {
        return "Register the driver first: " + regsvr.string() + " " + library.string();
    }
    return "Register the driver first: tessel-regsvr LIBRARY (the driver library, libTesselDrv.so)";
}

DispatchDriver CreateDriver() {
    try {
        return DispatchDriver::Create();
    } catch (const CreationError& e) {
        throw CreationError(std::string(e.what()) + "\n" + RegistrationHint());
    }
}

int Fail(const std::string& message, int status) {
    std::cout << std::flush;
    std::cerr << "tessel: " << message << '\n';
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Fail("no steps given (try --help)", kExitUsage);
    if (args.front() == "--help" || args.front() == "-h") {
        std::cout << HelpText();
        return kExitOk;
    }
    // Every failure that reaches here is a failed step, a usage mistake, a refusal by the driver or a failed
    // creation; the driver object is released on the way out.
    try {
        const Script script = Script::FromArguments(args);
        // Signals first, so that the driver's threads start with them blocked.
        StopSignals signals;
        DispatchDriver driver = CreateDriver();
        Runner runner(driver, signals, std::cout, std::cerr, ProgressLine::StderrIsTerminal());
        runner.Run(script);
        std::cout << std::flush;
        return runner.ExitStatus();
    } catch (const StepFailure& e) {
        return Fail(e.what(), kExitMethodFailed);
    } catch (const std::exception& e) {
        return Fail(e.what(), kExitUsage);
    }
}
