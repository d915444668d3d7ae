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
#include "driver/automation/untTypeInfo.h"
#include "driver/base/untError.h"
#include "driver/link/untCodecs.h"

namespace {

// The file version of the driver library: from its version resource where libraries carry one (Windows),
// else the version the build gave it.
std::string DriverFileVersion() {
    static const std::string version =
        tessel::ModuleFileVersionOf(reinterpret_cast<const void*>(&DriverFileVersion))
            .value_or(TESSEL_FILE_VERSION);
    return version;
}

namespace D = TesselDispId;

std::atomic<LONG> g_liveObjects{0};

// A long stored into a field of its width: the low bits of a byte or word field, the value of a long one.
template <typename Field>
void Assign(Field& field, LONG value) {
    if constexpr (std::is_same_v<Field, bool>)
        field = value != 0;
    else
        field = static_cast<Field>(static_cast<std::uint32_t>(value));
}

// Members that show a window. Their dialogs call the driver from worker threads while the window is up, so
// they run outside the operation lock and take it only for their own engine steps.
bool ShowsWindow(LONG dispId) {
    switch (dispId) {
        case D::AboutBox:
        case D::ShowLogDlg:
        case D::ShowProperties:
        case D::ShowSearchDlg:
        case D::ShowServiceDlg:
        case D::ShowStatusDlg:
        case D::ShowTablesDlg:
            return true;
    }
    return false;
}

[[noreturn]] void NoSuchMember(LONG dispId) {
    throw std::logic_error("no member with DISPID " + std::to_string(dispId));
}

BSTR Text(const std::string& utf8) {
    return tessel::Utf8ToBstr(utf8).release();
}
BSTR ByteText(const Bytes& bytes) {
    return tessel::BytesToBstr(bytes).release();
}

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

// ---- The slots ----

template <typename Work>
void TTesselDrv::Guard(Work&& work) {
    // One member at a time, whichever thread calls: the properties are the engine's, shared by every object.
    std::lock_guard operation(Engine().OperationLock());
    try {
        work();
    } catch (const std::exception& e) {
        Engine().ResultFromError(e);
    } catch (...) {
        Engine().ResultFromError(std::runtime_error("Неизвестная ошибка"));
    }
}

template <typename T>
HRESULT TTesselDrv::GetSlot(LONG dispId, T* value) {
    if (value == nullptr) return E_POINTER;
    if constexpr (std::is_same_v<T, BSTR>) {
        *value = nullptr;  // a failed string getter yields the empty string
        Guard([&] { *value = GetString(dispId); });
    } else if constexpr (std::is_same_v<T, LONG>) {
        Guard([&] { *value = GetLong(dispId); });
    } else if constexpr (std::is_same_v<T, VARIANT_BOOL>) {
        Guard([&] { *value = GetBool(dispId) ? VARIANT_TRUE : VARIANT_FALSE; });
    } else if constexpr (std::is_same_v<T, CY>) {
        Guard([&] { value->int64 = GetCurrency(dispId); });
    } else {
        static_assert(std::is_same_v<T, double>);
        // DATE and double share the C type; the member's own type tells them apart.
        const TTesselMember* member = FindTesselMemberByDispId(dispId);
        const bool isDate = member != nullptr && member->type == TMemberType::Date;
        Guard([&] { *value = isDate ? GetDate(dispId) : GetDouble(dispId); });
    }
    return S_OK;
}

template <typename T>
HRESULT TTesselDrv::PutSlot(LONG dispId, T value) {
    if constexpr (std::is_same_v<T, BSTR>) {
        Guard([&] { PutString(dispId, value); });
    } else if constexpr (std::is_same_v<T, LONG>) {
        Guard([&] { PutLong(dispId, value); });
    } else if constexpr (std::is_same_v<T, VARIANT_BOOL>) {
        Guard([&] { PutBool(dispId, value != 0); });
    } else if constexpr (std::is_same_v<T, CY>) {
        Guard([&] { PutCurrency(dispId, value.int64); });
    } else {
        static_assert(std::is_same_v<T, double>);
        const TTesselMember* member = FindTesselMemberByDispId(dispId);
        const bool isDate = member != nullptr && member->type == TMemberType::Date;
        Guard([&] { isDate ? PutDate(dispId, value) : PutDouble(dispId, value); });
    }
    return S_OK;
}

HRESULT TTesselDrv::MethodSlot(LONG dispId, LONG* value) {
    if (value == nullptr) return E_POINTER;
    *value = Call(dispId);
    return S_OK;
}

std::int32_t TTesselDrv::Call(LONG dispId) {
    if (ShowsWindow(dispId)) return CallMethod(dispId);
    std::lock_guard operation(Engine().OperationLock());
    return CallMethod(dispId);
}

#define TESSEL_IMPLEMENT_Method_Long(Name, Type) \
    STDMETHODIMP TTesselDrv::Name(LONG* Value) { \
        return MethodSlot(D::Name, Value);       \
    }
#define TESSEL_IMPLEMENT_Method_None(Name, Type) \
    STDMETHODIMP TTesselDrv::Name() {            \
        Call(D::Name);                           \
        return S_OK;                             \
    }
#define TESSEL_IMPLEMENT_KIND_Method(Name, Type) TESSEL_IMPLEMENT_Method_##Type(Name, Type)
#define TESSEL_IMPLEMENT_KIND_Get(Name, Type)                         \
    STDMETHODIMP TTesselDrv::get_##Name(TESSEL_CTYPE_##Type* Value) { \
        return GetSlot(D::Name, Value);                               \
    }
#define TESSEL_IMPLEMENT_KIND_GetPut(Name, Type)                                                           \
    TESSEL_IMPLEMENT_KIND_Get(Name, Type) STDMETHODIMP TTesselDrv::put_##Name(TESSEL_CTYPE_##Type Value) { \
        return PutSlot(D::Name, Value);                                                                    \
    }
#define TESSEL_IMPLEMENT(dispId, Name, name1C, Kind, Type, Width) TESSEL_IMPLEMENT_KIND_##Kind(Name, Type)

TESSEL_MEMBERS_ITesselDriver(TESSEL_IMPLEMENT) TESSEL_MEMBERS_ITesselDriver2(TESSEL_IMPLEMENT)
    TESSEL_MEMBERS_ITesselDriver3(TESSEL_IMPLEMENT)
// ---- What each member does ----

// The stored values of the engine's record, read and written as they stand (byte and word fields keep the low
// bits of what they are given).
// clang-format off
#define TESSEL_STORED_LONGS(X) \
    X(ActivizationNumber) X(BarcodeType) X(DataBlockCount) X(DataBlockNumber) X(DeviceNumber) \
    X(DocumentNumber) X(DscSign) X(ECRAdvancedMode) X(ECRBaudRate) X(ECRDay) X(ECRFlags) X(ECRHour) X(ECRMin) \
    X(ECRMode) X(ECRMonth) X(ECRPortNumber) X(ECRSec) X(ECRSoftBuild) X(ECRSoftDay) X(ECRSoftMonth) \
    X(ECRSoftYear) X(ECRTimeout) X(ECRYear) X(FieldCount) X(FieldMaxValue) X(FieldMinValue) X(FieldNumber) \
    X(FieldSize) X(FieldType) X(FlagNumber) X(FMSoftBuild) X(FreeActivization) X(FreeRecordInFM) \
    X(FreeRegistration) X(OperationNumber) X(OperationRegister) X(OperatorNumber) X(PayType) \
    X(PositionOfPoint) X(ReceiptNumber) X(RegisterNumber) X(RegistrationNumber) X(RegSign) X(RegType) \
    X(RestRegister) X(RowCount) X(RowNumber) X(Section) X(SessionNumber) X(TableNumber) X(Tax1) X(Tax2) \
    X(Tax3) X(Tax4) X(UCodePage) X(UMajorProtocolVersion) X(UMajorType) X(UMinorProtocolVersion) X(UMinorType) \
    X(UModel) X(LineNumber) X(RepCount) X(Timeout) X(SrcAddress) X(CommandID)
#define TESSEL_STORED_TEXTS(X) \
    X(Barcode) X(Code) X(ECRSoftVersion) X(EKLZNumber) X(FieldName) X(FieldValue) X(FlagName) X(FMSoftVersion) \
    X(INN) X(SerialNumber) X(TableName) X(Text) X(UDescription) X(LineData) X(LineDataHex)
#define TESSEL_STORED_FLAGS(X) \
    X(EKLZNumberValid) X(INNValid) X(SerialNumberValid) X(WaitAnswer)
#define TESSEL_STORED_MONEY(X) \
    X(CashRegister) X(Price) X(RecSumm) X(Summ) X(TaxSumm1) X(TaxSumm2) X(TaxSumm3) X(TaxSumm4)
#define TESSEL_STORED_REALS(X) \
    X(BarcodeWeight) X(Quantity)
// clang-format on

#define TESSEL_GET_STORED(Name) \
    case D::Name:               \
        return e.Name;
#define TESSEL_PUT_STORED(Name) \
    case D::Name:               \
        Assign(e.Name, value);  \
        return;
#define TESSEL_PUT_STORED_VALUE(Name) \
    case D::Name:                     \
        e.Name = value;               \
        return;
#define TESSEL_GET_STORED_TEXT(Name) \
    case D::Name:                    \
        return Text(e.Name);
#define TESSEL_PUT_STORED_TEXT(Name)        \
    case D::Name:                           \
        e.Name = tessel::BstrToUtf8(value); \
        return;

        LONG TTesselDrv::GetLong(LONG dispId) {
    TEcrDrv& e = Engine();
    const TCommand& h = e.Holder();
    switch (dispId) {
        TESSEL_STORED_LONGS(TESSEL_GET_STORED)
        case D::BaudRate:
            return e.BaudRate();
        case D::CommandC1:
            return h.C1;
        case D::CommandC2:
            return h.C2;
        case D::CommandCode:
            return h.Code;
        case D::CommandDataLength:
            return h.DataLength;
        case D::CommandDstAddress:
            return h.DstAddress;
        case D::CommandSrcAddress:
            return h.SrcAddress;
        case D::CommandType:
            return h.CommandType;
        case D::DstAddress:
            return e.DstAddress();
        case D::LDCount:
            return e.LDCount();
        case D::LDIndex:
            return e.LDIndex();
        case D::LDNumber:
            return e.LDNumber();
        case D::ParentWnd:
            return parentWnd_;
        case D::PortNumber:
            return e.PortNumber();
        case D::ResultCode:
            return e.ResultCode;
        case D::CommandResultCode:
            return e.CommandResultCode;
    }
    NoSuchMember(dispId);
}

void TTesselDrv::PutLong(LONG dispId, LONG value) {
    TEcrDrv& e = Engine();
    TCommand& h = e.Holder();
    switch (dispId) {
        TESSEL_STORED_LONGS(TESSEL_PUT_STORED)
        case D::BaudRate:
            return e.SetBaudRate(value);
        case D::CommandC1:
            return Assign(h.C1, value);
        case D::CommandC2:
            return Assign(h.C2, value);
        case D::CommandCode:
            return Assign(h.Code, value);
        case D::CommandDataLength:
            return Assign(h.DataLength, value);
        case D::CommandDstAddress:
            return Assign(h.DstAddress, value);
        case D::CommandSrcAddress:
            return Assign(h.SrcAddress, value);
        case D::CommandType:
            return Assign(h.CommandType, value);
        case D::DstAddress:
            return e.SetDstAddress(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value)));
        case D::LDIndex:
            return e.SetLDIndex(value);
        case D::LDNumber:
            return e.SetLDNumber(value);
        case D::ParentWnd:
            parentWnd_ = value;
            return;
        case D::PortNumber:
            return e.SetPortNumber(value);
        case D::CommandResultCode:
            // An answer's result and its text travel together.
            e.CommandResultCode = value;
            e.CommandResultDescription = GetResultDescription(value);
            return;
    }
    NoSuchMember(dispId);
}

BSTR TTesselDrv::GetString(LONG dispId) {
    TEcrDrv& e = Engine();
    const TCommand& h = e.Holder();
    switch (dispId) {
        TESSEL_STORED_TEXTS(TESSEL_GET_STORED_TEXT)
        case D::CommandCadr:
            return ByteText(h.Cadr);
        case D::CommandCadrHex:
            return Text(BytesToHex(h.Cadr));
        case D::CommandData:
            return ByteText(e.CommandData());
        case D::CommandDataHex:
            return Text(e.CommandDataHex());
        case D::CommandResultDescription:
            return Text(e.CommandResultDescription);
        case D::DataBlockHex:
            return Text(BytesToHex(e.DataBlock));
        case D::ECRAdvancedModeDescription:
            return Text(e.ECRAdvancedModeDescription());
        case D::ECRDateStr:
            return Text(e.GetECRDateStr());
        case D::ECRDeviceName:
            return Text(e.ECRDeviceName());
        case D::ECRModeDescription:
            return Text(e.ECRModeDescription());
        case D::ECRSoftDateStr:
            return Text(e.GetECRSoftDateStr());
        case D::ECRTimeStr:
            return Text(e.GetECRTimeStr());
        case D::LDName:
            return Text(e.LDName());
        case D::LogFileName:
            return Text(e.LogFileName());
        case D::RawDataHex:
            return Text(BytesToHex(e.RawData));
        case D::ResultDescription:
            return Text(e.ResultDescription);
        case D::Version:
            return Text(DriverFileVersion());
        case D::DataBlock:
            return ByteText(e.DataBlock);
        case D::RawData:
            return ByteText(e.RawData);
    }
    NoSuchMember(dispId);
}

void TTesselDrv::PutString(LONG dispId, BSTR value) {
    TEcrDrv& e = Engine();
    TCommand& h = e.Holder();
    switch (dispId) {
        TESSEL_STORED_TEXTS(TESSEL_PUT_STORED_TEXT)
        case D::CommandCadr:
            h.Cadr = tessel::BstrToBytes(value);
            return;
        case D::CommandCadrHex:
            h.Cadr = HexToBytes(tessel::BstrToUtf8(value));
            return;
        case D::CommandData:
            return e.SetCommandData(tessel::BstrToBytes(value));
        case D::CommandDataHex:
            return e.SetCommandDataHex(tessel::BstrToUtf8(value));
        case D::DataBlock:
            e.DataBlock = tessel::BstrToBytes(value);
            return;
        case D::DataBlockHex:
            e.DataBlock = HexToBytes(tessel::BstrToUtf8(value));
            return;
        case D::ECRDateStr:
            return e.SetECRDateStr(tessel::BstrToUtf8(value));
        case D::ECRSoftDateStr:
            return e.SetECRSoftDateStr(tessel::BstrToUtf8(value));
        case D::ECRTimeStr:
            return e.SetECRTimeStr(tessel::BstrToUtf8(value));
        case D::LDName:
            return e.SetLDName(tessel::BstrToUtf8(value));
        case D::LogFileName:
            return e.SetLogFileName(tessel::BstrToUtf8(value));
        case D::RawData:
            e.RawData = tessel::BstrToBytes(value);
            return;
        case D::RawDataHex:
            e.RawData = HexToBytes(tessel::BstrToUtf8(value));
            return;
    }
    NoSuchMember(dispId);
}

double TTesselDrv::GetDouble(LONG dispId) {
    TEcrDrv& e = Engine();
    switch (dispId) { TESSEL_STORED_REALS(TESSEL_GET_STORED) }
    NoSuchMember(dispId);
}

void TTesselDrv::PutDouble(LONG dispId, double value) {
    TEcrDrv& e = Engine();
    switch (dispId) { TESSEL_STORED_REALS(TESSEL_PUT_STORED_VALUE) }
    NoSuchMember(dispId);
}

LONGLONG TTesselDrv::GetCurrency(LONG dispId) {
    TEcrDrv& e = Engine();
    switch (dispId) { TESSEL_STORED_MONEY(TESSEL_GET_STORED) }
    NoSuchMember(dispId);
}

void TTesselDrv::PutCurrency(LONG dispId, LONGLONG value) {
    TEcrDrv& e = Engine();
    switch (dispId) { TESSEL_STORED_MONEY(TESSEL_PUT_STORED_VALUE) }
    NoSuchMember(dispId);
}

bool TTesselDrv::GetBool(LONG dispId) {
    TEcrDrv& e = Engine();
    switch (dispId) {
        TESSEL_STORED_FLAGS(TESSEL_GET_STORED)
        case D::CommandExecuteFlag:
            return e.Holder().ExecuteFlag;
        case D::CommandRollbackFlag:
            return e.Holder().RollbackFlag;
        case D::DeviceEnabled:
            return e.DeviceEnabled();
        case D::Fuel:
            return e.Fuel();
        case D::IsClient1C:
            return isClient1C_;
        case D::IsShowProperties:
            return isShowProperties_;
        case D::LockDevices:
            return lockDevices_;
        case D::LogEnabled:
            return e.LogEnabled();
    }
    NoSuchMember(dispId);
}

void TTesselDrv::PutBool(LONG dispId, bool value) {
    TEcrDrv& e = Engine();
    switch (dispId) {
        TESSEL_STORED_FLAGS(TESSEL_PUT_STORED_VALUE)
        case D::DeviceEnabled:
            return e.SetDeviceEnabled(value);
        case D::Fuel:
            return e.SetFuel(value);
        case D::LockDevices:
            lockDevices_ = value;
            return;
        case D::LogEnabled:
            return e.SetLogEnabled(value);
    }
    NoSuchMember(dispId);
}

DATE TTesselDrv::GetDate(LONG dispId) {
    TEcrDrv& e = Engine();
    switch (dispId) {
        case D::ECRDate:
            return e.GetECRDate();
        case D::ECRSoftDate:
            return e.GetECRSoftDate();
        case D::ECRTime:
            return e.GetECRTime();
    }
    NoSuchMember(dispId);
}

void TTesselDrv::PutDate(LONG dispId, DATE value) {
    TEcrDrv& e = Engine();
    switch (dispId) {
        case D::ECRDate:
            return e.SetECRDate(value);
        case D::ECRSoftDate:
            return e.SetECRSoftDate(value);
        case D::ECRTime:
            return e.SetECRTime(value);
    }
    NoSuchMember(dispId);
}

std::int32_t TTesselDrv::CallMethod(LONG dispId) {
    TEcrDrv& e = Engine();
    try {
        switch (dispId) {
            // The exchanges, one for each command the computer sends.
#define TESSEL_EXCHANGE_METHOD(opcode, Class, Operation, ...) \
    case D::Operation:                                        \
        return e.Operation();
            TESSEL_COMPUTER_COMMANDS(TESSEL_EXCHANGE_METHOD)
#undef TESSEL_EXCHANGE_METHOD
            case D::AboutBox:
                // Yields nothing, so the last operation's result stays; only a failure to show it is one.
                ShowDialog("About");
                return e.ResultCode;
            case D::AddLD:
                return e.AddLD();
            case D::DeleteCommand:
                return e.DeleteCommand();
            case D::DeleteLD:
                return e.DeleteLD();
            case D::GetCommandParams:
                return e.GetCommandParams();
            case D::SearchDevice:
                return e.SearchDevice();
            case D::SendCommand:
                return e.SendCommand();
            case D::SendRawData:
                return e.SendRawData();
            case D::SetDefaults:
                return SetDefaults();
            case D::ShowLogDlg:
                return ShowModalDialog("Log");
            case D::ShowProperties:
                return ShowProperties();
            case D::ShowSearchDlg:
                return ShowSearchDialog();
            case D::ShowServiceDlg:
                return ShowModalDialog("Service");
            case D::ShowStatusDlg:
                return ShowModalDialog("Status");
            case D::ShowTablesDlg:
                return ShowModalDialog("Tables");
            case D::SendCadr:
                return e.SendCadr();
            case D::PostCadr:
                return e.PostCadr();
        }
        NoSuchMember(dispId);
    } catch (const std::exception& error) {
        return e.ResultFromError(error);
    }
}

std::int32_t TTesselDrv::SetDefaults() {
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

std::int32_t TTesselDrv::ShowProperties() {
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
