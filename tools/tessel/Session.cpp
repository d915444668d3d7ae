#include "tools/tessel/Session.h"

#include "tools/tessel/ValueText.h"

namespace tessel::cli {

Session::Session(DispatchDriver& driver, std::ostream& out) : driver_(driver), out_(out) {}

void Session::Print(const std::string& line) {
    out_ << line << '\n' << std::flush;
}

void Session::Set(const std::string& name, const std::string& value) {
    driver_.PutText(name, value);
}

LONG Session::Invoke(const std::string& name, bool quiet) {
    Variant result;
    driver_.Call(name, result);
    LONG code = 0;
    Variant number;
    // AboutBox yields nothing; its outcome is in ResultCode like every other member's.
    if (result->vt == VT_EMPTY || FAILED(VariantChangeType(number.Get(), result.Get(), 0, VT_I4))) {
        code = driver_.GetLong("ResultCode");
    } else {
        code = number->lVal;
    }
    if (code != 0) failed_ = true;
    if (!quiet || code != 0) {
        Print(name + ": (" + std::to_string(code) + ") " +
              EscapeControls(driver_.GetText("ResultDescription")));
    }
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
