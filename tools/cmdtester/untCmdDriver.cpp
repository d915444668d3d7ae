#include "tools/cmdtester/untCmdDriver.h"

#include "common/com/ComCreate.h"
#include "common/com/ComText.h"
#include "common/com/ExcepInfo.h"
#include "common/platform/TextFormat.h"

namespace tessel::cmd {

namespace {

struct TKnownResult {
    HRESULT hr;
    const char* text;
};

constexpr TKnownResult kKnownResults[] = {
    {E_NOTIMPL, "Не реализовано"},
    {E_NOINTERFACE, "Интерфейс не поддерживается"},
    {E_POINTER, "Недопустимый указатель"},
    {E_FAIL, "Неопознанная ошибка"},
    {E_UNEXPECTED, "Непредвиденная ошибка"},
    {E_OUTOFMEMORY, "Недостаточно памяти"},
    {E_INVALIDARG, "Недопустимый аргумент"},
    {REGDB_E_READREGDB, "Ошибка чтения реестра"},
    {REGDB_E_CLASSNOTREG, "Класс не зарегистрирован"},
    {CO_E_CLASSSTRING, "Недопустимая строка класса"},
    {CO_E_DLLNOTFOUND, "Библиотека сервера не найдена"},
    {CO_E_ERRORINDLL, "Ошибка в библиотеке сервера"},
    {DISP_E_UNKNOWNNAME, "Неизвестное имя"},
    {DISP_E_MEMBERNOTFOUND, "Элемент не найден"},
    {DISP_E_PARAMNOTFOUND, "Параметр не найден"},
    {DISP_E_TYPEMISMATCH, "Несоответствие типов"},
    {DISP_E_OVERFLOW, "Переполнение"},
    {DISP_E_BADPARAMCOUNT, "Неверное число параметров"},
    {DISP_E_PARAMNOTOPTIONAL, "Параметр обязателен"},
    {DISP_E_NONAMEDARGS, "Именованные аргументы не поддерживаются"},
    {DISP_E_BADVARTYPE, "Недопустимый тип переменной"},
    {DISP_E_EXCEPTION, "Исключение"},
};

std::string Composed(const char* format, const TCmdParam& p, const std::string& why) {
    return FormatText(format, p.Name.c_str(), p.Caption.c_str()) + "\r\n" + why;
}

}  // namespace

std::string OleErrorText(HRESULT hr) {
    const std::string code = FormatText("%08Xh", static_cast<unsigned>(hr));
    for (const TKnownResult& known : kKnownResults)
        if (known.hr == hr) return std::string(known.text) + " (" + code + ")";
    return "Ошибка OLE " + code;
}

TCmdDriver TCmdDriver::Create(const std::string& progId) {
    const std::string failed = "Не удалось создать объект драйвера «" + progId + "»: ";
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(Utf8ToBstr(progId).get(), &clsid);
    if (FAILED(hr)) {
        throw ECmdDriverError(failed + "класс не зарегистрирован (" + OleErrorText(hr) +
                                  "). Зарегистрируйте драйвер: tessel-regsvr libTesselDrv.so",
                              hr);
    }
    ComPtr<IDispatch> dispatch;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.PutVoid());
    if (FAILED(hr) || !dispatch) {
        const std::string reason = LastClassCreationError();
        throw ECmdDriverError(failed + (reason.empty() ? "" : reason + ", ") + OleErrorText(hr), hr);
    }
    return TCmdDriver(std::move(dispatch));
}

TCmdDriver::TCmdDriver(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

DISPID TCmdDriver::IdOf(const std::string& name) {
    {
        std::lock_guard lock(*idsMutex_);
        if (const auto found = ids_.find(name); found != ids_.end()) return found->second;
    }
    UniqueBstr wide = Utf8ToBstr(name);
    LPOLESTR names[] = {wide.get()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw ECmdDriverError("У драйвера нет члена «" + name + "»: " + OleErrorText(hr), hr);
    std::lock_guard lock(*idsMutex_);
    ids_.emplace(name, id);
    return id;
}

HRESULT TCmdDriver::TryInvoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result, std::string& why) {
    ExcepInfo exception;
    UINT argError = 0;
    const HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                         exception.Get(), &argError);
    if (FAILED(hr)) {
        const std::string description = hr == DISP_E_EXCEPTION ? exception.Description() : std::string();
        why = description.empty() ? OleErrorText(hr) : description;
    }
    return hr;
}

void TCmdDriver::Invoke(const std::string& name, WORD flags, DISPPARAMS& params, VARIANT* result) {
    std::string why;
    const HRESULT hr = TryInvoke(IdOf(name), flags, params, result, why);
    if (FAILED(hr)) throw ECmdDriverError(name + ": " + why, hr);
}

void TCmdDriver::Get(const std::string& name, VARIANT& value) {
    VariantClear(&value);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Invoke(name, DISPATCH_PROPERTYGET, none, &value);
}

void TCmdDriver::Put(const std::string& name, const VARIANT& value) {
    VARIANT arg = value;  // a shallow copy: the callee only reads its arguments
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    Invoke(name, DISPATCH_PROPERTYPUT, params, nullptr);
}

LONG TCmdDriver::Call(const std::string& name) {
    TVariant result;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Invoke(name, DISPATCH_METHOD, none, &result.v);
    TVariant number;
    if (FAILED(VariantChangeType(&number.v, &result.v, 0, VT_I4))) return 0;  // a method without a value
    return number.v.lVal;
}

LONG TCmdDriver::GetLong(const std::string& name) {
    TVariant value;
    Get(name, value.v);
    TVariant number;
    const HRESULT hr = VariantChangeType(&number.v, &value.v, 0, VT_I4);
    if (FAILED(hr)) throw ECmdDriverError(name + ": " + OleErrorText(hr), hr);
    return number.v.lVal;
}

std::string TCmdDriver::GetText(const std::string& name) {
    TVariant value;
    Get(name, value.v);
    return VariantToText(ptString, value.v, TCmdDateForms());
}

void TCmdDriver::PutLong(const std::string& name, LONG number) {
    TVariant value;
    value.v.vt = VT_I4;
    value.v.lVal = number;
    Put(name, value.v);
}

void TCmdDriver::PutBool(const std::string& name, bool on) {
    TVariant value;
    value.v.vt = VT_BOOL;
    value.v.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    Put(name, value.v);
}

void TCmdDriver::WriteParams(const TCmdParams& params, const TCmdDateForms& forms) {
    for (const TCmdParam& p : params) {
        if (p.ReadOnly) continue;
        try {
            TVariant value;
            TextToVariant(p.Type, p.Text, forms, value.v);
            const DISPID id = IdOf(p.Name);
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS args{&value.v, &named, 1, 1};
            std::string why;
            const HRESULT hr = TryInvoke(id, DISPATCH_PROPERTYPUT, args, nullptr, why);
            if (FAILED(hr)) throw ECmdDriverError(why, hr);
        } catch (const std::exception& e) {
            const auto* driver = dynamic_cast<const ECmdDriverError*>(&e);
            throw ECmdDriverError(Composed("Ошибка при записи свойства %s, %s", p, e.what()),
                                  driver != nullptr ? driver->Result() : E_FAIL);
        }
    }
}

void TCmdDriver::ReadParams(TCmdParams& params, const TCmdDateForms& forms) {
    for (TCmdParam& p : params) {
        try {
            TVariant value;
            Get(p.Name, value.v);
            p.Text = VariantToText(p.Type, value.v, forms);
        } catch (const std::exception& e) {
            const auto* driver = dynamic_cast<const ECmdDriverError*>(&e);
            throw ECmdDriverError(Composed("Ошибка при чтении свойства %s, %s", p, e.what()),
                                  driver != nullptr ? driver->Result() : E_FAIL);
        }
    }
}

}  // namespace tessel::cmd
