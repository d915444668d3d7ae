#pragma once
// The IDriverEvents sink of `listen`: a dispinterface whose one member, Command (DISPID 1), carries the
// number of a received command. The sink only records the numbers; the listener handles them once the
// dispatch that raised them has returned, so that no driver call runs inside the driver's own event.

#include <atomic>
#include <cstdint>
#include <deque>

#include "common/com/ComPtr.h"

namespace tessel::cli {

class CommandSink final : public IDispatch {
  public:
    CommandSink() = default;
    CommandSink(const CommandSink&) = delete;
    CommandSink& operator=(const CommandSink&) = delete;

    // IUnknown: IUnknown, IDispatch and IDriverEvents. The owner keeps the sink alive until every
    // connection is undone, so Release never frees it.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IDispatch: "Command" is DISPID 1; Invoke of DISPID 1 takes one argument convertible to a long.
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // The command numbers received and not yet taken, oldest first; TakeNext only while HasPending.
    bool HasPending() const { return !pending_.empty(); }
    std::int32_t TakeNext();

  private:
    std::atomic<ULONG> references_{0};
    std::deque<std::int32_t> pending_;  // the engine's thread alone touches it
};

// One advised connection of a sink to the driver's IDriverEvents point; undone when it goes.
class EventConnection {
  public:
    // Throws std::runtime_error naming the failure when the driver has no such point or refuses the sink.
    EventConnection(IDispatch& driver, IDispatch& sink);
    ~EventConnection();
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

  private:
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace tessel::cli
