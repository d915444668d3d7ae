// tessel: the command-line client of the driver (see --help).
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/tessel/ClientPlatform.h"
#include "tools/tessel/DispatchDriver.h"
#include "tools/tessel/DoctorCommand.h"
#include "tools/tessel/HelpText.h"
#include "tools/tessel/MessagePump.h"
#include "tools/tessel/PortsCommand.h"
#include "tools/tessel/ProgressLine.h"
#include "tools/tessel/ReportCommand.h"
#include "tools/tessel/Runner.h"
#include "tools/tessel/StatsCommand.h"

namespace {

using namespace tessel::cli;

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
    PrepareConsole();
    const std::vector<std::string> args = Utf8Arguments(argc, argv);
    if (args.empty()) return Fail("no steps given (try --help)", kExitUsage);
    if (args.front() == "--help" || args.front() == "-h") {
        std::cout << HelpText();
        return kExitOk;
    }
    if (args.front() == "ports") return RunPorts({args.begin() + 1, args.end()}, std::cout, std::cerr);
    if (args.front() == "stats") return RunStats({args.begin() + 1, args.end()}, std::cout, std::cerr);
    if (args.front() == "doctor" && args.size() == 1) return RunDoctor(std::cout);
    if (args.front() == "report") return RunReport({args.begin() + 1, args.end()}, std::cout, std::cerr);
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
        // The signal's own status tells a script that the run did not end by itself.
        if (runner.Interruption() != 0) Fail("interrupted", 0);
        return runner.ExitStatus();
    } catch (const std::exception& e) {
        return Fail(e.what(), kExitUsage);
    }
}
