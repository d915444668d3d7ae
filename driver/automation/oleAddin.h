#pragma once
// ToleAddin: the automation object as a 1C:Enterprise language extension. It serves ILanguageExtender next
// to the driver's own interfaces and adds no behaviour: every property and method the host reaches by
// number becomes a dispatch call on the object itself, so results and errors are exactly those of the
// automation interface (errors inside a member stay in ResultCode; the call itself succeeds).
//
// Members return S_OK unless said otherwise; S_FALSE (1) marks a name or index that is not in its list. A
// null out-parameter gives E_POINTER. No member throws.

#include "common/com/AddIn1C.h"
#include "driver/automation/oleMain.h"
#include "driver/automation/untAddin.h"

class ToleAddin : public TTesselDrv, public ILanguageExtender {
  public:
    // Creates the automation object, then lists its properties and methods from its own dispatch type
    // information. Throws what TTesselDrv throws, and std::runtime_error when the type information cannot
    // be read.
    ToleAddin();
    ~ToleAddin() override;
    // For derived classes; see TTesselDrv::TDeferEvents.
    explicit ToleAddin(TDeferEvents);

    // IUnknown: what TTesselDrv serves, and ILanguageExtender.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // ILanguageExtender.
    // "TesselDriver".
    STDMETHOD(RegisterExtensionAs)(BSTR* bstrExtensionName) override;
    STDMETHOD(GetNProps)(LONG* plProps) override;
    // Index of the first property named so in English or Russian, without regard to case; -1 and S_FALSE
    // when there is none.
    STDMETHOD(FindProp)(BSTR bstrPropName, LONG* plPropNum) override;
    // The Russian name when lPropAlias is non-zero, else the English one; an empty text and S_FALSE for an
    // index outside the list.
    STDMETHOD(GetPropName)(LONG lPropNum, LONG lPropAlias, BSTR* pbstrPropName) override;
    // Clears the value, then reads the property through IDispatch::Invoke; a boolean comes back as the
    // integer 1 or 0, a currency as a double. Returns the invoke result. An index outside the list gives
    // S_FALSE and leaves the value untouched.
    STDMETHOD(GetPropVal)(LONG lPropNum, VARIANT* pvarPropVal) override;
    // Writes the property through IDispatch::Invoke (the value as the one named DISPID_PROPERTYPUT
    // argument). Returns the invoke result; S_FALSE for an index outside the list.
    STDMETHOD(SetPropVal)(LONG lPropNum, VARIANT* varPropVal) override;
    // 1 or 0; S_FALSE (and 0) for an index outside the list.
    STDMETHOD(IsPropReadable)(LONG lPropNum, BOOL* pboolPropRead) override;
    STDMETHOD(IsPropWritable)(LONG lPropNum, BOOL* pboolPropWrite) override;
    STDMETHOD(GetNMethods)(LONG* plMethods) override;
    STDMETHOD(FindMethod)(BSTR bstrMethodName, LONG* plMethodNum) override;
    STDMETHOD(GetMethodName)(LONG lMethodNum, LONG lMethodAlias, BSTR* pbstrMethodName) override;
    // Methods take no parameters: 0; S_FALSE for an index outside the list.
    STDMETHOD(GetNParams)(LONG lMethodNum, LONG* plParams) override;
    // Clears the value.
    STDMETHOD(GetParamDefValue)(LONG lMethodNum, LONG lParamNum, VARIANT* pvarParamDefValue) override;
    // 1 for every index.
    STDMETHOD(HasRetVal)(LONG lMethodNum, BOOL* pboolRetValue) override;
    // Calls the method through IDispatch::Invoke without arguments; the host's parameters are ignored.
    // Returns the invoke result; S_FALSE for an index outside the list.
    STDMETHOD(CallAsProc)(LONG lMethodNum, SAFEARRAY** paParams) override;
    // As CallAsProc, with the method's value (its result code) in pvarRetValue, cleared first.
    STDMETHOD(CallAsFunc)(LONG lMethodNum, VARIANT* pvarRetValue, SAFEARRAY** paParams) override;

    const TAddinItems& Props() const { return *props_; }
    const TAddinItems& Methods() const { return *methods_; }

  private:
    // Name of an item of `items` for GetPropName and GetMethodName.
    static HRESULT ItemName(const TAddinItems& items, LONG index, LONG alias, BSTR* name);
    static HRESULT FindItem(const TAddinItems& items, BSTR name, LONG* index);
    // One dispatch call on this object, locale 0.
    HRESULT InvokeSelf(DISPID dispId, WORD flags, DISPPARAMS& params, VARIANT* result);

    std::unique_ptr<TAddinItems> props_;
    std::unique_ptr<TAddinItems> methods_;
};
