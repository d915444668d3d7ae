#include "tools/tester/Driver.h"

#include "common/com/ComText.h"
#include "common/platform/TextFormat.h"

namespace tessel::tst {

std::string ErrorText(const std::exception& e) {
    if (const auto* driver = dynamic_cast<const EDriverError*>(&e))
        return FormatText("(%d) %s", static_cast<int>(driver->Code()), driver->what());
    return e.what();
}

std::unique_ptr<TDriver> TDriver::Create(const std::string& progId) {
    return std::make_unique<TDriver>(cmd::TCmdDriver::Create(progId));
}

TDriver::THold TDriver::Sequence() {
    if (turns_.OnWindowThread()) {
        // Refused without asking for a turn: nothing on the window's side would take it.
        if (!turns_.TryLock(false)) throw EDriverBusy();
    } else {
        turns_.Lock();
    }
    return THold(turns_);
}

std::optional<TDriver::THold> TDriver::TryHold() {
    if (!turns_.TryLock()) return std::nullopt;
    return THold(turns_);
}

LONG TDriver::Call(const std::string& method) {
    const auto hold = Sequence();
    return calls_.Call(method);
}

LONG TDriver::GetLong(const std::string& name) {
    const auto hold = Sequence();
    return calls_.GetLong(name);
}

std::string TDriver::GetText(const std::string& name) {
    const auto hold = Sequence();
    return calls_.GetText(name);
}

void TDriver::PutLong(const std::string& name, LONG value) {
    const auto hold = Sequence();
    calls_.PutLong(name, value);
}

void TDriver::PutBool(const std::string& name, bool value) {
    const auto hold = Sequence();
    calls_.PutBool(name, value);
}

void TDriver::Check(const std::string& method) {
    const auto sequence = Sequence();
    const LONG result = calls_.Call(method);
    if (result != 0) throw EDriverError(calls_.GetText("ResultDescription"), result);
}

void TDriver::CheckResult() {
    const auto sequence = Sequence();
    const LONG result = calls_.GetLong("ResultCode");
    if (result != 0) throw EDriverError(calls_.GetText("ResultDescription"), result);
}

void TDriver::Open() {
    const auto sequence = Sequence();
    calls_.PutBool("DeviceEnabled", true);
    CheckResult();
}

void TDriver::GetAs(const std::string& name, VARTYPE type, VARIANT& out) {
    const auto hold = Sequence();
    calls_.GetAs(name, type, out);
}

bool TDriver::GetBool(const std::string& name) {
    cmd::TVariant value;
    GetAs(name, VT_BOOL, value.v);
    return value.v.boolVal != VARIANT_FALSE;
}

DATE TDriver::GetDate(const std::string& name) {
    cmd::TVariant value;
    GetAs(name, VT_DATE, value.v);
    return value.v.date;
}

LONGLONG TDriver::GetMoney(const std::string& name) {
    cmd::TVariant value;
    GetAs(name, VT_CY, value.v);
    return value.v.cyVal.int64;
}

double TDriver::GetDouble(const std::string& name) {
    cmd::TVariant value;
    GetAs(name, VT_R8, value.v);
    return value.v.dblVal;
}

Bytes TDriver::GetBytes(const std::string& name) {
    cmd::TVariant value;
    GetAs(name, VT_BSTR, value.v);
    return BstrToBytes(value.v.bstrVal);
}

void TDriver::PutDate(const std::string& name, DATE value) {
    const auto hold = Sequence();
    cmd::TVariant v;
    v.v.vt = VT_DATE;
    v.v.date = value;
    calls_.Put(name, v.v);
}

}  // namespace tessel::tst
