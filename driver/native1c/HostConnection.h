#pragma once
// The platform's connection as the driver's 1C adapter knows a host: an object that offers IAsyncEvent (its
// external events and their buffer) and passes each call on to the platform. So a register's request reaches
// the platform from the adapter's own event code, on the driver's thread.
//
// The platform's connection is valid only until the object's Done; Detach ends every call to it. Calls come
// from the platform's thread (the buffer) and from the driver's thread (the events); one lock orders them, so
// Detach returns only once no call is inside the platform. The platform queues an event without waiting for
// its own thread, so holding the lock through the call cannot stop the platform's thread for long.

#include <atomic>
#include <mutex>

#include "common/com/AddIn1C.h"
#include "driver/native1c/NativeApi.h"

class THostConnection final : public IDispatch, public IAsyncEvent {
  public:
    // Starts with one reference, the caller's.
    explicit THostConnection(IAddInDefBase& platform);
    THostConnection(const THostConnection&) = delete;
    THostConnection& operator=(const THostConnection&) = delete;

    // Any thread; idempotent. Waits for a call in progress; later calls give E_FAIL without reaching the
    // platform.
    void Detach();

    // IUnknown: IUnknown, IDispatch and IAsyncEvent.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IDispatch: the connection has no members of its own to call by name.
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IAsyncEvent, passed on to the platform: a false answer of the platform gives E_FAIL.
    STDMETHOD(SetEventBufferDepth)(LONG lDepth) override;
    STDMETHOD(GetEventBufferDepth)(LONG* plDepth) override;
    STDMETHOD(ExternalEvent)(BSTR bstrSource, BSTR bstrMessage, BSTR bstrData) override;
    STDMETHOD(CleanBuffer)() override;

  private:
    ~THostConnection() = default;

    std::atomic<ULONG> refCount_{1};
    std::mutex lock_;
    IAddInDefBase* platform_;
};
