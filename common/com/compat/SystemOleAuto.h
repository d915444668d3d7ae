#pragma once
// Linux compatibility declarations (on Windows the SDK's headers stand here).
// The OLE Automation data types: BSTR, CY, DATE, VARIANT, SAFEARRAY, DISPPARAMS, EXCEPINFO, and the functions
// that create, copy, convert and free them. Layouts and names follow the system headers.
//
// BSTR: UTF-16 text with a 4-byte byte count before the pointer and a terminating NUL after it; may hold
// NULs. A null BSTR is the empty text everywhere.
//
// SAFEARRAY: one dimension, elements of VT_VARIANT only; other element types or more dimensions are refused
// (a null array or E_INVALIDARG / DISP_E_BADVARTYPE).

#include "common/com/ComTypes.h"

struct IUnknown;
struct IDispatch;

using BSTR = OLECHAR*;
using DATE = double;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DISPID = LONG;
using MEMBERID = DISPID;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit count of 1/10000.
union CY {
    LONGLONG int64;
};

// Decimal: a 96-bit unsigned integer (Hi32 and Lo64) divided by 10 to the power `scale` (0..28), negative
// when `sign` is DECIMAL_NEG. The system's header also names the halves of Lo64 (Mid32, Lo32) and the scale
// and sign together (signscale); this layer does without them.
struct DECIMAL {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
};
inline constexpr BYTE DECIMAL_NEG = 0x80;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
inline constexpr USHORT FADF_VARIANT = 0x0800;

// A record value: the largest member of the system's VARIANT.
struct BRECORD {
    PVOID pvRecord;
    PVOID pRecInfo;
};

// As the system's VARIANT, except that decVal lies in the value union rather than over the whole variant: vt
// stays apart from it. Code that sets vt after the decimal, as the system requires, works with both.
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        DECIMAL* pdecVal;
        DECIMAL decVal;
        BRECORD brecVal;  // keeps the size of the system's VARIANT
    };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;

static_assert(sizeof(VARIANT) == 24, "VARIANT must keep the system's size");
static_assert(sizeof(DECIMAL) == 16, "DECIMAL must keep the system's size");

#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (((v)->vt & VT_BYREF) != 0)
#define V_I4(v) ((v)->lVal)
#define V_R8(v) ((v)->dblVal)
#define V_CY(v) ((v)->cyVal)
#define V_DECIMAL(v) ((v)->decVal)
#define V_DATE(v) ((v)->date)
#define V_BSTR(v) ((v)->bstrVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_ARRAY(v) ((v)->parray)
#define V_VARIANTREF(v) ((v)->pvarVal)

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;
inline constexpr DISPID DISPID_EVALUATE = -5;
inline constexpr DISPID DISPID_CONSTRUCTOR = -6;
inline constexpr DISPID DISPID_DESTRUCTOR = -7;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Flags of VariantChangeType.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_INVARIANT = 0x007F;

extern "C" {

// ---- BSTR ----
// A copy of the NUL-terminated `text` (null -> null); null when memory runs out.
BSTR SysAllocString(const OLECHAR* text);
// `length` characters copied from `text`, or zero-filled when `text` is null; null when the length is beyond
// what a 32-bit byte count holds or memory runs out.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// `length` bytes copied from `bytes` (zero-filled when null), followed by a NUL character.
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
// Replaces *bstr with a copy of `text`; FALSE (and *bstr untouched) when memory runs out or bstr is null.
INT SysReAllocString(BSTR* bstr, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
void SysFreeString(BSTR bstr);
// Characters / bytes held, from the length prefix; 0 for null.
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

// ---- VARIANT ----
void VariantInit(VARIANTARG* v);
// Frees what `v` owns (text, interface reference, array) and leaves VT_EMPTY. DISP_E_BADVARTYPE for a type
// this layer does not know (nothing is freed then); E_INVALIDARG for null.
HRESULT VariantClear(VARIANTARG* v);
// Clears `dest`, then deep-copies `src`: a new BSTR, AddRef on interfaces, a copied array. By-reference
// values copy the reference. On failure `dest` is VT_EMPTY.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// As VariantCopy, but by-reference values are copied as the values they refer to.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
// Converts `src` (dereferenced when by reference) to `vt`; `dest` may be `src`. On failure `dest` is left
// unchanged and the result is DISP_E_TYPEMISMATCH (no conversion), DISP_E_OVERFLOW (out of range),
// DISP_E_BADVARTYPE (a type this layer does not convert) or E_INVALIDARG (a malformed VT_DECIMAL). Numbers
// and texts convert in the invariant form with a decimal point; parsing also accepts a comma, and "&H1F" /
// "&O37" (hexadecimal, octal; 32-bit two's complement, so "&HFFFFFFFF" is -1). A VT_R8 prints 15 significant
// digits, a VT_R4 7 ("0.1", "1E+20"). VT_DECIMAL converts exactly to and from integers, currency and text,
// and through 15 (7) significant digits from reals. VT_BOOL becomes "-1"/"0", or "True"/"False" with
// VARIANT_ALPHABOOL; texts "True"/"False" (any case) and numbers become VT_BOOL. Dates print as
// "dd.MM.yyyy HH:mm:ss" (date or time alone when the other part is zero) and read also with a one- or
// two-digit year (00..29 in the 2000s, 30..99 in the 1900s).
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID lcid, USHORT flags, VARTYPE vt);

// ---- SAFEARRAY ----
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
// Clears every element and frees the array; DISP_E_ARRAYISLOCKED while data is accessed.
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
// Element copies in and out (VariantCopy); DISP_E_BADINDEX outside the bounds.
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
// Direct access to the elements; the array cannot be destroyed until every access is undone.
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);

// ---- Task memory (what BSTR-free out-parameters such as StringFromCLSID hand over) ----
LPVOID CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(LPVOID memory);

}  // extern "C"
