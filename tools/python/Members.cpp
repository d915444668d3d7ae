#include "tools/python/Members.h"

#include <algorithm>
#include <set>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "driver/automation/TesselDrv_TLB.h"

namespace tessel::python {

namespace {

// Interfaces continue one another; a description that loops is cut off here.
constexpr int kMaxDepth = 16;

// The driver's properties that hold bytes, one character per byte, rather than text.
constexpr DISPID kDriverByteStrings[] = {TesselDispId::CommandCadr, TesselDispId::CommandData,
                                         TesselDispId::DataBlock, TesselDispId::RawData};

bool IsDriverInterface(const GUID& guid) {
    return guid == IID_ITesselDriver || guid == IID_ITesselDriver2 || guid == IID_ITesselDriver3;
}

// Letters (any script), digits and underscores, not starting with a digit: what Python takes as a name.
bool LooksLikeName(const std::string& text) {
    if (text.empty() || (text[0] >= '0' && text[0] <= '9')) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
               (c >= 'a' && c <= 'z');
    });
}

// The type of what a getter or method yields: a dispatch description gives it as the function's own type, a
// vtable description through its last [out, retval] parameter.
VARTYPE ValueType(const FUNCDESC& desc) {
    const VARTYPE own = desc.elemdescFunc.tdesc.vt;
    if (own != VT_HRESULT) return own;
    for (SHORT i = 0; desc.lprgelemdescParam != nullptr && i < desc.cParams; ++i) {
        const ELEMDESC& param = desc.lprgelemdescParam[i];
        if ((param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) == 0) continue;
        if (param.tdesc.vt == VT_PTR && param.tdesc.lptdesc != nullptr) return param.tdesc.lptdesc->vt;
        return param.tdesc.vt;
    }
    return VT_EMPTY;
}

// The type attributes the type information lends, given back when the holder goes.
class LentAttr {
  public:
    explicit LentAttr(ITypeInfo& info) : info_(info) {
        if (FAILED(info_.GetTypeAttr(&attr_))) attr_ = nullptr;
    }
    ~LentAttr() {
        if (attr_ != nullptr) info_.ReleaseTypeAttr(attr_);
    }
    LentAttr(const LentAttr&) = delete;
    LentAttr& operator=(const LentAttr&) = delete;
    const TYPEATTR* Get() const { return attr_; }

  private:
    ITypeInfo& info_;
    TYPEATTR* attr_ = nullptr;
};

// One function description, likewise.
class LentFunc {
  public:
    LentFunc(ITypeInfo& info, UINT index) : info_(info) {
        if (FAILED(info_.GetFuncDesc(index, &desc_))) desc_ = nullptr;
    }
    ~LentFunc() {
        if (desc_ != nullptr) info_.ReleaseFuncDesc(desc_);
    }
    LentFunc(const LentFunc&) = delete;
    LentFunc& operator=(const LentFunc&) = delete;
    const FUNCDESC* Get() const { return desc_; }

  private:
    ITypeInfo& info_;
    FUNCDESC* desc_ = nullptr;
};

}  // namespace

std::shared_ptr<const MemberTable> MemberTable::Of(IDispatch& dispatch) {
    ComPtr<ITypeInfo> info;
    if (FAILED(dispatch.GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put())) || !info)
        return std::make_shared<const MemberTable>();
    const LentAttr attr(*info.Get());
    if (attr.Get() == nullptr) return std::make_shared<const MemberTable>();
    // Only threads that hold the interpreter lock come here, so the cache needs no lock of its own.
    static std::map<std::string, std::shared_ptr<const MemberTable>> cache;
    const std::string key = GuidToString(attr.Get()->guid);
    if (const auto found = cache.find(key); found != cache.end()) return found->second;
    auto table = std::make_shared<MemberTable>();
    table->Walk(*info.Get(), 0);
    cache.emplace(key, table);
    return table;
}

const Member* MemberTable::Find(DISPID id) const {
    const auto found = members_.find(id);
    return found == members_.end() ? nullptr : &found->second;
}

std::vector<std::string> MemberTable::Names() const {
    std::set<std::string> names;
    for (const auto& [id, member] : members_) {
        names.insert(member.name);
        if (LooksLikeName(member.alias)) names.insert(member.alias);
    }
    return {names.begin(), names.end()};
}

void MemberTable::Walk(ITypeInfo& info, int depth) {
    if (depth > kMaxDepth) return;
    const LentAttr attr(info);
    if (attr.Get() == nullptr || attr.Get()->guid == IID_IDispatch || attr.Get()->guid == IID_IUnknown)
        return;
    if (IsDriverInterface(attr.Get()->guid)) driver_ = true;
    for (UINT i = 0; i < attr.Get()->cImplTypes; ++i) {
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> base;
        if (SUCCEEDED(info.GetRefTypeOfImplType(i, &ref)) &&
            SUCCEEDED(info.GetRefTypeInfo(ref, base.Put())) && base) {
            Walk(*base.Get(), depth + 1);
        }
    }
    for (UINT i = 0; i < attr.Get()->cFuncs; ++i) {
        const LentFunc desc(info, i);
        if (desc.Get() != nullptr && (desc.Get()->wFuncFlags & FUNCFLAG_FRESTRICTED) == 0)
            Add(info, *desc.Get());
    }
    if (!driver_) return;
    for (const DISPID id : kDriverByteStrings)
        if (const auto found = members_.find(id); found != members_.end()) found->second.bytes = true;
}

void MemberTable::Add(ITypeInfo& info, const FUNCDESC& desc) {
    Member& member = members_[desc.memid];
    if (member.name.empty()) {
        BSTR name = nullptr;
        BSTR help = nullptr;
        const HRESULT hr = info.GetDocumentation(desc.memid, &name, &help, nullptr, nullptr);
        const UniqueBstr ownName(name), ownHelp(help);
        if (FAILED(hr)) {
            members_.erase(desc.memid);
            return;
        }
        member.id = desc.memid;
        member.name = BstrToUtf8(name);
        member.alias = BstrToUtf8(help);
    }
    switch (desc.invkind) {
        case INVOKE_FUNC:
            member.method = true;
            member.type = ValueType(desc);
            break;
        case INVOKE_PROPERTYGET:
            member.readable = true;
            member.type = ValueType(desc);
            break;
        case INVOKE_PROPERTYPUT:
        case INVOKE_PROPERTYPUTREF:
            member.writable = true;
            break;
    }
}

}  // namespace tessel::python
