// A Windows client of the driver's events, as a point-of-sale program writes one with nothing but the
// system's COM: the class by its ProgID (CLSIDFromProgID, CoCreateInstance), IDriverEvents through
// IConnectionPointContainer and Advise, late binding through IDispatch, and a message loop on the thread that
// created the object. It opens the port, prints "READY", and answers the register's requests for goods by
// article code (81h) from a one-line price list until it has answered `count` of them, then prints "DONE n".
//   EventClient PORT COUNT SECONDS
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "driver/automation/TesselDrv_TLB.h"

namespace {

// What the price list sells under article code 123.
constexpr long kArticleCode = 123;
constexpr wchar_t kGoodsName[] = L"Молоко 3,2%";
constexpr LONGLONG kGoodsPrice = 455000;  // 45.50 in the currency type's ten-thousandths
constexpr long kNoSuchGoods = 52;         // the register's own error for an unknown article

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        char text[128];
        std::snprintf(text, sizeof text, "%s: HRESULT %08lX", what, static_cast<unsigned long>(hr));
        throw std::runtime_error(text);
    }
}

// Late binding to the driver by member names, as a script host does it.
class LateBound {
  public:
    explicit LateBound(IDispatch* object) : object_(object) {}

    void Put(const wchar_t* name, VARIANT value) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        Check(object_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                              nullptr, nullptr),
              "property put");
    }
    void Put(const wchar_t* name, long value) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = value;
        Put(name, v);
    }
    long Long(const wchar_t* name, WORD flags = DISPATCH_PROPERTYGET | DISPATCH_METHOD) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        VARIANT result;
        ::VariantInit(&result);
        Check(
            object_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, flags, &none, &result, nullptr, nullptr),
            "invoke");
        Check(::VariantChangeType(&result, &result, 0, VT_I4), "result type");
        return result.lVal;
    }
    long Call(const wchar_t* method) { return Long(method, DISPATCH_METHOD); }

  private:
    DISPID Id(const wchar_t* name) {
        auto* names = const_cast<LPOLESTR>(name);
        DISPID id = 0;
        Check(object_->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), "GetIDsOfNames");
        return id;
    }

    IDispatch* object_;
};

// The IDriverEvents sink: Command(CommandID), DISPID 1, answered on the spot.
class CommandSink : public IDispatch {
  public:
    explicit CommandSink(LateBound& driver) : driver_(driver) {}

    int Answered() const { return answered_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_IDriverEvents) {
            *out = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of main, longer than the connection.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (id != TesselDispIdCommandEvent || params == nullptr || params->cArgs != 1)
            return DISP_E_MEMBERNOTFOUND;
        VARIANT number;
        ::VariantInit(&number);
        if (FAILED(::VariantChangeType(&number, &params->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        try {
            Answer(number.lVal);
        } catch (const std::exception& e) {
            std::printf("ERROR %s\n", e.what());
        }
        std::fflush(stdout);
        return S_OK;
    }

  private:
    void Answer(long commandId) {
        driver_.Put(L"CommandID", commandId);
        if (driver_.Call(L"GetCommandParams") != 0) return;
        const long type = driver_.Long(L"CommandType");
        const long opcode = driver_.Long(L"CommandCode");
        std::printf("COMMAND %ld %02lXh type %ld\n", commandId, opcode, type);
        if (type == 0 && opcode == 0x81) {
            const long code = driver_.Long(L"Code");
            const long result = code == kArticleCode ? 0 : kNoSuchGoods;
            // The answer goes back to the register that asked, from this computer's address.
            const long registerAddress = driver_.Long(L"CommandSrcAddress");
            driver_.Put(L"CommandType", 1);
            driver_.Put(L"CommandDstAddress", registerAddress);
            driver_.Put(L"CommandSrcAddress", driver_.Long(L"SrcAddress"));
            driver_.Put(L"CommandResultCode", result);
            if (result == 0) {
                VARIANT text;
                text.vt = VT_BSTR;
                text.bstrVal = ::SysAllocString(kGoodsName);
                driver_.Put(L"Text", text);
                ::SysFreeString(text.bstrVal);
                VARIANT price;
                price.vt = VT_CY;
                price.cyVal.int64 = kGoodsPrice;
                driver_.Put(L"Price", price);
                driver_.Put(L"Section", 1);
                driver_.Put(L"Tax1", 1);
            }
            std::printf("ANSWERED %ld code %ld result %ld send %ld\n", commandId, code, result,
                        driver_.Call(L"SendCommand"));
            ++answered_;
        }
        driver_.Put(L"CommandID", commandId);
        driver_.Call(L"DeleteCommand");
    }

    LateBound& driver_;
    int answered_ = 0;
};

// What an early-binding client (.NET, Delphi, VB6) reads first: the object's type information and the
// registered type library that contains it. Prints "TYPELIB <name> <major>.<minor> <interface>".
void ReportTypeLibrary(IDispatch* object) {
    ITypeInfo* info = nullptr;
    Check(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), "GetTypeInfo");
    ITypeLib* library = nullptr;
    UINT index = 0;
    const HRESULT contained = info->GetContainingTypeLib(&library, &index);
    BSTR interfaceName = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &interfaceName, nullptr, nullptr, nullptr);
    info->Release();
    Check(contained, "GetContainingTypeLib");
    BSTR libraryName = nullptr;
    library->GetDocumentation(-1, &libraryName, nullptr, nullptr, nullptr);
    TLIBATTR* attributes = nullptr;
    Check(library->GetLibAttr(&attributes), "GetLibAttr");
    std::printf("TYPELIB %ls %u.%u %ls\n", libraryName, attributes->wMajorVerNum, attributes->wMinorVerNum,
                interfaceName);
    library->ReleaseTLibAttr(attributes);
    library->Release();
    ::SysFreeString(libraryName);
    ::SysFreeString(interfaceName);
}

int Run(int port, int count, DWORD seconds) {
    CLSID clsid{};
    Check(::CLSIDFromProgID(L"Addin.TesselDriver", &clsid), "CLSIDFromProgID");
    IDispatch* object = nullptr;
    Check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&object)),
          "CoCreateInstance");
    LateBound driver(object);
    CommandSink sink(driver);
    ReportTypeLibrary(object);

    IConnectionPointContainer* container = nullptr;
    Check(object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)),
          "IConnectionPointContainer");
    IConnectionPoint* point = nullptr;
    Check(container->FindConnectionPoint(DIID_IDriverEvents, &point), "FindConnectionPoint");
    DWORD cookie = 0;
    Check(point->Advise(&sink, &cookie), "Advise");

    driver.Put(L"PortNumber", port);
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    driver.Put(L"DeviceEnabled", on);
    const long opened = driver.Long(L"ResultCode");
    if (opened == 0) {
        std::puts("READY");
    } else {
        std::printf("PORT %ld\n", opened);
    }
    std::fflush(stdout);

    // The events come as window messages to the thread that created the object, while it pumps.
    const ULONGLONG deadline = ::GetTickCount64() + seconds * 1000ULL;
    while (opened == 0 && sink.Answered() < count) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    std::printf("DONE %d\n", sink.Answered());

    point->Unadvise(cookie);
    point->Release();
    container->Release();
    object->Release();
    return opened == 0 && sink.Answered() == count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: EventClient PORT COUNT SECONDS\n", stderr);
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int status = 1;
    try {
        status = Run(std::atoi(argv[1]), std::atoi(argv[2]), static_cast<DWORD>(std::atoi(argv[3])));
    } catch (const std::exception& e) {
        std::printf("ERROR %s\n", e.what());
    }
    std::fflush(stdout);
    ::CoUninitialize();
    return status;
}
