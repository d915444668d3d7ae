#include "driver/automation/oleAddin.h"

#include <new>
#include <stdexcept>
#include <string>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "driver/automation/untTypeInfo.h"

namespace {

// The name under which the host registers the component's object.
constexpr std::string_view kExtensionName = "TesselDriver";

// A text for an out-parameter; E_OUTOFMEMORY when it cannot be made.
HRESULT PutText(std::string_view text, BSTR* out) {
    try {
        *out = tessel::Utf8ToBstr(text).release();
        return S_OK;
    } catch (const std::bad_alloc&) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}

// The host's configurations compare with 1 and do arithmetic on currency: a boolean becomes the integer
// 1 or 0 (not -1), a currency a double.
void ToHostValue(VARIANT& value) {
    if (value.vt == VT_BOOL) {
        const bool on = value.boolVal != VARIANT_FALSE;
        value.vt = VT_I4;
        value.lVal = on ? 1 : 0;
    } else if (value.vt == VT_CY) {
        const double number = static_cast<double>(value.cyVal.int64) / 10000.0;
        value.vt = VT_R8;
        value.dblVal = number;
    }
}

}  // namespace

ToleAddin::ToleAddin() : ToleAddin(TDeferEvents{}) {
    ListenToCommands();
}

ToleAddin::ToleAddin(TDeferEvents)
    : TTesselDrv(TDeferEvents{}),
      props_(std::make_unique<TAddinItems>()),
      methods_(std::make_unique<TAddinItems>()) {
    // The member lists' own description, whatever the object reports: a type library's help strings are
    // 8-bit text that Windows reads in the system's code page, and the host finds members by them.
    tessel::ComPtr<ITypeInfo> info;
    HRESULT hr = GetTesselTypeInfo(info.Put());
    if (SUCCEEDED(hr) && !info) hr = E_POINTER;
    if (SUCCEEDED(hr)) hr = BuildAddinItems(*info.Get(), *props_, *methods_);
    if (FAILED(hr))
        throw std::runtime_error("Не удалось прочитать описание членов объекта: код " + std::to_string(hr));
}

ToleAddin::~ToleAddin() = default;

STDMETHODIMP ToleAddin::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_ILanguageExtender) {
        *ppv = static_cast<ILanguageExtender*>(this);
        AddRef();
        return S_OK;
    }
    return TTesselDrv::QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) ToleAddin::AddRef() {
    return TTesselDrv::AddRef();
}

STDMETHODIMP_(ULONG) ToleAddin::Release() {
    return TTesselDrv::Release();
}

STDMETHODIMP ToleAddin::RegisterExtensionAs(BSTR* bstrExtensionName) {
    if (bstrExtensionName == nullptr) return E_POINTER;
    return PutText(kExtensionName, bstrExtensionName);
}

STDMETHODIMP ToleAddin::GetNProps(LONG* plProps) {
    if (plProps == nullptr) return E_POINTER;
    *plProps = static_cast<LONG>(props_->Count());
    return S_OK;
}

STDMETHODIMP ToleAddin::FindProp(BSTR bstrPropName, LONG* plPropNum) {
    return FindItem(*props_, bstrPropName, plPropNum);
}

STDMETHODIMP ToleAddin::GetPropName(LONG lPropNum, LONG lPropAlias, BSTR* pbstrPropName) {
    return ItemName(*props_, lPropNum, lPropAlias, pbstrPropName);
}

STDMETHODIMP ToleAddin::GetPropVal(LONG lPropNum, VARIANT* pvarPropVal) {
    const TAddinItem* item = props_->Get(lPropNum);
    if (item == nullptr) return S_FALSE;
    if (pvarPropVal == nullptr) return E_POINTER;
    VariantClear(pvarPropVal);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const HRESULT hr = InvokeSelf(item->DispID, DISPATCH_PROPERTYGET, none, pvarPropVal);
    if (SUCCEEDED(hr)) ToHostValue(*pvarPropVal);
    return hr;
}

STDMETHODIMP ToleAddin::SetPropVal(LONG lPropNum, VARIANT* varPropVal) {
    const TAddinItem* item = props_->Get(lPropNum);
    if (item == nullptr) return S_FALSE;
    if (varPropVal == nullptr) return E_POINTER;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{varPropVal, &named, 1, 1};
    return InvokeSelf(item->DispID, DISPATCH_PROPERTYPUT, params, nullptr);
}

STDMETHODIMP ToleAddin::IsPropReadable(LONG lPropNum, BOOL* pboolPropRead) {
    if (pboolPropRead == nullptr) return E_POINTER;
    const TAddinItem* item = props_->Get(lPropNum);
    *pboolPropRead = item != nullptr && item->Readable ? TRUE : FALSE;
    return item != nullptr ? S_OK : S_FALSE;
}

STDMETHODIMP ToleAddin::IsPropWritable(LONG lPropNum, BOOL* pboolPropWrite) {
    if (pboolPropWrite == nullptr) return E_POINTER;
    const TAddinItem* item = props_->Get(lPropNum);
    *pboolPropWrite = item != nullptr && item->Writable ? TRUE : FALSE;
    return item != nullptr ? S_OK : S_FALSE;
}

STDMETHODIMP ToleAddin::GetNMethods(LONG* plMethods) {
    if (plMethods == nullptr) return E_POINTER;
    *plMethods = static_cast<LONG>(methods_->Count());
    return S_OK;
}

STDMETHODIMP ToleAddin::FindMethod(BSTR bstrMethodName, LONG* plMethodNum) {
    return FindItem(*methods_, bstrMethodName, plMethodNum);
}

STDMETHODIMP ToleAddin::GetMethodName(LONG lMethodNum, LONG lMethodAlias, BSTR* pbstrMethodName) {
    return ItemName(*methods_, lMethodNum, lMethodAlias, pbstrMethodName);
}

STDMETHODIMP ToleAddin::GetNParams(LONG lMethodNum, LONG* plParams) {
    if (plParams == nullptr) return E_POINTER;
    *plParams = 0;
    return methods_->Get(lMethodNum) != nullptr ? S_OK : S_FALSE;
}

STDMETHODIMP ToleAddin::GetParamDefValue(LONG, LONG, VARIANT* pvarParamDefValue) {
    if (pvarParamDefValue == nullptr) return E_POINTER;
    VariantClear(pvarParamDefValue);
    return S_OK;
}

STDMETHODIMP ToleAddin::HasRetVal(LONG, BOOL* pboolRetValue) {
    if (pboolRetValue == nullptr) return E_POINTER;
    *pboolRetValue = TRUE;
    return S_OK;
}

STDMETHODIMP ToleAddin::CallAsProc(LONG lMethodNum, SAFEARRAY**) {
    const TAddinItem* item = methods_->Get(lMethodNum);
    if (item == nullptr) return S_FALSE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return InvokeSelf(item->DispID, DISPATCH_METHOD, none, nullptr);
}

STDMETHODIMP ToleAddin::CallAsFunc(LONG lMethodNum, VARIANT* pvarRetValue, SAFEARRAY**) {
    const TAddinItem* item = methods_->Get(lMethodNum);
    if (item == nullptr) return S_FALSE;
    if (pvarRetValue == nullptr) return E_POINTER;
    VariantClear(pvarRetValue);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return InvokeSelf(item->DispID, DISPATCH_METHOD, none, pvarRetValue);
}

HRESULT ToleAddin::ItemName(const TAddinItems& items, LONG index, LONG alias, BSTR* name) {
    if (name == nullptr) return E_POINTER;
    const TAddinItem* item = items.Get(index);
    if (item == nullptr) {
        const HRESULT hr = PutText({}, name);
        return FAILED(hr) ? hr : S_FALSE;
    }
    return PutText(alias != 0 ? item->Alias : item->Name, name);
}

HRESULT ToleAddin::FindItem(const TAddinItems& items, BSTR name, LONG* index) {
    if (index == nullptr) return E_POINTER;
    try {
        *index = items.FindByName(tessel::BstrToUtf8(name));
    } catch (const std::bad_alloc&) {
        *index = -1;
        return E_OUTOFMEMORY;
    }
    return *index >= 0 ? S_OK : S_FALSE;
}

HRESULT ToleAddin::InvokeSelf(DISPID dispId, WORD flags, DISPPARAMS& params, VARIANT* result) {
    // The object stays alive for the call even if the member releases what the host holds.
    tessel::ComPtr<ILanguageExtender> self(this);
    return Invoke(dispId, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}
