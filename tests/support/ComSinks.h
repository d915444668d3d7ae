#pragma once
// What a client hangs on the driver's connection points and what a 1C:Enterprise host hands to the adapter:
// a sink that records Command(CommandID), a host that also records its external events, and the advice
// that connects them.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/com/AddIn1C.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "support/StackDispatch.h"

namespace tessel_test {

// A sink of IDriverEvents and IPageEvents that records every Command(CommandID): the identifiers, the thread
// that raised the last, and, when given a journal, "<label> <CommandID>" there, so that a test sees the
// order in which several sinks heard. Events may be raised on another thread than the one that waits.
class CommandSink : public StackDispatch {
  public:
    // The journal is written on the thread that raises the events and must outlive the sink's advice.
    explicit CommandSink(std::vector<std::string>* journal = nullptr, std::string label = {})
        : StackDispatch({DIID_IDriverEvents, DIID_IPageEvents}),
          journal_(journal),
          label_(std::move(label)) {}

    // What Command returns (a failing sink: E_FAIL). Set before the sink is advised.
    HRESULT answer = S_OK;

    // Command(CommandID) with one VT_I4 argument; anything else is DISP_E_MEMBERNOTFOUND.
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id != TesselDispIdCommandEvent || params == nullptr || params->cArgs != 1 ||
            params->rgvarg[0].vt != VT_I4)
            return DISP_E_MEMBERNOTFOUND;
        const LONG commandID = params->rgvarg[0].lVal;
        {
            std::lock_guard lock(mutex_);
            ids_.push_back(commandID);
            thread_ = std::this_thread::get_id();
            Note(label_ + " " + std::to_string(commandID));
        }
        arrived_.notify_all();
        return answer;
    }

    std::vector<LONG> Ids() const {
        std::lock_guard lock(mutex_);
        return ids_;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return ids_.size();
    }
    // The thread that raised the last event.
    std::thread::id Thread() const {
        std::lock_guard lock(mutex_);
        return thread_;
    }
    // Waits at most `limit` until `count` events have arrived; for a thread other than the one raising them.
    bool WaitFor(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, limit, [&] { return ids_.size() >= count; });
    }

  protected:
    // Adds `entry` to the journal, if there is one.
    void Note(std::string entry) {
        if (journal_ != nullptr) journal_->push_back(std::move(entry));
    }

  private:
    std::vector<std::string>* journal_;
    std::string label_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<LONG> ids_;
    std::thread::id thread_;
};

// The connection object of a 1C:Enterprise host, also a sink of both event interfaces: it offers
// IAsyncEvent (or not) and records each external event (source, message, data), in the journal as
// "1C <data>".
class HostSink final : public CommandSink, public IAsyncEvent {
  public:
    explicit HostSink(std::vector<std::string>* journal = nullptr, bool offersEvents = true,
                      std::string label = "host")
        : CommandSink(journal, std::move(label)), offers_(offersEvents) {}

    HRESULT eventAnswer = S_OK;                    // what ExternalEvent returns
    LONG depth = 1;                                // the event buffer, as a host starts it
    HRESULT depthAnswer = S_OK;                    // what SetEventBufferDepth returns
    bool throwInEvent = false;                     // a host that breaks the rules of the boundary
    std::function<void()> onEvent;                 // runs inside ExternalEvent
    std::vector<std::vector<std::string>> events;  // source, message, data; engine thread

    // One object behind both bases.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        return CommandSink::QueryInterface(riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return CommandSink::AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return CommandSink::Release(); }

    STDMETHOD(SetEventBufferDepth)(LONG newDepth) override {
        if (SUCCEEDED(depthAnswer)) depth = newDepth;
        return depthAnswer;
    }
    STDMETHOD(GetEventBufferDepth)(LONG* current) override {
        if (current == nullptr) return E_POINTER;
        *current = depth;
        return S_OK;
    }
    STDMETHOD(ExternalEvent)(BSTR source, BSTR message, BSTR data) override {
        events.push_back({tessel::BstrToUtf8(source), tessel::BstrToUtf8(message), tessel::BstrToUtf8(data)});
        Note("1C " + events.back()[2]);
        if (onEvent) onEvent();
        if (throwInEvent) throw std::runtime_error("хост упал");
        return eventAnswer;
    }
    STDMETHOD(CleanBuffer)() override { return S_OK; }

  protected:
    void* OtherInterface(REFIID riid) override {
        return riid == IID_IAsyncEvent && offers_ ? static_cast<IAsyncEvent*>(this) : nullptr;
    }

  private:
    bool offers_;
};

// Raises Command(commandID) on `sink` as the driver raises it on each sink of its points; the sink's answer.
inline HRESULT RaiseCommand(IDispatch* sink, std::int32_t commandID) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = commandID;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    return sink->Invoke(TesselDispIdCommandEvent, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                        nullptr);
}

// The connection point `iid` of `object`; the failure of finding it otherwise.
inline HRESULT FindPoint(IUnknown* object, const IID& iid, tessel::ComPtr<IConnectionPoint>& point) {
    tessel::ComPtr<IConnectionPointContainer> container;
    const HRESULT hr = object->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    return FAILED(hr) ? hr : container->FindConnectionPoint(iid, point.Put());
}

// Advises `sink` on the connection point `iid` of `object`, the cookie in `cookie`; the failure of finding
// the point or of the advice otherwise.
inline HRESULT Advise(IUnknown* object, const IID& iid, IUnknown* sink, DWORD* cookie) {
    tessel::ComPtr<IConnectionPoint> point;
    const HRESULT hr = FindPoint(object, iid, point);
    return FAILED(hr) ? hr : point->Advise(sink, cookie);
}

// Ends the advice `cookie` on the point `iid` of `object`; the failures as for Advise.
inline HRESULT Unadvise(IUnknown* object, const IID& iid, DWORD cookie) {
    tessel::ComPtr<IConnectionPoint> point;
    const HRESULT hr = FindPoint(object, iid, point);
    return FAILED(hr) ? hr : point->Unadvise(cookie);
}

}  // namespace tessel_test
