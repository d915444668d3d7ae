#include "driver/native1c/NativeDriver.h"

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "common/com/ComText.h"
#include "driver/automation/ole1C.h"
#include "driver/native1c/NativeMembers.h"
#include "driver/native1c/NativeValues.h"

namespace {

// The version of the technology the object follows.
constexpr long kNativeApiVersion = 2000;

// Frees a VARIANT on every way out.
struct TVariantHolder {
    VARIANT value;
    TVariantHolder() { VariantInit(&value); }
    ~TVariantHolder() { VariantClear(&value); }
    TVariantHolder(const TVariantHolder&) = delete;
    TVariantHolder& operator=(const TVariantHolder&) = delete;
};

// What a refused dispatch call means to the one who wrote the script.
std::string InvokeFailureText(const TAddinItem& item, HRESULT hr) {
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
        return "Значение не подходит для свойства " + item.Alias;
    if (hr == DISP_E_MEMBERNOTFOUND && !item.Writable && item.Readable)
        return "Свойство " + item.Alias + " только для чтения";
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
    return "Ошибка при обращении к " + item.Alias + ": код " + code;
}

}  // namespace

TNativeDriver::TNativeDriver() {
    BuildNativeMembers(props_, methods_);
}

TNativeDriver::~TNativeDriver() {
    EndSession();
}

bool TNativeDriver::Init(void* connection) {
    connection_ = static_cast<IAddInDefBase*>(connection);
    if (driver_) return true;
    try {
        thread_ = std::make_unique<TDriverThreadLease>();
        tessel::ComPtr<IInitDone> made;
        // The class a COM client gets for the coclass, with its 1C host interfaces.
        made.Attach(std::make_unique<Tole1C>().release());
        tessel::ComPtr<ITesselDriver3> driver;
        HRESULT hr = made.As(IID_ITesselDriver3, driver);
        // Counted references free it (the object starts with the one adopted here).
        if (SUCCEEDED(hr) && connection_ != nullptr) host_.Attach(new THostConnection(*connection_));
        if (SUCCEEDED(hr)) hr = made->Init(host_ ? static_cast<IDispatch*>(host_.Get()) : nullptr);
        if (FAILED(hr)) throw std::runtime_error("Объект драйвера не создан: код " + std::to_string(hr));
        driver_ = std::move(driver);
        driverInit_ = std::move(made);
        return true;
    } catch (const std::exception& error) {
        Report(error.what(), E_FAIL);
    }
    EndSession();
    return false;
}

bool TNativeDriver::setMemManager(void* memoryManager) {
    memory_ = static_cast<IMemoryManager*>(memoryManager);
    return memory_ != nullptr;
}

long TNativeDriver::GetInfo() {
    return kNativeApiVersion;
}

void TNativeDriver::Done() {
    EndSession();
    connection_ = nullptr;
}

void TNativeDriver::EndSession() {
    // The connection first: once it is detached no event of the driver thread reaches the platform.
    if (host_) host_->Detach();
    if (driverInit_) driverInit_->Done();
    driver_.Reset();
    driverInit_.Reset();
    host_.Reset();
    thread_.reset();
}

bool TNativeDriver::RegisterExtensionAs(WCHAR_T** extensionName) {
    if (extensionName == nullptr || memory_ == nullptr) return false;
    try {
        *extensionName = NativeString(ClassName, *memory_);
    } catch (const std::bad_alloc&) {
        *extensionName = nullptr;
    }
    return *extensionName != nullptr;
}

long TNativeDriver::GetNProps() {
    return static_cast<long>(props_.Count());
}

long TNativeDriver::FindProp(const WCHAR_T* propName) {
    try {
        return props_.FindByName(Utf8FromNative(propName));
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

const WCHAR_T* TNativeDriver::GetPropName(long propNum, long alias) {
    return Name(props_, propNum, alias);
}

bool TNativeDriver::GetPropVal(const long propNum, tVariant* value) {
    const TAddinItem* item = props_.Get(static_cast<LONG>(propNum));
    if (item == nullptr || value == nullptr || propNum != static_cast<LONG>(propNum)) return false;
    TVariantHolder read;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return Invoke(*item, DISPATCH_PROPERTYGET, none, &read.value) && Answer(*item, read.value, *value);
}

bool TNativeDriver::SetPropVal(const long propNum, tVariant* value) {
    const TAddinItem* item = props_.Get(static_cast<LONG>(propNum));
    if (item == nullptr || value == nullptr || propNum != static_cast<LONG>(propNum)) return false;
    TVariantHolder arg;
    try {
        if (!FromNativeValue(*value, arg.value)) {
            Report("Значение не подходит для свойства " + item->Alias, DISP_E_TYPEMISMATCH);
            return false;
        }
    } catch (const std::bad_alloc&) {
        Report("Недостаточно памяти", E_OUTOFMEMORY);
        return false;
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg.value, &named, 1, 1};
    return Invoke(*item, DISPATCH_PROPERTYPUT, params, nullptr);
}

bool TNativeDriver::IsPropReadable(const long propNum) {
    const TAddinItem* item = props_.Get(static_cast<LONG>(propNum));
    return item != nullptr && propNum == static_cast<LONG>(propNum) && item->Readable;
}

bool TNativeDriver::IsPropWritable(const long propNum) {
    const TAddinItem* item = props_.Get(static_cast<LONG>(propNum));
    return item != nullptr && propNum == static_cast<LONG>(propNum) && item->Writable;
}

long TNativeDriver::GetNMethods() {
    return static_cast<long>(methods_.Count());
}

long TNativeDriver::FindMethod(const WCHAR_T* methodName) {
    try {
        return methods_.FindByName(Utf8FromNative(methodName));
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

const WCHAR_T* TNativeDriver::GetMethodName(const long methodNum, const long alias) {
    return Name(methods_, methodNum, alias);
}

long TNativeDriver::GetNParams(const long) {
    return 0;
}

bool TNativeDriver::GetParamDefValue(const long, const long, tVariant*) {
    return false;
}

bool TNativeDriver::HasRetVal(const long methodNum) {
    const TAddinItem* item = methods_.Get(static_cast<LONG>(methodNum));
    return item != nullptr && methodNum == static_cast<LONG>(methodNum) && item->VarType != VT_EMPTY;
}

bool TNativeDriver::CallAsProc(const long methodNum, tVariant*, const long) {
    const TAddinItem* item = methods_.Get(static_cast<LONG>(methodNum));
    if (item == nullptr || methodNum != static_cast<LONG>(methodNum)) return false;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return Invoke(*item, DISPATCH_METHOD, none, nullptr);
}

bool TNativeDriver::CallAsFunc(const long methodNum, tVariant* result, tVariant*, const long) {
    const TAddinItem* item = methods_.Get(static_cast<LONG>(methodNum));
    if (item == nullptr || result == nullptr || methodNum != static_cast<LONG>(methodNum)) return false;
    TVariantHolder value;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return Invoke(*item, DISPATCH_METHOD, none, &value.value) && Answer(*item, value.value, *result);
}

void TNativeDriver::SetLocale(const WCHAR_T*) {}

bool TNativeDriver::Invoke(const TAddinItem& item, WORD flags, DISPPARAMS& params, VARIANT* result) {
    if (!driver_) {
        Report("Объект драйвера не создан: компонента не инициализирована", E_FAIL);
        return false;
    }
    const HRESULT hr = driver_->Invoke(item.DispID, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
    if (SUCCEEDED(hr)) return true;
    try {
        Report(InvokeFailureText(item, hr), hr);
    } catch (const std::bad_alloc&) {
    }
    return false;
}

bool TNativeDriver::Answer(const TAddinItem& item, const VARIANT& value, tVariant& out) {
    if (memory_ != nullptr && ToNativeValue(value, out, *memory_)) return true;
    try {
        Report("Значение " + item.Alias + " не передано в 1С", E_FAIL);
    } catch (const std::bad_alloc&) {
    }
    return false;
}

void TNativeDriver::Report(const std::string& message, long code) {
    if (connection_ == nullptr) return;
    try {
        const tessel::UniqueBstr source = tessel::Utf8ToBstr(ErrorSource);
        const tessel::UniqueBstr text = tessel::Utf8ToBstr(message);
        connection_->AddError(ADDIN_E_FAIL, source.get(), text.get(), code);
    } catch (const std::bad_alloc&) {
        // Nothing more can be told; the call's false answer still raises the error.
    }
}

const WCHAR_T* TNativeDriver::Name(const TAddinItems& items, long index, long alias) {
    const TAddinItem* item = items.Get(static_cast<LONG>(index));
    if (item == nullptr || memory_ == nullptr || index != static_cast<LONG>(index)) return nullptr;
    try {
        return NativeString(alias != 0 ? item->Alias : item->Name, *memory_);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
