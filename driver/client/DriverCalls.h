#pragma once
// The driver as its own windows and transfer engines reach it: through the ITesselDriver they are handed, as
// an outside client would. Early-bound calls with their HRESULT checked (a failing call throws
// std::runtime_error "Ошибка вызова драйвера: 0x%08X") and texts as UTF-8.

#include <string>

#include "common/com/ComPtr.h"
#include "driver/automation/TesselDrv_TLB.h"

class TDriverCalls {
  public:
    using TLongGet = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(LONG*);
    using TLongPut = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(LONG);
    using TBoolGet = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(VARIANT_BOOL*);
    using TBoolPut = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(VARIANT_BOOL);
    using TStringGet = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(BSTR*);
    using TStringPut = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(BSTR);
    using TDateGet = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(DATE*);
    using TDatePut = HRESULT (STDMETHODCALLTYPE ITesselDriver::*)(DATE);
    using TMethod = TLongGet;

    // Keeps a reference to `driver`. Throws std::invalid_argument for null.
    explicit TDriverCalls(ITesselDriver* driver);

    ITesselDriver* Interface() const { return driver_.Get(); }

    LONG Get(TLongGet get) const;
    void Put(TLongPut put, LONG value) const;
    bool Get(TBoolGet get) const;
    void Put(TBoolPut put, bool value) const;
    std::string Get(TStringGet get) const;
    void Put(TStringPut put, const std::string& value) const;
    DATE Get(TDateGet get) const;
    void Put(TDatePut put, DATE value) const;

    // Calls a method; its value, the result code.
    LONG Call(TMethod method) const;
    // Calls a method and returns ResultCode as the driver then holds it (the method's own value unused).
    LONG CallForResult(TMethod method) const;
    // Calls a method and, when ResultCode is then not 0, raises EDriverError with ResultCode and
    // ResultDescription.
    void Check(TMethod method) const;
    // Raises EDriverError with ResultCode and ResultDescription when ResultCode is not 0: for the setters,
    // which leave a refusal there.
    void CheckResult() const;
    // "(%d) %s" of ResultCode and ResultDescription.
    std::string ResultLine() const;

  private:
    tessel::ComPtr<ITesselDriver> driver_;
};

// Sets the driver's ParentWnd for one nested dialog call and puts the earlier value back afterwards, so that
// the driver never keeps the handle of a window that is gone.
class TScopedParentWnd {
  public:
    TScopedParentWnd(const TDriverCalls& driver, LONG parentWnd);
    ~TScopedParentWnd();
    TScopedParentWnd(const TScopedParentWnd&) = delete;
    TScopedParentWnd& operator=(const TScopedParentWnd&) = delete;

  private:
    const TDriverCalls& driver_;
    LONG previous_;
};
