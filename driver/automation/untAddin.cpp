#include "driver/automation/untAddin.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "common/com/ComText.h"
#include "common/platform/CodePage.h"

TAddinItem::TAddinItem(TAddinItems& owner, DISPID dispId, std::string name, std::string alias)
    : DispID(dispId), Name(std::move(name)), Alias(std::move(alias)), owner_(&owner) {}

TAddinItem& TAddinItems::Add(DISPID dispId, std::string name, std::string alias) {
    items_.push_back(std::make_unique<TAddinItem>(*this, dispId, std::move(name), std::move(alias)));
    return *items_.back();
}

TAddinItem* TAddinItems::Get(LONG index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) return nullptr;
    return items_[static_cast<std::size_t>(index)].get();
}

LONG TAddinItems::FindByName(std::string_view name) const {
    // The host numbers members with a LONG; a list longer than that is never built.
    const std::size_t count = std::min<std::size_t>(items_.size(), std::numeric_limits<LONG>::max());
    for (std::size_t i = 0; i < count; ++i) {
        const TAddinItem& item = *items_[i];
        if (tessel::SameTextNoCase(name, item.Name) || tessel::SameTextNoCase(name, item.Alias))
            return static_cast<LONG>(i);
    }
    return -1;
}

TAddinItem* TAddinItems::FindLastByDispID(DISPID dispId) const {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it)
        if ((*it)->DispID == dispId) return it->get();
    return nullptr;
}

namespace {

// Returns a description to the type information it came from, whatever way the walk ends.
class TTypeAttrHolder {
  public:
    explicit TTypeAttrHolder(ITypeInfo& info) : info_(info) {}
    ~TTypeAttrHolder() {
        if (attr_ != nullptr) info_.ReleaseTypeAttr(attr_);
    }
    TTypeAttrHolder(const TTypeAttrHolder&) = delete;
    TTypeAttrHolder& operator=(const TTypeAttrHolder&) = delete;
    TYPEATTR** Put() { return &attr_; }
    const TYPEATTR* Get() const { return attr_; }

  private:
    ITypeInfo& info_;
    TYPEATTR* attr_ = nullptr;
};

class TFuncDescHolder {
  public:
    explicit TFuncDescHolder(ITypeInfo& info) : info_(info) {}
    ~TFuncDescHolder() {
        if (desc_ != nullptr) info_.ReleaseFuncDesc(desc_);
    }
    TFuncDescHolder(const TFuncDescHolder&) = delete;
    TFuncDescHolder& operator=(const TFuncDescHolder&) = delete;
    FUNCDESC** Put() { return &desc_; }
    const FUNCDESC* Get() const { return desc_; }

  private:
    ITypeInfo& info_;
    FUNCDESC* desc_ = nullptr;
};

// The type of a getter's value. A dispatch description gives it as the function's own type; a vtable
// description returns HRESULT and passes the value through its last [out, retval] pointer parameter.
VARTYPE ValueType(const FUNCDESC& desc) {
    const VARTYPE own = desc.elemdescFunc.tdesc.vt;
    if (own != VT_HRESULT || desc.cParams <= 0 || desc.lprgelemdescParam == nullptr) return own;
    const ELEMDESC& last = desc.lprgelemdescParam[desc.cParams - 1];
    if ((last.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) == 0) return own;
    if (last.tdesc.vt == VT_PTR && last.tdesc.lptdesc != nullptr) return last.tdesc.lptdesc->vt;
    return last.tdesc.vt;
}

// Enters one function description into the lists.
HRESULT AddFunction(ITypeInfo& typeInfo, const FUNCDESC& desc, TAddinItems& props, TAddinItems& methods) {
    if ((desc.wFuncFlags & FUNCFLAG_FRESTRICTED) != 0) return S_OK;
    BSTR rawName = nullptr;
    BSTR rawHelp = nullptr;
    const HRESULT hr = typeInfo.GetDocumentation(desc.memid, &rawName, &rawHelp, nullptr, nullptr);
    const tessel::UniqueBstr name(rawName);
    const tessel::UniqueBstr help(rawHelp);
    if (FAILED(hr)) return hr;

    switch (desc.invkind) {
        case INVOKE_FUNC:
            methods.Add(desc.memid, tessel::BstrToUtf8(name.get()), tessel::BstrToUtf8(help.get()));
            break;
        case INVOKE_PROPERTYGET: {
            TAddinItem& item =
                props.Add(desc.memid, tessel::BstrToUtf8(name.get()), tessel::BstrToUtf8(help.get()));
            item.Readable = true;
            item.VarType = ValueType(desc);
            break;
        }
        case INVOKE_PROPERTYPUT:
        case INVOKE_PROPERTYPUTREF:
            // The getter comes first, so a setter completes the item its getter made.
            if (TAddinItem* item = props.FindLastByDispID(desc.memid)) item->Writable = true;
            break;
    }
    return S_OK;
}

}  // namespace

HRESULT BuildAddinItems(ITypeInfo& typeInfo, TAddinItems& props, TAddinItems& methods) {
    try {
        props.Clear();
        methods.Clear();
        TTypeAttrHolder attr(typeInfo);
        HRESULT hr = typeInfo.GetTypeAttr(attr.Put());
        if (FAILED(hr)) return hr;
        if (attr.Get() == nullptr) return E_POINTER;
        const UINT count = attr.Get()->cFuncs;
        for (UINT i = 0; i < count; ++i) {
            TFuncDescHolder desc(typeInfo);
            hr = typeInfo.GetFuncDesc(i, desc.Put());
            if (FAILED(hr)) return hr;
            if (desc.Get() == nullptr) return E_POINTER;
            hr = AddFunction(typeInfo, *desc.Get(), props, methods);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}
