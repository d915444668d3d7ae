// A host of the driver as 1C:Enterprise uses an external component on Windows: the object by its ProgID,
// IInitDone with a connection object of the host's (IAsyncEvent, IErrorLog, IStatusLine), the member lists
// through ILanguageExtender in both languages, properties and methods by number, and the register's requests
// announced by ExternalEvent("ДрайверККМ", "ИдентификаторКоманды", id) and answered, as a configuration's
// external-event handler answers them, through the same interface by Russian names. Each check prints "ok"
// or "FAIL"; after "READY" it answers `count` requests for goods by article code (81h), then prints
// "DONE n" and, when everything passed, "HOST OK".
//   OneCHost PORT COUNT SECONDS
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <stdexcept>
#include <string>

#include "common/com/AddIn1C.h"
#include "common/com/ComText.h"

namespace {

// The host's status line: offered to the component with the connection, as 1C offers it.
const IID IID_IStatusLine = {0xAB634005, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
struct IStatusLine : IUnknown {
    STDMETHOD(SetStatusLine)(BSTR bstrStatusLine) PURE;
    STDMETHOD(ResetStatusLine)() PURE;
};

// What the price list sells under article code 123 (the event client's goods, so the tour checks both alike).
constexpr long kArticleCode = 123;
constexpr char kGoodsName[] = "Молоко 3,2%";
constexpr double kGoodsPrice = 45.5;
constexpr long kNoSuchGoods = 52;  // the register's own error for an unknown article

int failures = 0;

void Check(bool passed, const std::string& what) {
    std::printf("%s %s\n", passed ? "ok" : "FAIL", what.c_str());
    if (!passed) ++failures;
}

void Require(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: HRESULT %08lX", what, static_cast<unsigned long>(hr));
        throw std::runtime_error(text);
    }
}

std::string Text(BSTR text) {
    return text == nullptr ? std::string() : tessel::BstrToUtf8(text);
}

// Owns a VARIANT.
struct Variant {
    VARIANT v;
    Variant() { ::VariantInit(&v); }
    ~Variant() { ::VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

// One external event as the host queues it: 1C hands it to the configuration after the call has returned.
struct ExternalEventRecord {
    std::string source, message, data;
};

// The connection object that the host passes to Init: IDispatch (as 1C's is), with IAsyncEvent, IErrorLog
// and IStatusLine behind QueryInterface. Lives on the stack of Run, longer than the component.
class HostConnection : public IDispatch, public IAsyncEvent, public IErrorLog, public IStatusLine {
  public:
    std::deque<ExternalEventRecord> events;
    int errors = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IAsyncEvent)
            *out = static_cast<IAsyncEvent*>(this);
        else if (iid == IID_IErrorLog)
            *out = static_cast<IErrorLog*>(this);
        else if (iid == IID_IStatusLine)
            *out = static_cast<IStatusLine*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // IDispatch: the connection has no members of its own for the component.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    // IAsyncEvent.
    HRESULT STDMETHODCALLTYPE SetEventBufferDepth(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetEventBufferDepth(LONG* depth) override {
        *depth = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExternalEvent(BSTR source, BSTR message, BSTR data) override {
        events.push_back({Text(source), Text(message), Text(data)});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CleanBuffer() override {
        events.clear();
        return S_OK;
    }

    // IErrorLog.
    HRESULT STDMETHODCALLTYPE AddError(LPCOLESTR, EXCEPINFO* info) override {
        ++errors;
        std::printf("ERRORLOG %s\n", info != nullptr ? Text(info->bstrDescription).c_str() : "");
        return S_OK;
    }

    // IStatusLine.
    HRESULT STDMETHODCALLTYPE SetStatusLine(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetStatusLine() override { return S_OK; }
};

// The component as a configuration reaches it: members by name, found once, called by number.
class Component {
  public:
    explicit Component(ILanguageExtender* extender) : ext_(extender) {
        params_ = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
        if (params_ == nullptr) throw std::runtime_error("SafeArrayCreateVector");
    }
    ~Component() { ::SafeArrayDestroy(params_); }
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    LONG Prop(const char* name) { return Find(name, &ILanguageExtender::FindProp); }
    LONG Method(const char* name) { return Find(name, &ILanguageExtender::FindMethod); }

    // Reads a property: the host gets what GetPropVal gives, of whatever type.
    void Get(const char* name, Variant& value) { Require(ext_->GetPropVal(Prop(name), &value.v), name); }
    long GetLong(const char* name) {
        Variant value;
        Get(name, value);
        Require(::VariantChangeType(&value.v, &value.v, 0, VT_I4), name);
        return value.v.lVal;
    }
    std::string GetText(const char* name) {
        Variant value;
        Get(name, value);
        Require(::VariantChangeType(&value.v, &value.v, 0, VT_BSTR), name);
        return Text(value.v.bstrVal);
    }
    void Set(const char* name, VARIANT value) { Require(ext_->SetPropVal(Prop(name), &value), name); }
    void Set(const char* name, long value) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = value;
        Set(name, v);
    }
    void Set(const char* name, const std::string& text) {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = tessel::Utf8ToBstr(text).release();
        const HRESULT hr = ext_->SetPropVal(Prop(name), &v);
        ::SysFreeString(v.bstrVal);
        Require(hr, name);
    }
    // A method as a function: its value is the result code.
    long Call(const char* name) {
        Variant result;
        Require(ext_->CallAsFunc(Method(name), &result.v, &params_), name);
        Require(::VariantChangeType(&result.v, &result.v, 0, VT_I4), name);
        return result.v.lVal;
    }

  private:
    LONG Find(const char* name, HRESULT (STDMETHODCALLTYPE ILanguageExtender::*find)(BSTR, LONG*)) {
        const tessel::UniqueBstr text = tessel::Utf8ToBstr(name);
        LONG index = -1;
        if ((ext_->*find)(text.get(), &index) != S_OK)
            throw std::runtime_error(std::string("no member ") + name);
        return index;
    }

    ILanguageExtender* ext_;
    SAFEARRAY* params_;
};

using NameGetter = HRESULT (STDMETHODCALLTYPE ILanguageExtender::*)(LONG, LONG, BSTR*);
using Finder = HRESULT (STDMETHODCALLTYPE ILanguageExtender::*)(BSTR, LONG*);

// Every member of one list has both names, and each name, in either case, finds that member again.
void CheckList(ILanguageExtender* ext, const char* kind, LONG count, NameGetter name, Finder find) {
    int broken = 0;
    for (LONG i = 0; i < count; ++i) {
        for (LONG alias = 0; alias <= 1; ++alias) {
            BSTR text = nullptr;
            const HRESULT hr = (ext->*name)(i, alias, &text);
            const std::string utf8 = Text(text);
            LONG found = -1;
            if (hr == S_OK && ::SysStringLen(text) > 0) {
                // 1C compares names without regard to case: the upper-case form finds the member as well.
                ::CharUpperW(text);
                (ext->*find)(text, &found);
            }
            ::SysFreeString(text);
            if (found != i) {
                if (++broken <= 5)
                    std::printf("  %s %ld alias %ld: \"%s\" finds %ld\n", kind, i, alias, utf8.c_str(),
                                found);
            }
        }
    }
    Check(count > 0 && broken == 0, std::string(kind) + ": " + std::to_string(count) +
                                        " members, each found by its English and its Russian name");
}

void CheckMemberLists(ILanguageExtender* ext) {
    BSTR name = nullptr;
    Require(ext->RegisterExtensionAs(&name), "RegisterExtensionAs");
    Check(Text(name) == "TesselDriver", "RegisterExtensionAs = " + Text(name));
    ::SysFreeString(name);

    LONG props = 0, methods = 0;
    Require(ext->GetNProps(&props), "GetNProps");
    Require(ext->GetNMethods(&methods), "GetNMethods");
    CheckList(ext, "properties", props, &ILanguageExtender::GetPropName, &ILanguageExtender::FindProp);
    CheckList(ext, "methods", methods, &ILanguageExtender::GetMethodName, &ILanguageExtender::FindMethod);
}

// Properties and methods by number, by their Russian names, as a configuration's module calls them.
void CheckMembers(Component& c, long port) {
    Check(c.GetLong("Таймаут") > 0 && c.GetLong("Результат") == 0, "Таймаут and Результат read");

    c.Set("НомерПорта", port);
    Check(c.GetLong("НомерПорта") == port, "НомерПорта written");
    Check(c.Call("ПолучитьСостояниеККМ") == 0, "ПолучитьСостояниеККМ = 0");
    Check(c.GetText("ОписаниеРежимаККМ") == "режим программирования", "ОписаниеРежимаККМ");

    // A currency property takes a decimal and reads back as a double.
    VARIANT price;
    ::VariantInit(&price);
    Require(::VarDecFromR8(kGoodsPrice, &price.decVal), "VarDecFromR8");
    price.vt = VT_DECIMAL;
    c.Set("Цена", price);
    Variant read;
    c.Get("Цена", read);
    Check(read.v.vt == VT_R8 && read.v.dblVal == kGoodsPrice, "Цена: a decimal in, a double out");

    // A date property keeps its day.
    VARIANT date;
    date.vt = VT_DATE;
    date.date = 46000;  // 09.12.2025
    c.Set("ДатаККМ", date);
    Variant dateRead;
    c.Get("ДатаККМ", dateRead);
    Check(dateRead.v.vt == VT_DATE && dateRead.v.date == 46000, "ДатаККМ: a date in and out");

    // A boolean is the integer 1 to the host.
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    c.Set("ПортОткрыт", on);
    Variant open;
    c.Get("ПортОткрыт", open);
    Check(open.v.vt == VT_I4 && open.v.lVal == 1 && c.GetLong("Результат") == 0, "ПортОткрыт = 1");
}

// The configuration's handler of the external event: the request is read and answered through the
// component. Returns whether it was answered.
bool Answer(Component& c, const ExternalEventRecord& event) {
    const bool named = event.source == "ДрайверККМ" && event.message == "ИдентификаторКоманды";
    Check(named,
          "ExternalEvent(\"" + event.source + "\", \"" + event.message + "\", \"" + event.data + "\")");
    const long id = std::strtol(event.data.c_str(), nullptr, 10);
    c.Set("НомерКоманды", id);
    if (!named || c.Call("ПолучитьПараметрыКоманды") != 0) return false;
    const long type = c.GetLong("ТипКоманды");
    const long opcode = c.GetLong("КодКоманды");
    bool answered = false;
    if (type == 0 && opcode == 0x81) {
        const long code = c.GetLong("Код");
        const long result = code == kArticleCode ? 0 : kNoSuchGoods;
        c.Set("ТипКоманды", 1);
        c.Set("АдресПриемника", c.GetLong("АдресИсточника"));
        c.Set("АдресИсточника", c.GetLong("АдресПК"));
        c.Set("КодОшибкиКоманды", result);
        if (result == 0) {
            c.Set("Текст", std::string(kGoodsName));
            VARIANT price;
            price.vt = VT_R8;  // 1C passes its numbers as doubles
            price.dblVal = kGoodsPrice;
            c.Set("Цена", price);
            c.Set("Секция", 1);
            c.Set("Налог1", 1);
        }
        const long sent = c.Call("ПередатьКоманду");
        std::printf("ANSWERED %ld code %ld result %ld send %ld\n", id, code, result, sent);
        answered = sent == 0;
    }
    c.Set("НомерКоманды", id);
    c.Call("УдалитьКоманду");
    return answered;
}

int Run(long port, int count, DWORD seconds) {
    CLSID clsid{};
    Require(::CLSIDFromProgID(L"Addin.TesselDriver", &clsid), "CLSIDFromProgID");
    IInitDone* init = nullptr;
    Require(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInitDone,
                               reinterpret_cast<void**>(&init)),
            "CoCreateInstance");
    HostConnection host;
    int answered = 0;
    {
        // What 1C asks first: the technology version the component follows.
        SAFEARRAY* info = ::SafeArrayCreateVector(VT_VARIANT, 0, 1);
        Require(init->GetInfo(&info), "GetInfo");
        LONG first = 0;
        Variant version;
        ::SafeArrayGetElement(info, &first, &version.v);
        ::SafeArrayDestroy(info);
        Check(version.v.vt == VT_BSTR && Text(version.v.bstrVal) == "1000", "GetInfo = 1000");
        Require(init->Init(static_cast<IDispatch*>(&host)), "Init");

        ILanguageExtender* ext = nullptr;
        Require(init->QueryInterface(IID_ILanguageExtender, reinterpret_cast<void**>(&ext)),
                "ILanguageExtender");
        CheckMemberLists(ext);
        Component c(ext);
        CheckMembers(c, port);
        std::puts(c.GetLong("Результат") == 0 ? "READY" : "PORT");
        std::fflush(stdout);

        // The events come as window messages to the thread that created the object, while it pumps.
        const ULONGLONG deadline = ::GetTickCount64() + seconds * 1000ULL;
        int events = 0;
        while (events < count) {
            while (!host.events.empty() && events < count) {
                const ExternalEventRecord event = host.events.front();
                host.events.pop_front();
                ++events;
                if (Answer(c, event)) ++answered;
                std::fflush(stdout);
            }
            const ULONGLONG now = ::GetTickCount64();
            if (events >= count || now >= deadline) break;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        std::printf("DONE %d\n", answered);
        Check(events == count, "one external event for each request");
        Check(host.errors == 0, "nothing in the host's error log");
        ext->Release();
    }
    Require(init->Done(), "Done");
    init->Release();
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: OneCHost PORT COUNT SECONDS\n", stderr);
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int status = 1;
    try {
        status = Run(std::atol(argv[1]), std::atoi(argv[2]), static_cast<DWORD>(std::atoi(argv[3])));
    } catch (const std::exception& e) {
        std::printf("ERROR %s\n", e.what());
        ++failures;
    }
    if (status == 0 && failures == 0) std::puts("HOST OK");
    std::fflush(stdout);
    ::CoUninitialize();
    return failures == 0 ? status : 1;
}
