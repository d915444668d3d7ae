#pragma once
// The 1C:Enterprise external-component interfaces of its Native API technology, declared from the platform's
// public documentation of that technology: the object the platform creates through the library's exports,
// the platform's side that the object calls (its connection and its memory manager), and the value the two
// exchange. Only the members this component uses or implements are given, each in its documented slot, so
// the vtables match the platform's.
//
// Strings are UTF-16 in units of WCHAR_T (2 bytes on every system: char16_t where wchar_t is wider). A string
// the component hands to the platform is always allocated through the platform's memory manager, and the
// platform frees it; strings the platform passes in stay the platform's.

#include <cstdint>
#include <ctime>

#if defined(_WIN32)
using WCHAR_T = wchar_t;
#define ADDIN_API __stdcall
#else
using WCHAR_T = char16_t;
#define ADDIN_API
#endif

static_assert(sizeof(WCHAR_T) == 2, "the platform's strings have 2-byte units");

// The kind of a tVariant's value.
using TYPEVAR = std::uint16_t;
enum ENUMVAR : TYPEVAR {
    VTYPE_EMPTY = 0,
    VTYPE_NULL,
    VTYPE_I2,         // shortVal
    VTYPE_I4,         // lVal
    VTYPE_R4,         // fltVal
    VTYPE_R8,         // dblVal
    VTYPE_DATE,       // date: days since 30.12.1899
    VTYPE_TM,         // tmVal
    VTYPE_PSTR,       // pstrVal, strLen
    VTYPE_INTERFACE,  // not exchanged
    VTYPE_ERROR,      // errCode
    VTYPE_BOOL,       // bVal
    VTYPE_VARIANT,    // not exchanged
    VTYPE_I1,         // i8Val
    VTYPE_UI1,        // ui8Val
    VTYPE_UI2,        // ushortVal
    VTYPE_UI4,        // ulVal
    VTYPE_I8,         // llVal
    VTYPE_UI8,        // ullVal
    VTYPE_INT,        // intVal
    VTYPE_UINT,       // uintVal
    VTYPE_HRESULT,    // hRes
    VTYPE_PWSTR,      // pwstrVal, wstrLen
    VTYPE_BLOB,       // pstrVal, strLen: binary data
    VTYPE_CLSID,      // not exchanged
};

struct NativeGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// One value. The union is the size of its largest member (struct tm, larger on 64-bit systems), followed by
// the element count of arrays (unused here) and the kind. Its unnamed members are the platform's layout.
struct tVariant {
    __extension__ union {
        std::int8_t i8Val;
        std::int16_t shortVal;
        std::int32_t lVal;
        int intVal;
        unsigned int uintVal;
        std::int64_t llVal;
        std::uint8_t ui8Val;
        std::uint16_t ushortVal;
        std::uint32_t ulVal;
        std::uint64_t ullVal;
        std::int32_t errCode;
        long hRes;
        float fltVal;
        double dblVal;
        bool bVal;
        char chVal;
        wchar_t wchVal;
        double date;
        NativeGuid IDVal;
        tVariant* pvarVal;
        struct tm tmVal;
        __extension__ struct {
            void* pInterfaceVal;
            NativeGuid InterfaceID;
        };
        __extension__ struct {
            char* pstrVal;
            std::uint32_t strLen;  // bytes
        };
        __extension__ struct {
            WCHAR_T* pwstrVal;
            std::uint32_t wstrLen;  // units, without a terminating NUL
        };
    };
    std::uint32_t cbElements;
    TYPEVAR vt;
};

// Message codes of AddError: how the platform shows the message.
enum AddErrorCode : unsigned short {
    ADDIN_E_NONE = 1000,
    ADDIN_E_ORDINARY = 1001,
    ADDIN_E_ATTENTION = 1002,
    ADDIN_E_IMPORTANT = 1003,
    ADDIN_E_VERY_IMPORTANT = 1004,
    ADDIN_E_INFO = 1005,
    ADDIN_E_FAIL = 1006,
};

// What the platform offers (SetPlatformCapabilities): the component answers with what it uses.
enum AppCapabilities {
    eAppCapabilitiesInvalid = -1,
    eAppCapabilities1 = 1,
    eAppCapabilities2 = 2,
    eAppCapabilities3 = 3,
};

// Where the component may be loaded (GetAttachType): in the platform's process, in a separate one, or either.
enum AttachType {
    eCanAttachNotIsolated = 1,
    eCanAttachIsolated = 2,
    eCanAttachAny = 3,
};

// The platform's allocator for every string and buffer the component hands over.
class IMemoryManager {
  public:
    virtual ~IMemoryManager() = default;
    // Allocates `bytes` bytes into *memory; false when it cannot.
    virtual bool ADDIN_API AllocMemory(void** memory, unsigned long bytes) = 0;
    // Frees what AllocMemory gave and sets *memory to null.
    virtual void ADDIN_API FreeMemory(void** memory) = 0;
};

// The platform's connection, given to the object by Init.
class IAddInDefBase {
  public:
    virtual ~IAddInDefBase() = default;
    // A message for the user; a non-zero `scode` also raises an exception in the calling script.
    virtual bool ADDIN_API AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr,
                                    long scode) = 0;
    virtual bool ADDIN_API Read(WCHAR_T* propName, tVariant* value, long* errCode, WCHAR_T** errDescr) = 0;
    virtual bool ADDIN_API Write(WCHAR_T* propName, tVariant* value) = 0;
    virtual bool ADDIN_API RegisterProfileAs(WCHAR_T* profileName) = 0;
    // The object's queue of external events: events beyond its depth are lost. Its depth starts at 1.
    virtual bool ADDIN_API SetEventBufferDepth(long depth) = 0;
    virtual long ADDIN_API GetEventBufferDepth() = 0;
    // Queues one external event for the configuration's handler; the texts are copied.
    virtual bool ADDIN_API ExternalEvent(WCHAR_T* source, WCHAR_T* message, WCHAR_T* data) = 0;
    virtual void ADDIN_API CleanEventBuffer() = 0;
    virtual bool ADDIN_API SetStatusLine(WCHAR_T* statusLine) = 0;
    virtual void ADDIN_API ResetStatusLine() = 0;
};

// Initialisation and end of an object's session with the platform.
class IInitDoneBase {
  public:
    virtual ~IInitDoneBase() = default;
    // `connection` is the platform's IAddInDefBase.
    virtual bool ADDIN_API Init(void* connection) = 0;
    // `memoryManager` is the platform's IMemoryManager.
    virtual bool ADDIN_API setMemManager(void* memoryManager) = 0;
    // The version of the technology the object follows: 2000 for 2.0.
    virtual long ADDIN_API GetInfo() = 0;
    virtual void ADDIN_API Done() = 0;
};

// The object's properties and methods, by number and by name. Numbers run from 0; names are compared by
// the object. Every string returned is the platform's to free.
class ILanguageExtenderBase {
  public:
    virtual ~ILanguageExtenderBase() = default;
    virtual bool ADDIN_API RegisterExtensionAs(WCHAR_T** extensionName) = 0;
    virtual long ADDIN_API GetNProps() = 0;
    // -1 when no property has the name.
    virtual long ADDIN_API FindProp(const WCHAR_T* propName) = 0;
    // `alias` 0: the English name, else the Russian one; null for a number outside the list.
    virtual const WCHAR_T* ADDIN_API GetPropName(long propNum, long alias) = 0;
    virtual bool ADDIN_API GetPropVal(const long propNum, tVariant* value) = 0;
    virtual bool ADDIN_API SetPropVal(const long propNum, tVariant* value) = 0;
    virtual bool ADDIN_API IsPropReadable(const long propNum) = 0;
    virtual bool ADDIN_API IsPropWritable(const long propNum) = 0;
    virtual long ADDIN_API GetNMethods() = 0;
    virtual long ADDIN_API FindMethod(const WCHAR_T* methodName) = 0;
    virtual const WCHAR_T* ADDIN_API GetMethodName(const long methodNum, const long alias) = 0;
    virtual long ADDIN_API GetNParams(const long methodNum) = 0;
    virtual bool ADDIN_API GetParamDefValue(const long methodNum, const long paramNum, tVariant* value) = 0;
    virtual bool ADDIN_API HasRetVal(const long methodNum) = 0;
    virtual bool ADDIN_API CallAsProc(const long methodNum, tVariant* params, const long count) = 0;
    virtual bool ADDIN_API CallAsFunc(const long methodNum, tVariant* result, tVariant* params,
                                      const long count) = 0;
};

// The platform's locale for texts the object shows.
class LocaleBase {
  public:
    virtual ~LocaleBase() = default;
    virtual void ADDIN_API SetLocale(const WCHAR_T* locale) = 0;
};

// What GetClassObject hands out and DestroyObject takes back.
class IComponentBase : public IInitDoneBase, public ILanguageExtenderBase, public LocaleBase {
  public:
    ~IComponentBase() override = default;
};

// The library's exports, by name.
extern "C" {
using GetClassNamesFn = const WCHAR_T* (*)();
using GetClassObjectFn = long (*)(const WCHAR_T* className, IComponentBase** object);
using DestroyObjectFn = long (*)(IComponentBase** object);
using SetPlatformCapabilitiesFn = AppCapabilities (*)(const AppCapabilities capabilities);
using GetAttachTypeFn = AttachType (*)();
}
