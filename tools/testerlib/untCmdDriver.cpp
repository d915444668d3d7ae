#include "tools/testerlib/untCmdDriver.h"

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

// The user's words for a refused call: the driver's own description when it gave one.
std::string Why(HRESULT hr, const std::string& description) {
    return description.empty() ? OleErrorText(hr) : description;
}

void Raise(const client::CallFailure& f) {
    using Step = client::CallFailure::Step;
    switch (f.step) {
        case Step::Register:
            throw ECmdDriverError("Не удалось создать объект драйвера «" + f.member +
                                      "»: класс не зарегистрирован (" + OleErrorText(f.hr) +
                                      "). Зарегистрируйте драйвер: tessel-regsvr libTesselDrv.so",
                                  f.hr);
        case Step::Create:
            throw ECmdDriverError("Не удалось создать объект драйвера «" + f.member +
                                      "»: " + (f.description.empty() ? "" : f.description + ", ") +
                                      OleErrorText(f.hr),
                                  f.hr);
        case Step::Name:
            throw ECmdDriverError("У драйвера нет члена «" + f.member + "»: " + OleErrorText(f.hr), f.hr);
        case Step::Invoke:
            throw ECmdDriverError(f.member + ": " + Why(f.hr, f.description), f.hr);
        default:
            throw ECmdDriverError(f.member + ": " + OleErrorText(f.hr), f.hr);
    }
}

}  // namespace

std::string OleErrorText(HRESULT hr) {
    const std::string code = FormatText("%08Xh", static_cast<unsigned>(hr));
    for (const TKnownResult& known : kKnownResults)
        if (known.hr == hr) return std::string(known.text) + " (" + code + ")";
    return "Ошибка OLE " + code;
}

TCmdDriver TCmdDriver::Create(const std::string& progId) {
    return TCmdDriver(client::CreateDriver(progId, Raise));
}

TCmdDriver::TCmdDriver(ComPtr<IDispatch> dispatch) : LateBoundDriver(std::move(dispatch), Raise) {}

LONG TCmdDriver::Call(const std::string& name) const {
    TVariant result;
    LateBoundDriver::Call(name, result.v);
    TVariant number;
    if (FAILED(VariantChangeType(&number.v, &result.v, 0, VT_I4))) return 0;  // a method without a value
    return number.v.lVal;
}

std::string TCmdDriver::GetText(const std::string& name) const {
    TVariant value;
    Get(name, value.v);
    return VariantToText(ptString, value.v, TCmdDateForms());
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
            std::string description;
            const HRESULT hr = TryInvoke(id, DISPATCH_PROPERTYPUT, args, nullptr, description);
            if (FAILED(hr)) throw ECmdDriverError(Why(hr, description), hr);
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
