#pragma once
// A whole tessel run: the steps with the rules files they name, read and checked before the driver is
// created, then carried out in order.

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tools/tessel/CommandSink.h"
#include "tools/tessel/DispatchDriver.h"
#include "tools/tessel/MessagePump.h"
#include "tools/tessel/Rules.h"
#include "tools/tessel/Session.h"
#include "tools/tessel/Steps.h"

namespace tessel::cli {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;            // every method yielded 0
inline constexpr int kExitMethodFailed = 1;  // some method yielded another code
inline constexpr int kExitUsage = 2;         // a usage mistake, or the driver could not be created

struct Script {
    std::vector<Step> steps;
    std::map<std::string, AnswerRules> rules;  // by file name, as the listen steps give it

    // Parses the step arguments, loads every rules file and checks the parameters of every search against
    // the saved ones. Throws UsageError.
    static Script FromArguments(const std::vector<std::string>& args);
};

class Runner {
  public:
    // `progress` takes the progress of tables and search (standard error); `terminal` says whether it is a
    // terminal, where progress is one line rewritten in place.
    Runner(DispatchDriver& driver, StopSignals& signals, std::ostream& out, std::ostream& progress,
           bool terminal);

    // Carries out the steps in order; a stop signal ends the step in progress (a wait, a listen, a table
    // transfer, a search) and skips the rest. Throws DispatchError when the driver refuses a name or a value,
    // UsageError for a table or import file that does not fit, StepFailure when a table transfer fails,
    // std::runtime_error when the driver refuses an event sink or gives no type information.
    void Run(const Script& script);

    // kExitOk or kExitMethodFailed, by the methods called so far.
    int ExitStatus() const { return session_.AnyFailed() ? kExitMethodFailed : kExitOk; }

  private:
    void RunStep(const Script& script, const Step& step);

    Session session_;
    CommandSink sink_;  // the commands one listen leaves to the next
    StopSignals& signals_;
    MessagePump pump_;
    std::ostream& out_;
    std::ostream& progress_;
    bool terminal_;
};

}  // namespace tessel::cli
