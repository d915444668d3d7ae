#include "tools/tessel/Runner.h"

#include "tools/tessel/Listener.h"
#include "tools/tessel/MemberList.h"

namespace tessel::cli {

Script Script::FromArguments(const std::vector<std::string>& args) {
    Script script;
    script.steps = ParseStepArguments(args);
    for (const Step& step : script.steps) {
        const std::string& file = step.listen.rulesFile;
        if (step.kind == StepKind::Listen && !file.empty() && !script.rules.contains(file)) {
            script.rules.emplace(file, AnswerRules::Load(file));
        }
    }
    return script;
}

Runner::Runner(DispatchDriver& driver, CommandSink& sink, StopSignals& signals, std::ostream& out)
    : session_(driver, out), sink_(sink), signals_(signals), pump_(signals), out_(out) {}

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
    }
}

}  // namespace tessel::cli
