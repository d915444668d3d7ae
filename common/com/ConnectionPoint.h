#pragma once
// A connection point for one outgoing interface, meant to live inside the object that serves
// IConnectionPointContainer: it forwards its reference count to that container, so it lives as long as the
// container does. Sinks are held (AddRef) from Advise to Unadvise or the point's destruction. Safe to use
// from several threads; events are fired over a snapshot of the sinks, so a sink may unadvise while being
// called.

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "common/com/ComPtr.h"

namespace tessel {

class ConnectionPoint final : public IConnectionPoint {
  public:
    // `maxConnections` 0 means no limit; beyond the limit Advise gives CONNECT_E_ADVISELIMIT.
    ConnectionPoint(IConnectionPointContainer& container, const IID& iid, ULONG maxConnections = 0);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    STDMETHOD(GetConnectionInterface)(IID* pIID) override;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) override;
    // Asks the sink for the outgoing interface and keeps that; CONNECT_E_CANNOTCONNECT if it lacks it.
    // Cookies start at 1 and are never reused within one point.
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    // CONNECT_E_NOCONNECTION for a cookie not advised.
    STDMETHOD(Unadvise)(DWORD dwCookie) override;
    // A snapshot of the connections at the time of the call.
    STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) override;

    const IID& Iid() const { return iid_; }
    // The sinks (as the outgoing interface, held) at this moment, in order of advice.
    std::vector<ComPtr<IUnknown>> Sinks() const;
    std::size_t Count() const;

  private:
    struct Connection {
        DWORD cookie;
        ComPtr<IUnknown> sink;
    };

    IConnectionPointContainer& container_;
    const IID iid_;
    const ULONG maxConnections_;
    mutable std::mutex lock_;
    std::vector<Connection> connections_;
    DWORD nextCookie_ = 1;
};

// Makes an enumerator of `points` as they stand now (each held until the enumerator goes), for an object's
// IConnectionPointContainer::EnumConnectionPoints. E_POINTER for a null `ppEnum`, E_OUTOFMEMORY when it
// cannot be made (`*ppEnum` is then null).
HRESULT EnumConnectionPoints(std::initializer_list<IConnectionPoint*> points, IEnumConnectionPoints** ppEnum);

}  // namespace tessel
