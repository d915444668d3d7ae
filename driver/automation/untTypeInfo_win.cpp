// On Windows the object reports the description of ITesselDriver3 from the type library embedded in the
// driver library, loaded once; it is the member lists' own description, compiled by widl.
#include <mutex>

#include "common/platform/Module.h"
#include "common/platform/Win32Support.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/untTypeInfo.h"

namespace {

// Kept for the life of the process, as the system keeps a loaded type library.
ITypeInfo* LibraryTypeInfo() {
    static ITypeInfo* const info = [] {
        ITypeInfo* found = nullptr;
        try {
            const std::wstring path =
                tessel::win::Widen(tessel::ModulePathOf(reinterpret_cast<const void*>(&GetDispatchTypeInfo)));
            ITypeLib* library = nullptr;
            if (SUCCEEDED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library)) && library != nullptr) {
                if (FAILED(library->GetTypeInfoOfGuid(IID_ITesselDriver3, &found))) found = nullptr;
                library->Release();
            }
        } catch (const std::exception&) {
            found = nullptr;
        }
        return found;
    }();
    return info;
}

}  // namespace

HRESULT GetDispatchTypeInfo(ITypeInfo** out) {
    if (out == nullptr) return E_POINTER;
    if (ITypeInfo* info = LibraryTypeInfo()) {
        info->AddRef();
        *out = info;
        return S_OK;
    }
    // A library built without its type library still describes itself.
    return GetTesselTypeInfo(out);
}
