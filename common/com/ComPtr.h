#pragma once
// An owning reference to a COM interface: Release when it goes, AddRef when it is copied.

#include <utility>

#include "common/com/ComInterfaces.h"

namespace tessel {

template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    // Takes a new reference (AddRef); use Attach to adopt one the caller already owns.
    explicit ComPtr(T* p) : p_(p) {
        if (p_ != nullptr) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Adopts a reference the caller owns, without AddRef.
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    // Hands the reference to the caller, who must release it.
    T* Detach() { return std::exchange(p_, nullptr); }
    // For out-parameters: drops the current reference and gives the slot to fill.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    // Another interface of the same object; empty with the QueryInterface failure otherwise.
    template <typename U>
    HRESULT As(REFIID iid, ComPtr<U>& out) const {
        if (p_ == nullptr) return E_POINTER;
        return p_->QueryInterface(iid, out.PutVoid());
    }

  private:
    T* p_ = nullptr;
};

}  // namespace tessel
