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
inline constexpr int kExitOk = 0;          // every step succeeded
inline constexpr int kExitStepFailed = 1;  // a step failed (a method's or a set's result, a transfer, ...)
inline constexpr int kExitUsage = 2;       // a usage mistake, a file that does not fit, no driver
// A stop signal ended the run: 128 and the signal's number, as the shell reports a program it ended.
inline constexpr int kExitSignalBase = 128;

struct Script {
    std::vector<Step> steps;
    std::map<std::string, AnswerRules> rules;  // by file name, as the listen steps give it
    bool keepGoing = false;                    // --keep-going: the steps after a failed one run as well

    // Parses the run options (--keep-going, --quiet for every tables and search step) and the step
    // arguments after them, loads every rules file and checks the parameters of every search against the
    // saved ones. Throws UsageError.
    static Script FromArguments(const std::vector<std::string>& args);
};

class Runner {
  public:
    // `progress` takes the progress of tables and search (standard error); `terminal` says whether it is a
    // terminal, where progress is one line rewritten in place.
    Runner(DispatchDriver& driver, StopSignals& signals, std::ostream& out, std::ostream& progress,
           bool terminal);

    // Carries out the steps in order until one fails (a method or a set that leaves a result other than 0,
    // a listen whose port does not open, a search that finds nothing, a table transfer that fails: each says
    // so), or through all of them with keepGoing. A stop signal ends the step in progress (a wait, a listen,
    // a table transfer, a search; a call once it returns) and skips the rest. Throws DispatchError when the
    // driver refuses a name or a value, UsageError for a table or a file that does not fit,
    // std::runtime_error when the driver refuses an event sink or gives no type information.
    void Run(const Script& script);

    // The stop signal that ended the run; 0 when none came.
    int Interruption() { return signals_.Signal(); }
    // kExitSignalBase + the signal after a stop signal, else kExitOk or kExitStepFailed.
    int ExitStatus();

  private:
    // False when the step failed.
    bool RunStep(const Script& script, const Step& step);

    Session session_;
    CommandSink sink_;  // the commands one listen leaves to the next
    StopSignals& signals_;
    MessagePump pump_;
    std::ostream& out_;
    std::ostream& progress_;
    bool terminal_;
};

}  // namespace tessel::cli
