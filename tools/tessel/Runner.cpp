#include "tools/tessel/Runner.h"

#include "tools/tessel/DeviceSearch.h"
#include "tools/tessel/Listener.h"
#include "tools/tessel/MemberList.h"
#include "tools/tessel/TableTransfer.h"

namespace tessel::cli {

Script Script::FromArguments(const std::vector<std::string>& args) {
    Script script;
    script.steps = ParseStepArguments(args);
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
        RunStep(script, step);
    }
}

void Runner::RunStep(const Script& script, const Step& step) {
    switch (step.kind) {
        case StepKind::Set:
            session_.Set(step.name, step.value);
            break;
        case StepKind::Call:
            session_.Call(step.name);
            break;
        case StepKind::Get:
            session_.Get(step.name);
            break;
        case StepKind::Wait:
            pump_.PumpFor(step.ms);
            break;
        case StepKind::Pump:
            pump_.DispatchPending();
            break;
        case StepKind::Members:
            PrintMembers(*session_.Driver().Dispatch(), out_);
            break;
        case StepKind::Listen: {
            const auto rules = script.rules.find(step.listen.rulesFile);
            Listener listener(session_, pump_, sink_, step.listen,
                              rules == script.rules.end() ? nullptr : &rules->second);
            listener.Run();
            break;
        }
        case StepKind::Tables:
            TableTransfer(session_, pump_, progress_, terminal_).Run(step.tables);
            break;
        case StepKind::Search:
            if (DeviceSearch(session_, pump_, progress_, terminal_).Run(step.search) == 0)
                session_.MarkFailed();
            break;
    }
}

}  // namespace tessel::cli
