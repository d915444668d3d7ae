#include "driver/automation/untTypeInfo.h"

#include <vector>

#include "common/com/ComText.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/untDispatch.h"

namespace {

// The descriptions are built once and handed out as they are; ReleaseFuncDesc has nothing to free.
struct TDescriptions {
    TYPEATTR attr{};
    std::vector<FUNCDESC> funcs;
    std::vector<ELEMDESC> putParams;  // one per setter, referenced by its description
    std::vector<const TTesselMember*> members;

    TDescriptions() {
        std::size_t setters = 0;
        for (const TTesselMember& m : TesselMembers) setters += m.HasSetter() ? 1 : 0;
        putParams.reserve(setters);  // no reallocation: descriptions point into it
        for (const TTesselMember& m : TesselMembers) {
            FUNCDESC f{};
            f.memid = m.dispId;
            f.funckind = FUNC_DISPATCH;
            f.callconv = CC_STDCALL;
            f.elemdescFunc.tdesc.vt = m.type == TMemberType::None ? VARTYPE{VT_VOID} : TesselVarType(m.type);
            f.invkind = m.kind == TMemberKind::Method ? INVOKE_FUNC : INVOKE_PROPERTYGET;
            funcs.push_back(f);
            members.push_back(&m);
            if (m.HasSetter()) {
                ELEMDESC& param = putParams.emplace_back();
                param.tdesc.vt = TesselVarType(m.type);
                param.paramdesc.wParamFlags = PARAMFLAG_FIN;
                FUNCDESC put = f;
                put.invkind = INVOKE_PROPERTYPUT;
                put.cParams = 1;
                put.lprgelemdescParam = &param;
                put.elemdescFunc.tdesc.vt = VT_VOID;
                funcs.push_back(put);
                members.push_back(&m);
            }
        }
        attr.guid = IID_ITesselDriver3;
        attr.lcid = 0;
        attr.memidConstructor = MEMBERID_NIL;
        attr.memidDestructor = MEMBERID_NIL;
        attr.typekind = TKIND_DISPATCH;
        attr.cFuncs = static_cast<WORD>(funcs.size());
        attr.cImplTypes = 1;
        attr.cbSizeVft = static_cast<WORD>(TesselBaseSlotCount * sizeof(void*));
        attr.cbAlignment = alignof(void*);
        attr.wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
        attr.wMajorVerNum = TesselDrvMajorVersion;
        attr.wMinorVerNum = TesselDrvMinorVersion;
    }
};

const TDescriptions& Descriptions() {
    static const TDescriptions descriptions;
    return descriptions;
}

HRESULT PutText(BSTR* out, std::string_view text) {
    if (out == nullptr) return S_OK;
    try {
        *out = tessel::Utf8ToBstr(text).release();
        return S_OK;
    } catch (const std::bad_alloc&) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}

class TTesselTypeInfo final : public ITypeInfo {
  public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeInfo)) {
            *ppv = static_cast<ITypeInfo*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // One object for the process: references are not counted.
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }

    STDMETHOD(GetTypeAttr)(TYPEATTR** ppTypeAttr) override {
        if (ppTypeAttr == nullptr) return E_POINTER;
        *ppTypeAttr = const_cast<TYPEATTR*>(&Descriptions().attr);
        return S_OK;
    }
    STDMETHOD(GetTypeComp)(ITypeComp** ppTComp) override {
        if (ppTComp != nullptr) *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** ppFuncDesc) override {
        if (ppFuncDesc == nullptr) return E_POINTER;
        const auto& funcs = Descriptions().funcs;
        if (index >= funcs.size()) {
            *ppFuncDesc = nullptr;
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *ppFuncDesc = const_cast<FUNCDESC*>(&funcs[index]);
        return S_OK;
    }
    STDMETHOD(GetVarDesc)(UINT, VARDESC** ppVarDesc) override {
        if (ppVarDesc != nullptr) *ppVarDesc = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHOD(GetNames)(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override {
        if (rgBstrNames == nullptr || pcNames == nullptr) return E_POINTER;
        *pcNames = 0;
        const TTesselMember* member = FindTesselMemberByDispId(memid);
        if (member == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        if (cMaxNames == 0) return S_OK;
        if (HRESULT hr = PutText(&rgBstrNames[0], member->name); FAILED(hr)) return hr;
        *pcNames = 1;
        // A setter's value is its only named parameter.
        if (member->HasSetter() && cMaxNames > 1) {
            if (HRESULT hr = PutText(&rgBstrNames[1], "Value"); FAILED(hr)) return hr;
            *pcNames = 2;
        }
        return S_OK;
    }
    STDMETHOD(GetRefTypeOfImplType)(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    STDMETHOD(GetImplTypeFlags)(UINT, INT*) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override {
        return TesselGetIDsOfNames(IID_NULL, rgszNames, cNames, pMemId);
    }
    STDMETHOD(Invoke)
    (PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
     UINT* puArgErr) override {
        if (pvInstance == nullptr) return E_INVALIDARG;
        TSlotCalls slots(*static_cast<ITesselDriver3*>(pvInstance));
        return TesselInvoke(slots, memid, IID_NULL, wFlags, pDispParams, pVarResult, puArgErr);
    }
    STDMETHOD(GetDocumentation)
    (MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
     BSTR* pBstrHelpFile) override {
        std::string_view name;
        std::string_view doc;
        if (memid == MEMBERID_NIL) {
            name = "ITesselDriver3";
            doc = TesselDrvHelpString;
        } else if (const TTesselMember* member = FindTesselMemberByDispId(memid)) {
            name = member->name;
            doc = member->name1C;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (pdwHelpContext != nullptr) *pdwHelpContext = 0;
        if (pBstrHelpFile != nullptr) *pBstrHelpFile = nullptr;
        if (HRESULT hr = PutText(pBstrName, name); FAILED(hr)) return hr;
        if (HRESULT hr = PutText(pBstrDocString, doc); FAILED(hr)) {
            if (pBstrName != nullptr) SysFreeString(*pBstrName);
            return hr;
        }
        return S_OK;
    }
    STDMETHOD(GetDllEntry)(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHOD(GetRefTypeInfo)(HREFTYPE, ITypeInfo** ppTInfo) override {
        if (ppTInfo != nullptr) *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(AddressOfMember)(MEMBERID, INVOKEKIND, PVOID* ppv) override {
        if (ppv != nullptr) *ppv = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHOD(CreateInstance)(IUnknown*, REFIID, PVOID* ppvObj) override {
        if (ppvObj != nullptr) *ppvObj = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(GetMops)(MEMBERID, BSTR* pBstrMops) override {
        if (pBstrMops != nullptr) *pBstrMops = nullptr;
        return S_OK;
    }
    STDMETHOD(GetContainingTypeLib)(ITypeLib** ppTLib, UINT* pIndex) override {
        if (ppTLib != nullptr) *ppTLib = nullptr;
        if (pIndex != nullptr) *pIndex = 0;
        return E_NOTIMPL;
    }
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR*) override {}
    STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC*) override {}
    STDMETHOD_(void, ReleaseVarDesc)(VARDESC*) override {}
};

}  // namespace

HRESULT GetTesselTypeInfo(ITypeInfo** out) {
    if (out == nullptr) return E_POINTER;
    static TTesselTypeInfo info;
    *out = &info;
    return S_OK;
}
