#include "tools/tessel/Listener.h"

#include <cstdio>

#include "tools/tessel/CommandTable.h"

namespace tessel::cli {

namespace {

std::string Limits(const ListenOptions& o) {
    return "Listening (time " +
           (o.seconds == 0 ? std::string("unlimited") : std::to_string(o.seconds) + " s") + ", commands " +
           (o.count == 0 ? std::string("unlimited") : std::to_string(o.count)) + ", rules " +
           (o.rulesFile.empty() ? std::string("none") : o.rulesFile) + ")";
}

std::string Header(std::int32_t id, std::uint8_t opcode, std::string_view name) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02Xh", opcode);
    std::string line = "Command " + std::to_string(id) + ": " + hex;
    if (!name.empty()) line += " " + std::string(name);
    return line;
}

}  // namespace

Listener::Listener(Session& session, MessagePump& pump, CommandSink& sink, const ListenOptions& options,
                   const AnswerRules* rules)
    : session_(session), pump_(pump), sink_(sink), options_(options), rules_(rules) {
    if (rules_ == nullptr) return;
    for (const Step* step : rules_->AllSteps()) session_.Driver().IdOf(step->name);
}

bool Listener::Run() {
    // Nothing arrives on a port that is not open: listening there would only look like a quiet register.
    if (!session_.OpenPort("listen")) return false;
    const auto connection = sink_.Connect(*session_.Driver().Dispatch());
    session_.Print(Limits(options_));
    auto handleArrived = [this] {
        while (sink_.HasPending() && (options_.count == 0 || handled_ < options_.count))
            Handle(sink_.TakeNext());
        return options_.count == 0 || handled_ < options_.count;
    };
    // Commands left over from an earlier listen come first; commands that arrived before this one are
    // announced when the queue is pumped, so they reach the sink too.
    if (handleArrived()) {
        if (options_.seconds == 0) {
            pump_.PumpUntilStopped(handleArrived);
        } else {
            pump_.PumpFor(static_cast<std::uint64_t>(options_.seconds) * 1000, handleArrived);
        }
    }
    session_.Print("Listened: " + std::to_string(handled_) + " command(s)");
    return !ruleFailed_;
}

void Listener::Handle(std::int32_t id) {
    ++handled_;
    DispatchDriver& driver = session_.Driver();
    driver.PutLong("CommandID", id);
    if (session_.CallQuietly("GetCommandParams") != 0) return;
    const auto opcode = static_cast<std::uint8_t>(driver.GetLong("CommandCode"));
    const CommandView view = ViewOf(opcode);
    session_.Print(Header(id, opcode, view.name));
    session_.Get("CommandSrcAddress");
    session_.Get("CommandType");
    const bool request = driver.GetLong("CommandType") == 0;
    if (request) {
        session_.Get("CommandExecuteFlag");
        session_.Get("CommandRollbackFlag");
        ShowAll(view.request);
        if (rules_ != nullptr) {
            if (const std::vector<Step>* steps = rules_->For(opcode)) Answer(opcode, *steps);
        }
    } else {
        session_.Get("CommandResultCode");
        session_.Get("CommandResultDescription");
        if (driver.GetLong("CommandResultCode") == 0) ShowAll(view.answer);
    }
    // Every command is handled once: keeping it would only grow the driver's list.
    driver.PutLong("CommandID", id);
    session_.CallQuietly("DeleteCommand");
}

void Listener::ShowAll(const std::vector<std::string_view>& names) {
    for (const std::string_view name : names) session_.Get(std::string(name));
}

void Listener::EmptyAnswer(std::uint8_t opcode) {
    DispatchDriver& driver = session_.Driver();
    const CommandView view = ViewOf(opcode);
    for (const std::string_view name : view.answer) {
        Variant value;
        driver.Get(std::string(name), value);
        // The same type, without a value: an empty text (a null BSTR is one), or zero.
        Variant empty;
        if (value->vt == VT_BSTR) {
            empty.Get()->vt = VT_BSTR;
            empty.Get()->bstrVal = nullptr;
        } else if (FAILED(VariantChangeType(empty.Get(), empty.Get(), 0, value->vt))) {
            continue;
        }
        driver.Put(std::string(name), *empty);
    }
}

void Listener::Answer(std::uint8_t opcode, const std::vector<Step>& steps) {
    DispatchDriver& driver = session_.Driver();
    EmptyAnswer(opcode);
    // The answer goes back to the register that asked, from this computer's own address, with success
    // unless a rule says otherwise.
    const LONG registerAddress = driver.GetLong("CommandSrcAddress");
    const LONG ownAddress = driver.GetLong("SrcAddress");
    driver.PutLong("CommandType", 1);
    driver.PutLong("CommandDstAddress", registerAddress);
    driver.PutLong("CommandSrcAddress", ownAddress);
    driver.PutLong("CommandResultCode", 0);
    for (const Step& step : steps) {
        if (step.kind == StepKind::Set && !session_.Set(step.name, step.value)) {
            // Half an answer is worse than none: the register asks again or gives up.
            ruleFailed_ = true;
            return;
        }
        if (step.kind == StepKind::Get) session_.Get(step.name);
    }
    session_.Call("SendCommand");
}

}  // namespace tessel::cli
