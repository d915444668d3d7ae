#pragma once
// The interfaces of the 1C:Enterprise external-component technology, with their published identifiers and
// members in their published order. The host calls IInitDone and ILanguageExtender on the component; the
// component calls IAsyncEvent on the host.

#include "common/com/ComInterfaces.h"

inline constexpr IID IID_IInitDone = {
    0xAB634001, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
inline constexpr IID IID_ILanguageExtender = {
    0xAB634003, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};
inline constexpr IID IID_IAsyncEvent = {
    0xAB634004, 0xF13D, 0x11D0, {0xA4, 0x59, 0x00, 0x40, 0x95, 0xE1, 0xDA, 0xEA}};

struct IInitDone : IUnknown {
    STDMETHOD(Init)(IDispatch* pConnection) PURE;
    STDMETHOD(Done)() PURE;
    STDMETHOD(GetInfo)(SAFEARRAY** pInfo) PURE;
};

struct ILanguageExtender : IUnknown {
    STDMETHOD(RegisterExtensionAs)(BSTR* bstrExtensionName) PURE;
    STDMETHOD(GetNProps)(LONG* plProps) PURE;
    STDMETHOD(FindProp)(BSTR bstrPropName, LONG* plPropNum) PURE;
    STDMETHOD(GetPropName)(LONG lPropNum, LONG lPropAlias, BSTR* pbstrPropName) PURE;
    STDMETHOD(GetPropVal)(LONG lPropNum, VARIANT* pvarPropVal) PURE;
    STDMETHOD(SetPropVal)(LONG lPropNum, VARIANT* varPropVal) PURE;
    STDMETHOD(IsPropReadable)(LONG lPropNum, BOOL* pboolPropRead) PURE;
    STDMETHOD(IsPropWritable)(LONG lPropNum, BOOL* pboolPropWrite) PURE;
    STDMETHOD(GetNMethods)(LONG* plMethods) PURE;
    STDMETHOD(FindMethod)(BSTR bstrMethodName, LONG* plMethodNum) PURE;
    STDMETHOD(GetMethodName)(LONG lMethodNum, LONG lMethodAlias, BSTR* pbstrMethodName) PURE;
    STDMETHOD(GetNParams)(LONG lMethodNum, LONG* plParams) PURE;
    STDMETHOD(GetParamDefValue)(LONG lMethodNum, LONG lParamNum, VARIANT* pvarParamDefValue) PURE;
    STDMETHOD(HasRetVal)(LONG lMethodNum, BOOL* pboolRetValue) PURE;
    STDMETHOD(CallAsProc)(LONG lMethodNum, SAFEARRAY** paParams) PURE;
    STDMETHOD(CallAsFunc)(LONG lMethodNum, VARIANT* pvarRetValue, SAFEARRAY** paParams) PURE;
};

struct IAsyncEvent : IUnknown {
    STDMETHOD(SetEventBufferDepth)(LONG lDepth) PURE;
    STDMETHOD(GetEventBufferDepth)(LONG* plDepth) PURE;
    STDMETHOD(ExternalEvent)(BSTR bstrSource, BSTR bstrMessage, BSTR bstrData) PURE;
    STDMETHOD(CleanBuffer)() PURE;
};
