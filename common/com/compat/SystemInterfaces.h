#pragma once
// Linux compatibility declarations (on Windows the SDK's headers stand here).
// The COM interfaces the automation layer serves and calls: IUnknown, IClassFactory, IDispatch, ITypeInfo
// with its description records, and the connection-point interfaces. Abstract classes with their members in
// the system's vtable order, so an object built here has the layout a COM client expects. Interfaces have no
// virtual destructor (it would shift the vtable): objects free themselves in Release.

#include "common/com/ComTypes.h"
#include "common/com/OleAuto.h"

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) PURE;
    STDMETHOD(LockServer)(BOOL fLock) PURE;
};

// ---- Type information records ----

struct ITypeInfo;
struct ITypeLib;
struct ITypeComp;

using HREFTYPE = DWORD;

enum TYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
};

enum FUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };

enum INVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
};

enum CALLCONV {
    CC_FASTCALL = 0,
    CC_CDECL = 1,
    CC_MSCPASCAL = 2,
    CC_PASCAL = CC_MSCPASCAL,
    CC_MACPASCAL = 3,
    CC_STDCALL = 4,
    CC_FPFASTCALL = 5,
    CC_SYSCALL = 6,
    CC_MPWCDECL = 7,
    CC_MPWPASCAL = 8,
    CC_MAX = 9
};

enum VARKIND { VAR_PERINSTANCE = 0, VAR_STATIC, VAR_CONST, VAR_DISPATCH };

enum TYPEFLAGS {
    TYPEFLAG_FAPPOBJECT = 0x1,
    TYPEFLAG_FCANCREATE = 0x2,
    TYPEFLAG_FLICENSED = 0x4,
    TYPEFLAG_FPREDECLID = 0x8,
    TYPEFLAG_FHIDDEN = 0x10,
    TYPEFLAG_FCONTROL = 0x20,
    TYPEFLAG_FDUAL = 0x40,
    TYPEFLAG_FNONEXTENSIBLE = 0x80,
    TYPEFLAG_FOLEAUTOMATION = 0x100,
    TYPEFLAG_FRESTRICTED = 0x200,
    TYPEFLAG_FAGGREGATABLE = 0x400,
    TYPEFLAG_FREPLACEABLE = 0x800,
    TYPEFLAG_FDISPATCHABLE = 0x1000,
    TYPEFLAG_FREVERSEBIND = 0x2000,
    TYPEFLAG_FPROXY = 0x4000
};

enum FUNCFLAGS {
    FUNCFLAG_FRESTRICTED = 0x1,
    FUNCFLAG_FSOURCE = 0x2,
    FUNCFLAG_FBINDABLE = 0x4,
    FUNCFLAG_FREQUESTEDIT = 0x8,
    FUNCFLAG_FDISPLAYBIND = 0x10,
    FUNCFLAG_FDEFAULTBIND = 0x20,
    FUNCFLAG_FHIDDEN = 0x40,
    FUNCFLAG_FUSESGETLASTERROR = 0x80,
    FUNCFLAG_FDEFAULTCOLLELEM = 0x100,
    FUNCFLAG_FUIDEFAULT = 0x200,
    FUNCFLAG_FNONBROWSABLE = 0x400,
    FUNCFLAG_FREPLACEABLE = 0x800,
    FUNCFLAG_FIMMEDIATEBIND = 0x1000
};

inline constexpr USHORT PARAMFLAG_NONE = 0x00;
inline constexpr USHORT PARAMFLAG_FIN = 0x01;
inline constexpr USHORT PARAMFLAG_FOUT = 0x02;
inline constexpr USHORT PARAMFLAG_FLCID = 0x04;
inline constexpr USHORT PARAMFLAG_FRETVAL = 0x08;
inline constexpr USHORT PARAMFLAG_FOPT = 0x10;
inline constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;

inline constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

struct ARRAYDESC;

struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;
        ARRAYDESC* lpadesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};

struct ARRAYDESC {
    TYPEDESC tdescElem;
    USHORT cDims;
    SAFEARRAYBOUND rgbounds[1];
};

struct IDLDESC {
    ULONG_PTR dwReserved;
    USHORT wIDLFlags;
};

struct PARAMDESCEX {
    ULONG cBytes;
    VARIANTARG varDefaultValue;
};
using LPPARAMDESCEX = PARAMDESCEX*;

struct PARAMDESC {
    LPPARAMDESCEX pparamdescex;
    USHORT wParamFlags;
};

struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};

struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
};

struct VARDESC {
    MEMBERID memid;
    LPOLESTR lpstrSchema;
    union {
        ULONG oInst;
        VARIANT* lpvarValue;
    };
    ELEMDESC elemdescVar;
    WORD wVarFlags;
    VARKIND varkind;
};

// ---- Dispatch ----

struct IDispatch : IUnknown {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) PURE;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) PURE;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) PURE;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;
};
using LPDISPATCH = IDispatch*;

struct ITypeInfo : IUnknown {
    STDMETHOD(GetTypeAttr)(TYPEATTR** ppTypeAttr) PURE;
    STDMETHOD(GetTypeComp)(ITypeComp** ppTComp) PURE;
    STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** ppFuncDesc) PURE;
    STDMETHOD(GetVarDesc)(UINT index, VARDESC** ppVarDesc) PURE;
    STDMETHOD(GetNames)(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) PURE;
    STDMETHOD(GetRefTypeOfImplType)(UINT index, HREFTYPE* pRefType) PURE;
    STDMETHOD(GetImplTypeFlags)(UINT index, INT* pImplTypeFlags) PURE;
    STDMETHOD(GetIDsOfNames)(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) PURE;
    STDMETHOD(Invoke)
    (PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;
    STDMETHOD(GetDocumentation)
    (MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext, BSTR* pBstrHelpFile) PURE;
    STDMETHOD(GetDllEntry)
    (MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName, WORD* pwOrdinal) PURE;
    STDMETHOD(GetRefTypeInfo)(HREFTYPE hRefType, ITypeInfo** ppTInfo) PURE;
    STDMETHOD(AddressOfMember)(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) PURE;
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) PURE;
    STDMETHOD(GetMops)(MEMBERID memid, BSTR* pBstrMops) PURE;
    STDMETHOD(GetContainingTypeLib)(ITypeLib** ppTLib, UINT* pIndex) PURE;
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* pTypeAttr) PURE;
    STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC* pFuncDesc) PURE;
    STDMETHOD_(void, ReleaseVarDesc)(VARDESC* pVarDesc) PURE;
};

// ---- Connection points ----

struct IConnectionPointContainer;

struct CONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
};

struct IEnumConnections : IUnknown {
    STDMETHOD(Next)(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) PURE;
    STDMETHOD(Skip)(ULONG cConnections) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumConnections** ppEnum) PURE;
};

struct IConnectionPoint : IUnknown {
    STDMETHOD(GetConnectionInterface)(IID* pIID) PURE;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) PURE;
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) PURE;
    STDMETHOD(Unadvise)(DWORD dwCookie) PURE;
    STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) PURE;
};

struct IEnumConnectionPoints : IUnknown {
    STDMETHOD(Next)(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) PURE;
    STDMETHOD(Skip)(ULONG cConnections) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumConnectionPoints** ppEnum) PURE;
};

struct IConnectionPointContainer : IUnknown {
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) PURE;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) PURE;
};
