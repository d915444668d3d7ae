#include "driver/automation/oleMain.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <type_traits>

#include "common/com/ComText.h"
#include "common/platform/Module.h"
#include "driver/automation/oleRegister.h"
#include "driver/automation/untDialogs.h"
#include "driver/automation/untDispatch.h"
#include "driver/automation/untMembers.h"
#include "driver/automation/untTypeInfo.h"
#include "driver/base/untError.h"

namespace {

// The file version of the driver library: from its version resource where libraries carry one (Windows),
// else the version the build gave it.
std::string DriverFileVersion() {
    static const std::string version =
        tessel::ModuleFileVersionOf(reinterpret_cast<const void*>(&DriverFileVersion))
            .value_or(TESSEL_FILE_VERSION);
    return version;
}

std::atomic<LONG> g_liveObjects{0};

}  // namespace

// ---- Creation and identity ----

TTesselDrv::TTesselDrv() : TTesselDrv(TDeferEvents{}) {
    ListenToCommands();
}

TTesselDrv::TTesselDrv(TDeferEvents) : link_(std::make_unique<TDrvLink>()) {
    pageEvents_ = std::make_unique<tessel::ConnectionPoint>(*this, DIID_IPageEvents, 1);
    driverEvents_ = std::make_unique<tessel::ConnectionPoint>(*this, DIID_IDriverEvents, 1);
    ++g_liveObjects;
}

void TTesselDrv::ListenToCommands() {
    // Released on another thread, the object still lives through an event that has its reference; without
    // one (its count reached zero) it is not told at all.
    link_->SetHandler({[this] { return RetainForEvent(); }, [this] { Release(); },
                       [this](std::int32_t id) { FireCommand(id); }});
}

bool TTesselDrv::RetainForEvent() {
    ULONG count = refCount_.load();
    while (count != 0) {
        if (refCount_.compare_exchange_weak(count, count + 1)) return true;
    }
    return false;
}

TTesselDrv::~TTesselDrv() {
    // Leave the links first: the last object's departure saves and closes the engine while the sinks are
    // still held, and no event can reach an object being destroyed.
    link_.reset();
    driverEvents_.reset();
    pageEvents_.reset();
    --g_liveObjects;
}

LONG TTesselDrv::LiveObjects() {
    return g_liveObjects.load();
}

STDMETHODIMP TTesselDrv::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) ||
        IsEqualGUID(riid, IID_ITesselDriver) || IsEqualGUID(riid, IID_ITesselDriver2) ||
        IsEqualGUID(riid, IID_ITesselDriver3)) {
        *ppv = static_cast<ITesselDriver3*>(this);
    } else if (IsEqualGUID(riid, IID_IConnectionPointContainer)) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TTesselDrv::AddRef() {
    return ++refCount_;
}

STDMETHODIMP_(ULONG) TTesselDrv::Release() {
    const ULONG left = --refCount_;
    if (left == 0) delete this;
    return left;
}

// ---- IDispatch ----

STDMETHODIMP TTesselDrv::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP TTesselDrv::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return GetDispatchTypeInfo(ppTInfo);
}

STDMETHODIMP TTesselDrv::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                       DISPID* rgDispId) {
    return TesselGetIDsOfNames(riid, rgszNames, cNames, rgDispId);
}

STDMETHODIMP TTesselDrv::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) {
    return TesselInvoke(*this, dispIdMember, riid, wFlags, pDispParams, pVarResult, puArgErr);
}

// ---- Connection points and events ----

STDMETHODIMP TTesselDrv::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return tessel::EnumConnectionPoints({pageEvents_.get(), driverEvents_.get()}, ppEnum);
}

STDMETHODIMP TTesselDrv::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (ppCP == nullptr) return E_POINTER;
    *ppCP = nullptr;
    tessel::ConnectionPoint* point = nullptr;
    if (IsEqualGUID(riid, DIID_IPageEvents)) point = pageEvents_.get();
    if (IsEqualGUID(riid, DIID_IDriverEvents)) point = driverEvents_.get();
    if (point == nullptr) return CONNECT_E_NOCONNECTION;
    point->AddRef();
    *ppCP = point;
    return S_OK;
}

void TTesselDrv::FireCommand(std::int32_t commandID) {
    FireOn(*pageEvents_, commandID, "Ошибка при вызове события IPageEvents.");
    FireOn(*driverEvents_, commandID, "Ошибка при вызове события IDriverEvents.");
}

void TTesselDrv::FireOn(tessel::ConnectionPoint& point, std::int32_t commandID, const char* step) {
    for (const auto& sink : point.Sinks()) {
        // The point holds each sink as the event interface, a dispinterface.
        auto* events = reinterpret_cast<IDispatch*>(sink.Get());
        try {
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_I4;
            arg.lVal = commandID;
            DISPPARAMS params{&arg, nullptr, 1, 0};
            const HRESULT hr = events->Invoke(TesselDispIdCommandEvent, IID_NULL, 0, DISPATCH_METHOD, &params,
                                              nullptr, nullptr, nullptr);
            if (FAILED(hr)) {
                char text[64];
                std::snprintf(text, sizeof text, "Ошибка вызова обработчика: 0x%08X",
                              static_cast<unsigned>(hr));
                throw std::runtime_error(text);
            }
        } catch (const std::exception& e) {
            Engine().Log().WriteError(step, e.what());
        } catch (...) {
            Engine().Log().WriteError(step, "Неизвестная ошибка");
        }
    }
}

// ---- The members: one generic get, put and call, by the member's row ----

template <typename Work>
HRESULT TTesselDrv::Guard(Work&& work) {
    // One member at a time, whichever thread calls: the properties are the engine's, shared by every object.
    std::lock_guard operation(Engine().OperationLock());
    try {
        work();
    } catch (const std::exception& e) {
        Engine().ResultFromError(e);
    } catch (...) {
        Engine().ResultFromError(std::runtime_error("Неизвестная ошибка"));
    }
    return S_OK;
}

HRESULT TTesselDrv::GetMember(std::size_t row, VARIANT& value) {
    return Guard([&] {
        try {
            TMemberAccess::Get(*this, row, value);
        } catch (...) {
            VariantClear(&value);
            throw;
        }
    });
}

HRESULT TTesselDrv::PutMember(std::size_t row, const VARIANT& value) {
    return Guard([&] { TMemberAccess::Put(*this, row, value); });
}

HRESULT TTesselDrv::CallMember(std::size_t row, LONG* value) {
    std::int32_t result = 0;
    if (TMemberAccess::Locked(row)) {
        std::lock_guard operation(Engine().OperationLock());
        result = TMemberAccess::Call(*this, row);
    } else {
        result = TMemberAccess::Call(*this, row);
    }
    if (value != nullptr) *value = result;
    return S_OK;
}

template <typename T>
HRESULT TTesselDrv::GetSlot(std::size_t row, T* value) {
    if (value == nullptr) return E_POINTER;
    if constexpr (std::is_same_v<T, BSTR>)
        *value = nullptr;  // a failed string getter yields the empty string
    VARIANT v;
    VariantInit(&v);
    GetMember(row, v);
    // A failed getter leaves the value as it was.
    if (v.vt != VT_EMPTY) *value = TesselLoad<T>(v);
    return S_OK;
}

template <typename T>
HRESULT TTesselDrv::PutSlot(std::size_t row, T value) {
    VARIANT v;
    TesselStore(v, TesselVarType(TesselMembers[row].type), value);
    return PutMember(row, v);  // the caller keeps its BSTR
}

#define TESSEL_IMPLEMENT_Method_Long(Name, Type)   \
    STDMETHODIMP TTesselDrv::Name(LONG* Value) {   \
        if (Value == nullptr) return E_POINTER;    \
        return CallMember(TesselRow::Name, Value); \
    }
#define TESSEL_IMPLEMENT_Method_None(Name, Type)     \
    STDMETHODIMP TTesselDrv::Name() {                \
        return CallMember(TesselRow::Name, nullptr); \
    }
#define TESSEL_IMPLEMENT_KIND_Method(Name, Type) TESSEL_IMPLEMENT_Method_##Type(Name, Type)
#define TESSEL_IMPLEMENT_KIND_Get(Name, Type)                         \
    STDMETHODIMP TTesselDrv::get_##Name(TESSEL_CTYPE_##Type* Value) { \
        return GetSlot(TesselRow::Name, Value);                       \
    }
#define TESSEL_IMPLEMENT_KIND_GetPut(Name, Type)                                                           \
    TESSEL_IMPLEMENT_KIND_Get(Name, Type) STDMETHODIMP TTesselDrv::put_##Name(TESSEL_CTYPE_##Type Value) { \
        return PutSlot(TesselRow::Name, Value);                                                            \
    }
#define TESSEL_IMPLEMENT(dispId, Name, name1C, Kind, Type, ...) TESSEL_IMPLEMENT_KIND_##Kind(Name, Type)

TESSEL_MEMBERS_ITesselDriver(TESSEL_IMPLEMENT) TESSEL_MEMBERS_ITesselDriver2(TESSEL_IMPLEMENT)
    TESSEL_MEMBERS_ITesselDriver3(TESSEL_IMPLEMENT)

    // ---- What the object itself does ----

    std::string TTesselDrv::FileVersion() const {
    return DriverFileVersion();
}

std::int32_t TTesselDrv::RestoreDefaults() {
    TEcrDrv& e = Engine();
    e.SetFuel(false);
    e.Timeout = 1000;
    e.SetBaudRate(3);
    e.SrcAddress = 1;
    e.SetDstAddress(2);
    e.SetPortNumber(1);
    e.SetDeviceEnabled(false);
    return e.ClearResult();
}

// ---- Dialogs ----

int TTesselDrv::ShowDialog(const char* name) {
    const TDialogsModule& module = LoadDialogsModule();
    LONG accepted = 0;
    // A register's own code (the tables dialog's status request) is the member's result as it stands.
    const LONG code = module.show(name, static_cast<ITesselDriver*>(this), parentWnd_, &accepted);
    if (code != 0) throw EDriverError(code, module.LastError(GetResultDescription(code)));
    return accepted;
}

std::int32_t TTesselDrv::ShowAbout() {
    // Yields nothing, so the last operation's result stays; only a failure to show it is one.
    ShowDialog("About");
    return Engine().ResultCode;
}

std::int32_t TTesselDrv::ShowModalDialog(const char* name) {
    ShowDialog(name);
    std::lock_guard operation(Engine().OperationLock());
    return Engine().ClearResult();
}

std::int32_t TTesselDrv::ShowSearchDialog() {
    TEcrDrv& e = Engine();
    std::unique_lock operation(e.OperationLock());
    // A search moves the connection about; unless the user takes what it found, the old one comes back.
    const bool fuel = e.Fuel();
    const int baudRate = e.BaudRate();
    const std::uint8_t srcAddress = e.SrcAddress;
    const std::uint8_t dstAddress = e.DstAddress();
    const int portNumber = e.PortNumber();
    operation.unlock();
    const bool taken = ShowDialog("Search") == 1;
    operation.lock();
    if (!taken) {
        e.SetFuel(fuel);
        e.SetBaudRate(baudRate);
        e.SrcAddress = srcAddress;
        e.SetDstAddress(dstAddress);
        e.SetPortNumber(portNumber);
    }
    return e.ClearResult();
}

std::int32_t TTesselDrv::ShowPropertyPage() {
    struct TShowing {
        bool& flag;
        explicit TShowing(bool& f) : flag(f) { flag = true; }
        ~TShowing() { flag = false; }
    } showing(isShowProperties_);
    // The control's property pages, shown in the frame at 16,16 from the active window.
    ShowPropertyFrame(static_cast<ITesselDriver*>(this), {CLSID_TesselDrvPage}, 16, 16);
    std::lock_guard operation(Engine().OperationLock());
    return Engine().ClearResult();
}
