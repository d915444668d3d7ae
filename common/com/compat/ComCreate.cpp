#include "common/com/ComCreate.h"

#include <cstring>

#include "common/com/ComText.h"
#include "common/platform/Registry.h"

namespace tessel {

namespace {

thread_local std::string g_lastError;

// The default value of an HKEY_CLASSES_ROOT key, or nothing when the key or value is missing.
std::optional<std::string> ReadClassesDefault(const std::string& key) {
    Registry reg(Hive::ClassesRoot);
    if (!reg.OpenKey(key, false)) return std::nullopt;
    if (reg.GetDataType("") != RegValueType::String) return std::nullopt;
    return reg.ReadString("");
}

// Registered paths may be quoted, as the system writes them for paths with blanks.
std::string Unquote(std::string path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') return path.substr(1, path.size() - 2);
    return path;
}

}  // namespace

std::string LastClassCreationError() {
    return g_lastError;
}

void SetClassCreationError(std::string text) {
    g_lastError = std::move(text);
}

}  // namespace tessel

using tessel::SetClassCreationError;

extern "C" {

HRESULT CoInitialize(LPVOID) {
    return S_OK;
}
HRESULT CoInitializeEx(LPVOID, DWORD) {
    return S_OK;
}
void CoUninitialize() {}

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
    if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
    std::size_t n = 0;
    while (progId[n] != 0) ++n;
    if (n == 0) return CO_E_CLASSSTRING;
    tessel::UniqueBstr name(SysAllocStringLen(progId, static_cast<UINT>(n)));
    if (!name) return E_OUTOFMEMORY;
    const std::string text = tessel::BstrToUtf8(name.get());
    // A ProgID is a key name: a backslash would walk into another key.
    if (text.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
    try {
        const auto value = tessel::ReadClassesDefault(text + "\\CLSID");
        if (!value) return CO_E_CLASSSTRING;
        const auto guid = tessel::GuidFromString(*value);
        if (!guid) return CO_E_CLASSSTRING;
        *clsid = *guid;
        return S_OK;
    } catch (const std::exception& e) {
        SetClassCreationError(e.what());
        return REGDB_E_READREGDB;
    }
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, LPVOID, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    SetClassCreationError({});
    const std::string key = "CLSID\\" + tessel::GuidToString(clsid) + "\\InProcServer32";
    if ((clsContext & CLSCTX_INPROC_SERVER) == 0) {
        SetClassCreationError("only in-process servers can be created");
        return REGDB_E_CLASSNOTREG;
    }
    std::optional<std::string> path;
    try {
        path = tessel::ReadClassesDefault(key);
    } catch (const std::exception& e) {
        SetClassCreationError(e.what());
        return REGDB_E_READREGDB;
    }
    if (!path || tessel::Unquote(*path).empty()) {
        SetClassCreationError("class not registered: HKEY_CLASSES_ROOT\\" + key);
        return REGDB_E_CLASSNOTREG;
    }
    bool missingExport = false;
    const LPFNGETCLASSOBJECT getClassObject = tessel::LoadInProcServer(tessel::Unquote(*path), missingExport);
    if (getClassObject == nullptr) return missingExport ? CO_E_ERRORINDLL : CO_E_DLLNOTFOUND;
    const HRESULT hr = getClassObject(clsid, riid, ppv);
    if (FAILED(hr)) {
        // A failing server must not leave a dangling pointer with the caller.
        *ppv = nullptr;
        SetClassCreationError("DllGetClassObject failed");
    }
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    void* raw = nullptr;
    HRESULT hr = CoGetClassObject(clsid, clsContext, nullptr, IID_IClassFactory, &raw);
    if (FAILED(hr)) return hr;
    if (raw == nullptr) return E_UNEXPECTED;
    auto* factory = static_cast<IClassFactory*>(raw);
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (text == nullptr) return E_INVALIDARG;
    *text = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
    if (*text == nullptr) return E_OUTOFMEMORY;
    StringFromGUID2(clsid, *text, 39);
    return S_OK;
}

}  // extern "C"
