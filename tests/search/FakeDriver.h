#pragma once
// A stand-in for the driver's ITesselDriver with an IPageEvents connection point: every slot routes to a
// few overridable hooks by member name, so a test double implements only the members it cares about. It
// counts its references and never frees itself; the test owns it.

#include <atomic>
#include <string>
#include <string_view>

#include "common/com/ConnectionPoint.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "support/ComSinks.h"

namespace searchtest {

#define FAKE_METHOD_Long(Name)               \
    STDMETHOD(Name)(LONG * Value) override { \
        return Method(#Name, Value);         \
    }
#define FAKE_METHOD_None(Name)         \
    STDMETHOD(Name)() override {       \
        return Method(#Name, nullptr); \
    }
#define FAKE_KIND_Method(Name, Type) FAKE_METHOD_##Type(Name)
#define FAKE_KIND_Get(Name, Type)                                 \
    STDMETHOD(get_##Name)(TESSEL_CTYPE_##Type * Value) override { \
        return Get(#Name, Value);                                 \
    }
#define FAKE_KIND_GetPut(Name, Type)                                                      \
    FAKE_KIND_Get(Name, Type) STDMETHOD(put_##Name)(TESSEL_CTYPE_##Type Value) override { \
        return Put(#Name, Value);                                                         \
    }
#define FAKE_SLOT(dispId, Name, name1C, Kind, Type, Width, ...) FAKE_KIND_##Kind(Name, Type)

class FakeDriverBase : public ITesselDriver, public IConnectionPointContainer {
  public:
    FakeDriverBase() : pageEvents_(*this, DIID_IPageEvents, 1) {}
    virtual ~FakeDriverBase() = default;
    FakeDriverBase(const FakeDriverBase&) = delete;
    FakeDriverBase& operator=(const FakeDriverBase&) = delete;

    // Whether the driver offers IConnectionPointContainer at all.
    std::atomic<bool> offersEvents{true};
    std::atomic<ULONG> refs{1};

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITesselDriver) {
            *ppv = static_cast<ITesselDriver*>(this);
        } else if (riid == IID_IConnectionPointContainer && offersEvents) {
            *ppv = static_cast<IConnectionPointContainer*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }

    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) override {
        if (ppCP == nullptr) return E_POINTER;
        *ppCP = nullptr;
        if (riid != DIID_IPageEvents) return CONNECT_E_NOCONNECTION;
        *ppCP = &pageEvents_;
        pageEvents_.AddRef();
        return S_OK;
    }

    // clang-format off
    TESSEL_MEMBERS_ITesselDriver(FAKE_SLOT)
        // clang-format on

        // Raises IPageEvents.Command(commandID) on every connected sink, as the driver does; the results.
        HRESULT FireCommand(std::int32_t commandID) {
        HRESULT result = S_OK;
        for (const auto& sink : pageEvents_.Sinks()) {
            // The point holds each sink as its outgoing interface, a dispinterface.
            const HRESULT hr = tessel_test::RaiseCommand(reinterpret_cast<IDispatch*>(sink.Get()), commandID);
            if (FAILED(hr)) result = hr;
        }
        return result;
    }
    std::size_t SinkCount() const { return pageEvents_.Count(); }

  protected:
    // The hooks; by default every method yields 0 and every getter an empty value.
    virtual HRESULT Method(std::string_view, LONG* value) {
        if (value != nullptr) *value = 0;
        return S_OK;
    }
    virtual HRESULT Get(std::string_view, LONG* value) { return Zero(value); }
    virtual HRESULT Get(std::string_view, double* value) { return Zero(value); }
    virtual HRESULT Get(std::string_view, VARIANT_BOOL* value) { return Zero(value); }
    virtual HRESULT Get(std::string_view, BSTR* value) {
        *value = nullptr;
        return S_OK;
    }
    virtual HRESULT Get(std::string_view, CY* value) {
        value->int64 = 0;
        return S_OK;
    }
    virtual HRESULT Put(std::string_view, LONG) { return S_OK; }
    virtual HRESULT Put(std::string_view, double) { return S_OK; }
    virtual HRESULT Put(std::string_view, VARIANT_BOOL) { return S_OK; }
    virtual HRESULT Put(std::string_view, BSTR) { return S_OK; }
    virtual HRESULT Put(std::string_view, CY) { return S_OK; }

  private:
    template <typename T>
    static HRESULT Zero(T* value) {
        *value = T{};
        return S_OK;
    }

    tessel::ConnectionPoint pageEvents_;
};

#undef FAKE_METHOD_Long
#undef FAKE_METHOD_None
#undef FAKE_KIND_Method
#undef FAKE_KIND_Get
#undef FAKE_KIND_GetPut
#undef FAKE_SLOT

}  // namespace searchtest
