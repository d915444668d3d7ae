#include "tools/tessel/Runner.h"

#include "tools/tessel/DeviceSearch.h"
#include "tools/tessel/Listener.h"
#include "tools/tessel/MemberList.h"
#include "tools/tessel/SavedSettings.h"
#include "tools/tessel/TableTransfer.h"

namespace tessel::cli {

namespace {

constexpr std::string_view kKeepGoing = "--keep-going";
constexpr std::string_view kQuiet = "--quiet";

}  // namespace

Script Script::FromArguments(const std::vector<std::string>& args) {
    Script script;
    bool quiet = false;
    std::size_t first = 0;
    for (; first < args.size() && args[first].starts_with("--"); ++first) {
        if (args[first] == kKeepGoing) {
            script.keepGoing = true;
        } else if (args[first] == kQuiet) {
            quiet = true;
        } else {
            throw UsageError("argument " + std::to_string(first + 1) + ": unknown option \"" + args[first] +
                             "\" (try --help)");
        }
    }
    script.steps = ParseStepArguments(std::vector<std::string>(args.begin() + first, args.end()));
    for (Step& step : script.steps) {
        step.tables.quiet = step.tables.quiet || quiet;
        step.search.quiet = step.search.quiet || quiet;
    }
    for (const Step& step : script.steps) {
        const std::string& file = step.listen.rulesFile;
        if (step.kind == StepKind::Listen && !file.empty() && !script.rules.contains(file)) {
            script.rules.emplace(file, AnswerRules::Load(file));
        }
        // A search with nothing to try is refused before anything runs.
        if (step.kind == StepKind::Search) SearchParamsFor(step.search);
    }
    return script;
}

Runner::Runner(DispatchDriver& driver, StopSignals& signals, std::ostream& out, std::ostream& progress,
               bool terminal)
    : session_(driver, out),
      signals_(signals),
      pump_(signals),
      out_(out),
      progress_(progress),
      terminal_(terminal) {}

void Runner::Run(const Script& script) {
    for (const Step& step : script.steps) {
        if (signals_.Stopped()) return;
        bool succeeded = false;
        try {
            succeeded = RunStep(script, step);
        } catch (const StepFailure& e) {
            out_ << std::flush;
            progress_ << "tessel: " << e.what() << '\n' << std::flush;
        }
        if (!succeeded) {
            session_.MarkFailed();
            if (!script.keepGoing) return;
        }
    }
}

int Runner::ExitStatus() {
    if (const int signal = signals_.Signal(); signal != 0) return kExitSignalBase + signal;
    return session_.AnyFailed() ? kExitStepFailed : kExitOk;
}

bool Runner::RunStep(const Script& script, const Step& step) {
    switch (step.kind) {
        case StepKind::Set:
            return session_.Set(step.name, step.value);
        case StepKind::Call:
            return session_.Call(step.name) == 0;
        case StepKind::Get:
            session_.Get(step.name);
            return true;
        case StepKind::Wait:
            pump_.PumpFor(step.ms);
            return true;
        case StepKind::Pump:
            pump_.DispatchPending();
            return true;
        case StepKind::Members:
            PrintMembers(*session_.Driver().Dispatch(), out_);
            return true;
        case StepKind::Settings:
            PrintSavedSettings(session_);
            return true;
        case StepKind::Listen: {
            const auto rules = script.rules.find(step.listen.rulesFile);
            Listener listener(session_, pump_, sink_, step.listen,
                              rules == script.rules.end() ? nullptr : &rules->second);
            return listener.Run();
        }
        case StepKind::Tables:
            return TableTransfer(session_, pump_, progress_, terminal_).Run(step.tables);
        case StepKind::Search:
            return DeviceSearch(session_, pump_, progress_, terminal_).Run(step.search) != 0;
    }
    return true;
}

}  // namespace tessel::cli
