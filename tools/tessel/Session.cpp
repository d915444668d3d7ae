#include "tools/tessel/Session.h"

#include "tools/tessel/ValueText.h"

namespace tessel::cli {

namespace {

// The driver's text of result 0.
constexpr const char* kNoErrorsText = "Ошибок нет";

}  // namespace

Session::Session(DispatchDriver& driver, std::ostream& out) : driver_(driver), out_(out) {}

void Session::Print(const std::string& line) {
    out_ << line << '\n' << std::flush;
}

void Session::ClearResult() {
    // The interface has no member that clears the result, but choosing the current logical device again
    // does, and changes nothing else.
    driver_.PutLong("LDIndex", driver_.GetLong("LDIndex"));
}

bool Session::Write(const std::string& label, const std::function<void()>& write) {
    // Most properties leave the result as it was, so only a result that the write changed is its own: the
    // result of an earlier failed step is cleared first.
    if (driver_.GetLong("ResultCode") != 0) ClearResult();
    const LONG before = driver_.GetLong("ResultCode");
    const std::string beforeText = before != 0 ? driver_.GetText("ResultDescription") : std::string();
    write();
    const LONG code = driver_.GetLong("ResultCode");
    if (code == 0) return true;
    const std::string description = driver_.GetText("ResultDescription");
    if (code == before && description == beforeText) return true;
    failed_ = true;
    Print(label + ": (" + std::to_string(code) + ") " + EscapeControls(description));
    return false;
}

bool Session::Set(const std::string& name, const std::string& value) {
    return Write(name, [&] { driver_.PutText(name, value); });
}

bool Session::OpenPort(const std::string& step) {
    return Write(step, [this] { driver_.PutLong("DeviceEnabled", 1); });
}

LONG Session::Invoke(const std::string& name, bool quiet) {
    // AboutBox yields nothing and leaves the last result as it was: only a result that changed is its
    // failure (one that repeats the previous failure exactly reads as success).
    const bool yieldsNothing = driver_.IdOf(name) == TesselDispIdAboutBox;
    LONG before = 0;
    std::string beforeText;
    if (yieldsNothing) {
        before = driver_.GetLong("ResultCode");
        beforeText = driver_.GetText("ResultDescription");
    }
    Variant result;
    driver_.Call(name, result);
    LONG code = 0;
    std::string description;
    Variant number;
    if (yieldsNothing) {
        code = driver_.GetLong("ResultCode");
        description = driver_.GetText("ResultDescription");
        if (code == before && description == beforeText) {
            code = 0;
            description = kNoErrorsText;
        }
    } else {
        if (result->vt == VT_EMPTY || FAILED(VariantChangeType(number.Get(), result.Get(), 0, VT_I4))) {
            code = driver_.GetLong("ResultCode");
        } else {
            code = number->lVal;
        }
        if (!quiet || code != 0) description = driver_.GetText("ResultDescription");
    }
    if (code != 0) failed_ = true;
    if (!quiet || code != 0) Print(name + ": (" + std::to_string(code) + ") " + EscapeControls(description));
    return code;
}

LONG Session::Call(const std::string& name) {
    return Invoke(name, false);
}

LONG Session::CallQuietly(const std::string& name) {
    return Invoke(name, true);
}

void Session::Get(const std::string& name) {
    Variant value;
    driver_.Get(name, value);
    Print(name + " = " + FormatValue(*value));
}

}  // namespace tessel::cli
