#include "tools/tessel/MemberList.h"

#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "tools/tessel/DispatchDriver.h"
#include "tools/tessel/ValueText.h"

namespace tessel::cli {

namespace {

// Interfaces continue one another; a type library that loops is cut off here.
constexpr int kMaxDepth = 16;
constexpr std::size_t kNameWidth = 28;
constexpr std::size_t kName1CWidth = 30;
constexpr std::size_t kKindWidth = 6;

class TypeAttr {
  public:
    explicit TypeAttr(ITypeInfo& info) : info_(info) {
        const HRESULT hr = info_.GetTypeAttr(&attr_);
        if (FAILED(hr) || attr_ == nullptr)
            throw std::runtime_error("GetTypeAttr failed: " + HResultText(hr));
    }
    ~TypeAttr() { info_.ReleaseTypeAttr(attr_); }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    const TYPEATTR* operator->() const { return attr_; }

  private:
    ITypeInfo& info_;
    TYPEATTR* attr_ = nullptr;
};

class FuncDesc {
  public:
    FuncDesc(ITypeInfo& info, UINT index) : info_(info) {
        const HRESULT hr = info_.GetFuncDesc(index, &desc_);
        if (FAILED(hr) || desc_ == nullptr)
            throw std::runtime_error("GetFuncDesc failed: " + HResultText(hr));
    }
    ~FuncDesc() { info_.ReleaseFuncDesc(desc_); }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    const FUNCDESC* operator->() const { return desc_; }
    const FUNCDESC& operator*() const { return *desc_; }

  private:
    ITypeInfo& info_;
    FUNCDESC* desc_ = nullptr;
};

VARTYPE Pointee(const TYPEDESC& t) {
    return t.vt == VT_PTR && t.lptdesc != nullptr ? t.lptdesc->vt : t.vt;
}

// The value's type: what a getter or method yields, or what a setter takes. Dual interfaces return HRESULT
// and yield through their [out, retval] parameter; dispatch descriptions return the value itself.
VARTYPE ValueType(const FUNCDESC& f) {
    const bool put = (f.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
    if (put) {
        if (f.cParams <= 0 || f.lprgelemdescParam == nullptr) return VT_EMPTY;
        return Pointee(f.lprgelemdescParam[f.cParams - 1].tdesc);
    }
    if (f.elemdescFunc.tdesc.vt != VT_HRESULT) return f.elemdescFunc.tdesc.vt;
    for (SHORT i = 0; f.lprgelemdescParam != nullptr && i < f.cParams; ++i) {
        const ELEMDESC& p = f.lprgelemdescParam[i];
        if ((p.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0) return Pointee(p.tdesc);
    }
    return VT_EMPTY;
}

std::string TypeName(VARTYPE vt) {
    switch (vt) {
        case VT_I4:
            return "long";
        case VT_BSTR:
            return "string";
        case VT_R8:
            return "double";
        case VT_CY:
            return "currency";
        case VT_BOOL:
            return "boolean";
        case VT_DATE:
            return "date";
        case VT_EMPTY:
        case VT_VOID:
            return "-";
        default:
            return "vt" + std::to_string(vt);
    }
}

std::string KindName(INVOKEKIND kind) {
    switch (kind) {
        case INVOKE_PROPERTYGET:
            return "get";
        case INVOKE_PROPERTYPUT:
        case INVOKE_PROPERTYPUTREF:
            return "put";
        case INVOKE_FUNC:
            break;
    }
    return "method";
}

class Walker {
  public:
    explicit Walker(std::ostream& out) : out_(out) {}

    void Walk(ITypeInfo& info, int depth) {
        if (depth > kMaxDepth) return;
        const TypeAttr attr(info);
        if (attr->guid == IID_IDispatch || attr->guid == IID_IUnknown) return;
        for (UINT i = 0; i < attr->cImplTypes; ++i) {
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> base;
            if (SUCCEEDED(info.GetRefTypeOfImplType(i, &ref)) &&
                SUCCEEDED(info.GetRefTypeInfo(ref, base.Put())) && base) {
                Walk(*base.Get(), depth + 1);
            }
        }
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            const FuncDesc f(info, i);
            if ((f->wFuncFlags & FUNCFLAG_FRESTRICTED) != 0) continue;
            if (!seen_.emplace(f->memid, f->invkind).second) continue;
            PrintLine(info, *f);
        }
    }

    std::size_t Lines() const { return seen_.size(); }

  private:
    void PrintLine(ITypeInfo& info, const FUNCDESC& f) {
        BSTR name = nullptr;
        BSTR doc = nullptr;
        BSTR helpFile = nullptr;
        DWORD helpContext = 0;
        const HRESULT hr = info.GetDocumentation(f.memid, &name, &doc, &helpContext, &helpFile);
        const UniqueBstr ownName(name), ownDoc(doc), ownHelpFile(helpFile);
        const std::string english = SUCCEEDED(hr) ? BstrToUtf8(name) : "?";
        const std::string russian =
            SUCCEEDED(hr) && doc != nullptr && SysStringLen(doc) > 0 ? BstrToUtf8(doc) : "-";
        char id[16];
        std::snprintf(id, sizeof id, "%5d", static_cast<int>(f.memid));
        out_ << id << "  " << PadRight(english, kNameWidth) << "  " << PadRight(russian, kName1CWidth) << "  "
             << PadRight(KindName(f.invkind), kKindWidth) << "  " << TypeName(ValueType(f)) << '\n';
    }

    std::ostream& out_;
    std::set<std::pair<MEMBERID, int>> seen_;
};

}  // namespace

std::size_t PrintMembers(IDispatch& driver, std::ostream& out) {
    ComPtr<ITypeInfo> info;
    const HRESULT hr = driver.GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put());
    if (FAILED(hr) || !info)
        throw std::runtime_error("the driver gives no type information (" + HResultText(hr) + ")");
    Walker walker(out);
    walker.Walk(*info.Get(), 0);
    out << std::flush;
    return walker.Lines();
}

}  // namespace tessel::cli
