#include "common/com/ConnectionPoint.h"

#include <atomic>
#include <memory>
#include <new>

namespace tessel {

namespace {

// The IUnknown of a self-owning object `Derived` that serves the one interface `I` (`iid`): it frees itself
// on the last Release.
template <class Derived, class I, const IID& iid>
class SelfOwned : public I {
  public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == iid) {
            *ppv = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --refs_;
        if (left == 0) std::unique_ptr<Derived> self(static_cast<Derived*>(this));
        return left;
    }

  private:
    std::atomic<ULONG> refs_{1};
};

// A snapshot of a point's connections.
class ConnectionEnumerator final
    : public SelfOwned<ConnectionEnumerator, IEnumConnections, IID_IEnumConnections> {
  public:
    explicit ConnectionEnumerator(std::vector<CONNECTDATA> items) : items_(std::move(items)) {
        for (auto& item : items_) item.pUnk->AddRef();
    }
    ~ConnectionEnumerator() {
        for (auto& item : items_) item.pUnk->Release();
    }
    ConnectionEnumerator(const ConnectionEnumerator&) = delete;
    ConnectionEnumerator& operator=(const ConnectionEnumerator&) = delete;

    STDMETHOD(Next)(ULONG count, CONNECTDATA* out, ULONG* fetched) override {
        if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
        ULONG n = 0;
        while (n < count && pos_ < items_.size()) {
            out[n] = items_[pos_++];
            out[n].pUnk->AddRef();  // the caller releases what it receives
            ++n;
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG count) override {
        const std::size_t left = items_.size() - pos_;
        pos_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHOD(Reset)() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHOD(Clone)(IEnumConnections** ppEnum) override {
        if (ppEnum == nullptr) return E_POINTER;
        *ppEnum = nullptr;
        try {
            auto copy = std::make_unique<ConnectionEnumerator>(items_);
            copy->pos_ = pos_;
            *ppEnum = copy.release();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

  private:
    std::vector<CONNECTDATA> items_;
    std::size_t pos_ = 0;
};

// A snapshot of an object's connection points.
class PointEnumerator final
    : public SelfOwned<PointEnumerator, IEnumConnectionPoints, IID_IEnumConnectionPoints> {
  public:
    PointEnumerator(std::vector<ComPtr<IConnectionPoint>> points, ULONG position)
        : points_(std::move(points)), position_(position) {}

    STDMETHOD(Next)(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
        if (out == nullptr) return E_POINTER;
        ULONG n = 0;
        while (n < count && position_ < Size()) {
            out[n] = points_[position_++].Get();
            out[n]->AddRef();  // the caller releases what it receives
            ++n;
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG count) override {
        position_ = count < Size() - position_ ? position_ + count : Size();
        return position_ < Size() ? S_OK : S_FALSE;
    }
    STDMETHOD(Reset)() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHOD(Clone)(IEnumConnectionPoints** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        try {
            *out = std::make_unique<PointEnumerator>(points_, position_).release();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

  private:
    ULONG Size() const { return static_cast<ULONG>(points_.size()); }

    std::vector<ComPtr<IConnectionPoint>> points_;
    ULONG position_;
};

}  // namespace

ConnectionPoint::ConnectionPoint(IConnectionPointContainer& container, const IID& iid, ULONG maxConnections)
    : container_(container), iid_(iid), maxConnections_(maxConnections) {}

ConnectionPoint::~ConnectionPoint() = default;

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() {
    return container_.AddRef();
}

ULONG ConnectionPoint::Release() {
    return container_.Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (pIID == nullptr) return E_POINTER;
    *pIID = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (ppCPC == nullptr) return E_POINTER;
    container_.AddRef();
    *ppCPC = &container_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (pdwCookie == nullptr) return E_POINTER;
    *pdwCookie = 0;
    if (pUnkSink == nullptr) return E_POINTER;
    ComPtr<IUnknown> sink;
    if (FAILED(pUnkSink->QueryInterface(iid_, sink.PutVoid())) || !sink) return CONNECT_E_CANNOTCONNECT;
    std::lock_guard<std::mutex> guard(lock_);
    if (maxConnections_ != 0 && connections_.size() >= maxConnections_) return CONNECT_E_ADVISELIMIT;
    try {
        connections_.push_back({nextCookie_, std::move(sink)});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *pdwCookie = nextCookie_++;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    ComPtr<IUnknown> released;  // released after the lock: the sink's Release may call back into us
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto it = connections_.begin(); it != connections_.end(); ++it) {
            if (it->cookie == dwCookie) {
                released = std::move(it->sink);
                connections_.erase(it);
                return S_OK;
            }
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    try {
        std::vector<CONNECTDATA> items;
        {
            std::lock_guard<std::mutex> guard(lock_);
            for (const auto& c : connections_) items.push_back({c.sink.Get(), c.cookie});
            // The enumerator takes its own references before the lock is left.
            auto made = std::make_unique<ConnectionEnumerator>(std::move(items));
            *ppEnum = made.release();
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<ComPtr<IUnknown>> out;
    out.reserve(connections_.size());
    for (const auto& c : connections_) out.push_back(c.sink);
    return out;
}

std::size_t ConnectionPoint::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return connections_.size();
}

HRESULT EnumConnectionPoints(std::initializer_list<IConnectionPoint*> points,
                             IEnumConnectionPoints** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    try {
        std::vector<ComPtr<IConnectionPoint>> held;
        for (IConnectionPoint* point : points) held.emplace_back(point);
        *ppEnum = std::make_unique<PointEnumerator>(std::move(held), 0).release();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace tessel
