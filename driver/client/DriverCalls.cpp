#include "driver/client/DriverCalls.h"

#include <stdexcept>

#include "common/com/ComText.h"
#include "common/platform/TextFormat.h"
#include "driver/base/untError.h"

namespace {

void CheckHr(HRESULT hr) {
    if (FAILED(hr))
        throw std::runtime_error(
            tessel::FormatText("Ошибка вызова драйвера: 0x%08X", static_cast<unsigned>(hr)));
}

}  // namespace

TDriverCalls::TDriverCalls(ITesselDriver* driver) : driver_(driver) {
    if (!driver_) throw std::invalid_argument("the dialogs need the driver's interface");
}

LONG TDriverCalls::Get(TLongGet get) const {
    LONG value = 0;
    CheckHr((driver_.Get()->*get)(&value));
    return value;
}

void TDriverCalls::Put(TLongPut put, LONG value) const {
    CheckHr((driver_.Get()->*put)(value));
}

bool TDriverCalls::Get(TBoolGet get) const {
    VARIANT_BOOL value = VARIANT_FALSE;
    CheckHr((driver_.Get()->*get)(&value));
    return value != VARIANT_FALSE;
}

void TDriverCalls::Put(TBoolPut put, bool value) const {
    CheckHr((driver_.Get()->*put)(value ? VARIANT_TRUE : VARIANT_FALSE));
}

std::string TDriverCalls::Get(TStringGet get) const {
    BSTR raw = nullptr;
    const HRESULT hr = (driver_.Get()->*get)(&raw);
    const tessel::UniqueBstr text(raw);
    CheckHr(hr);
    return tessel::BstrToUtf8(text.get());
}

void TDriverCalls::Put(TStringPut put, const std::string& value) const {
    const tessel::UniqueBstr text = tessel::Utf8ToBstr(value);
    CheckHr((driver_.Get()->*put)(text.get()));
}

DATE TDriverCalls::Get(TDateGet get) const {
    DATE value = 0;
    CheckHr((driver_.Get()->*get)(&value));
    return value;
}

void TDriverCalls::Put(TDatePut put, DATE value) const {
    CheckHr((driver_.Get()->*put)(value));
}

LONG TDriverCalls::Call(TMethod method) const {
    LONG value = 0;
    CheckHr((driver_.Get()->*method)(&value));
    return value;
}

LONG TDriverCalls::CallForResult(TMethod method) const {
    Call(method);
    return Get(&ITesselDriver::get_ResultCode);
}

void TDriverCalls::Check(TMethod method) const {
    Call(method);
    CheckResult();
}

void TDriverCalls::CheckResult() const {
    const LONG code = Get(&ITesselDriver::get_ResultCode);
    if (code != 0) throw EDriverError(code, Get(&ITesselDriver::get_ResultDescription));
}

std::string TDriverCalls::ResultLine() const {
    const LONG code = Get(&ITesselDriver::get_ResultCode);
    return tessel::FormatText("(%d) ", static_cast<int>(code)) + Get(&ITesselDriver::get_ResultDescription);
}

TScopedParentWnd::TScopedParentWnd(const TDriverCalls& driver, LONG parentWnd)
    : driver_(driver), previous_(driver.Get(&ITesselDriver::get_ParentWnd)) {
    driver_.Put(&ITesselDriver::put_ParentWnd, parentWnd);
}

TScopedParentWnd::~TScopedParentWnd() {
    try {
        driver_.Put(&ITesselDriver::put_ParentWnd, previous_);
    } catch (const std::exception&) {
        // A driver that refuses a property now refuses everything; the action's own error tells the user.
    }
}
