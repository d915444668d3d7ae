#pragma once
// The sink of one of the driver's event dispinterfaces, IPageEvents (the search) or IDriverEvents (a client
// that serves the register): every Command(CommandID) the driver raises reaches a handler with its CommandID.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/com/ComPtr.h"
#include "driver/automation/TesselDrv_TLB.h"

// Receives the CommandID of one Command event, on the thread that raises the event.
using TCommandHandler = std::function<void(std::int32_t commandID)>;

// The dispatch object handed to the connection point. Its owner is its TEventDriver; releases only count,
// they never free it.
class TEventDispatch final : public IDispatch {
  public:
    // `events` is the dispinterface the object stands for; both of the driver's have Command as DISPID 1.
    explicit TEventDispatch(TCommandHandler handler, const IID& events = DIID_IPageEvents);
    TEventDispatch(const TEventDispatch&) = delete;
    TEventDispatch& operator=(const TEventDispatch&) = delete;

    // IUnknown, IDispatch and the events interface given at construction; E_NOINTERFACE otherwise.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    // No type information: a count of 0; GetTypeInfo and GetIDsOfNames give E_NOTIMPL.
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    // DISPID 1 (Command) with a first argument convertible to a 32-bit integer calls the handler with it;
    // every other call, the stock events -607..-600 among them, is ignored. Always S_OK: a handler that
    // throws is the sink's own affair, counted in HandlerFailures, not the raiser's.
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // After this returns the handler is not running and is never called again. Any thread but the handler's.
    void DetachHandler();
    // References held by others at this moment.
    ULONG RefCount() const { return refs_.load(); }
    // Calls whose handler threw, and the message of the last one. Any thread.
    unsigned HandlerFailures() const { return failures_.load(); }
    std::string LastHandlerFailure() const;
    const IID& Events() const { return events_; }

  private:
    const IID events_;
    std::atomic<ULONG> refs_{0};
    std::mutex handlerMutex_;  // held while the handler runs, so detaching waits for a call in progress
    TCommandHandler handler_;
    std::atomic<unsigned> failures_{0};
    mutable std::mutex failureMutex_;  // lastFailure_
    std::string lastFailure_;
};

// Holds the driver, the connection's cookie and the dispatch object.
class TEventDriver {
  public:
    // A sink of the driver's IPageEvents.
    TEventDriver(tessel::ComPtr<ITesselDriver> driver, TCommandHandler handler);
    // A sink of the events interface `events` (DIID_IPageEvents or DIID_IDriverEvents) of any object that
    // offers IConnectionPointContainer.
    TEventDriver(tessel::ComPtr<IUnknown> source, const IID& events, TCommandHandler handler);
    // Disconnects.
    ~TEventDriver();
    TEventDriver(const TEventDriver&) = delete;
    TEventDriver& operator=(const TEventDriver&) = delete;

    // Advises the dispatch object on the source's connection point for the events interface. Throws
    // ESearchError "Невозможно подключиться к событийному интерфейсу" when the source has no such point or
    // refuses the sink. Connecting twice changes nothing.
    void Connect();
    // Connect without the exception: S_OK when connected, else the failure of the step that failed (the
    // source's QueryInterface, FindConnectionPoint or Advise; E_POINTER without a source).
    HRESULT TryConnect() noexcept;
    // Unadvises and detaches the handler: once it returns the handler is never called again, so a
    // connection made after it delivers nothing. Never throws.
    void Disconnect() noexcept;
    bool Connected() const { return cookie_ != 0; }

    IDispatch& Dispatch() { return *dispatch_; }

  private:
    tessel::ComPtr<IUnknown> source_;
    tessel::ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    std::unique_ptr<TEventDispatch> dispatch_;
};
