#pragma once
// A driver interface in front of a real driver object: every member goes to the object, except the methods
// a test makes fail, which answer with the result code and text it gives (the object never hears of them).
// For handing a dialog a driver whose chosen operation fails in a way a register cannot make it fail.

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "driver/automation/TesselDrv_TLB.h"

namespace tessel_test {

class ForwardingDriver final : public ITesselDriver {
  public:
    explicit ForwardingDriver(tessel::ComPtr<ITesselDriver> target) : target_(std::move(target)) {}

    // Every later call of the method `dispId` yields `code`, with `text` in ResultDescription, until the
    // next call of any other method.
    void FailMethod(LONG dispId, LONG code, std::string text) {
        std::lock_guard lock(mutex_);
        failing_[dispId] = {code, std::move(text)};
    }
    // Calls of the method `dispId` made so far, failed ones included.
    int Calls(LONG dispId) const {
        std::lock_guard lock(mutex_);
        const auto it = calls_.find(dispId);
        return it == calls_.end() ? 0 : it->second;
    }

    // The methods called and the properties put so far, by DISPID, in the order of the calls.
    std::vector<LONG> Trail() const {
        std::lock_guard lock(mutex_);
        return trail_;
    }
    // Runs before each method call with its DISPID, on the calling thread, outside the lock: a test reads
    // there what the driver holds while the method runs.
    std::function<void(LONG)> beforeMethod;
    // The properties written so far, in order.
    std::vector<LONG> Puts() const {
        std::lock_guard lock(mutex_);
        return puts_;
    }

    // ---- IUnknown and IDispatch: this interface for the driver's, the object for anything else ----
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITesselDriver) {
            *ppv = static_cast<ITesselDriver*>(this);
            AddRef();
            return S_OK;
        }
        return target_->QueryInterface(riid, ppv);
    }
    // Lives on the test's stack: references are only counted.
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++refs_); }
    STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--refs_); }
    STDMETHOD(GetTypeInfoCount)(UINT* count) override { return target_->GetTypeInfoCount(count); }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override {
        return target_->GetTypeInfo(index, lcid, info);
    }
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return target_->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
     UINT* argErr) override {
        return target_->Invoke(id, riid, lcid, flags, params, result, excep, argErr);
    }

    // ---- ITesselDriver: every slot goes to the object, but for a failed method's result ----
#define FORWARD_METHOD_Long(dispId, Name)     \
    STDMETHOD(Name)(LONG * Value) override {  \
        if (Fail(dispId, Value)) return S_OK; \
        return target_->Name(Value);          \
    }
#define FORWARD_METHOD_None(dispId, Name)       \
    STDMETHOD(Name)() override {                \
        if (Fail(dispId, nullptr)) return S_OK; \
        return target_->Name();                 \
    }
#define FORWARD_GET(dispId, Name, Type)                           \
    STDMETHOD(get_##Name)(TESSEL_CTYPE_##Type * Value) override { \
        if (Answer(dispId, Value)) return S_OK;                   \
        return target_->get_##Name(Value);                        \
    }
#define FORWARD_PUT(dispId, Name, Type)                         \
    STDMETHOD(put_##Name)(TESSEL_CTYPE_##Type Value) override { \
        Record(dispId);                                         \
        Written(dispId);                                        \
        return target_->put_##Name(Value);                      \
    }
#define FORWARD_KIND_Method(dispId, Name, Type) FORWARD_METHOD_##Type(dispId, Name)
#define FORWARD_KIND_Get(dispId, Name, Type) FORWARD_GET(dispId, Name, Type)
#define FORWARD_KIND_GetPut(dispId, Name, Type) \
    FORWARD_GET(dispId, Name, Type) FORWARD_PUT(dispId, Name, Type)
#define FORWARD_SLOTS(dispId, Name, name1C, Kind, Type, Width, ...) FORWARD_KIND_##Kind(dispId, Name, Type)
    TESSEL_MEMBERS_ITesselDriver(FORWARD_SLOTS)
#undef FORWARD_SLOTS
#undef FORWARD_KIND_GetPut
#undef FORWARD_KIND_Get
#undef FORWARD_KIND_Method
#undef FORWARD_PUT
#undef FORWARD_GET
#undef FORWARD_METHOD_None
#undef FORWARD_METHOD_Long

        private :
        // A method call: true when it is to fail, which is then what ResultCode and ResultDescription report.
        bool Fail(LONG dispId, LONG* value) {
        if (beforeMethod) beforeMethod(dispId);
        std::lock_guard lock(mutex_);
        ++calls_[dispId];
        trail_.push_back(dispId);
        const auto it = failing_.find(dispId);
        failed_ = it != failing_.end();
        if (!failed_) return false;
        failure_ = it->second;
        if (value != nullptr) *value = failure_.first;
        return true;
    }
    void Record(LONG dispId) {
        std::lock_guard lock(mutex_);
        trail_.push_back(dispId);
    }
    bool Answer(LONG dispId, LONG* value) {
        std::lock_guard lock(mutex_);
        if (!failed_ || dispId != TesselDispId::ResultCode || value == nullptr) return false;
        *value = failure_.first;
        return true;
    }
    bool Answer(LONG dispId, BSTR* value) {
        std::lock_guard lock(mutex_);
        if (!failed_ || dispId != TesselDispId::ResultDescription || value == nullptr) return false;
        *value = tessel::Utf8ToBstr(failure_.second).release();
        return true;
    }
    void Written(LONG dispId) {
        std::lock_guard lock(mutex_);
        puts_.push_back(dispId);
    }
    template <typename T>
    bool Answer(LONG, T*) {
        return false;
    }

    tessel::ComPtr<ITesselDriver> target_;
    std::atomic<int> refs_{0};
    mutable std::mutex mutex_;
    std::map<LONG, std::pair<LONG, std::string>> failing_;
    std::map<LONG, int> calls_;
    std::vector<LONG> trail_;
    std::vector<LONG> puts_;
    bool failed_ = false;
    std::pair<LONG, std::string> failure_;
};

}  // namespace tessel_test
