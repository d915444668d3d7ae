#include "driver/automation/oleRegister.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "common/platform/Registry.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/engine/untConst.h"

namespace {

using tessel::Hive;
using tessel::Registry;
using tessel::RegistryError;

// Proxy classes the system names for automation interfaces: a dual interface travels through the type
// library's marshaller, a dispinterface through IDispatch's.
constexpr std::string_view kProxyOleAutomation = "{00020424-0000-0000-C000-000000000046}";
constexpr std::string_view kProxyDispatch = "{00020420-0000-0000-C000-000000000046}";

// OLEMISC_INVISIBLEATRUNTIME: hosts show the control only at design time.
constexpr std::string_view kMiscStatus = "1024";
// Bitmap resource 1 of the library is the control's toolbox picture.
constexpr std::string_view kToolboxBitmap = ",1";
constexpr std::string_view kThreadingModel = "Apartment";
// Caption of the property page, which is also its class's description.
constexpr std::string_view kPageDescription = "Драйвер ККМ";

struct InterfaceEntry {
    const IID* iid;
    std::string_view name;
    std::string_view proxy;
};

constexpr InterfaceEntry kInterfaces[] = {
    {&IID_ITesselDriver, "ITesselDriver", kProxyOleAutomation},
    {&DIID_IDriverEvents, "IDriverEvents", kProxyDispatch},
    {&DIID_IPageEvents, "IPageEvents", kProxyDispatch},
    {&IID_ITesselDriver2, "ITesselDriver2", kProxyOleAutomation},
    {&IID_ITesselDriver3, "ITesselDriver3", kProxyOleAutomation},
};

// The library version as RegisterTypeLib names its key: hexadecimal major and minor.
std::string TypeLibVersion() {
    char text[16];
    std::snprintf(text, sizeof text, "%x.%x", static_cast<unsigned>(TesselDrvMajorVersion),
                  static_cast<unsigned>(TesselDrvMinorVersion));
    return text;
}

std::string TypeLibKey() {
    return "TypeLib\\" + tessel::GuidToString(LIBID_TesselDrv);
}

std::string ClassKey(const std::string& clsid) {
    return "CLSID\\" + clsid;
}

std::string InterfaceKey(const IID& iid) {
    return "Interface\\" + tessel::GuidToString(iid);
}

// Writes values into HKEY_CLASSES_ROOT, creating keys as needed; a key name the store refuses is a failure.
class ClassesWriter {
  public:
    void Create(const std::string& key) { Open(key); }
    void Default(const std::string& key, std::string_view value) { Value(key, "", value); }
    void Value(const std::string& key, const std::string& name, std::string_view value) {
        Open(key);
        reg_.WriteString(name, std::string(value));
    }

  private:
    void Open(const std::string& key) {
        if (!reg_.OpenKey("\\" + key, true)) throw RegistryError("cannot create HKEY_CLASSES_ROOT\\" + key);
    }

    Registry reg_{Hive::ClassesRoot};
};

void WriteDriverClass(ClassesWriter& w, const std::string& libraryPath) {
    const std::string key = ClassKey(kDriverClsid);
    w.Default(key, TesselDrvHelpString);
    w.Default(key + "\\InProcServer32", libraryPath);
    w.Value(key + "\\InProcServer32", "ThreadingModel", kThreadingModel);
    w.Default(key + "\\ProgID", kDriverProgID);
    w.Create(key + "\\Control");
    w.Default(key + "\\MiscStatus", kMiscStatus);
    w.Default(key + "\\TypeLib", tessel::GuidToString(LIBID_TesselDrv));
    w.Default(key + "\\Version", TypeLibVersion());
    w.Default(key + "\\ToolboxBitmap32", libraryPath + std::string(kToolboxBitmap));

    w.Default(kDriverProgID, TesselDrvHelpString);
    w.Default(std::string(kDriverProgID) + "\\CLSID", kDriverClsid);
}

void WritePageClass(ClassesWriter& w, const std::string& libraryPath) {
    const std::string key = ClassKey(tessel::GuidToString(CLSID_TesselDrvPage));
    w.Default(key, kPageDescription);
    w.Default(key + "\\InProcServer32", libraryPath);
    w.Value(key + "\\InProcServer32", "ThreadingModel", kThreadingModel);
}

void WriteTypeLibrary(ClassesWriter& w, const std::string& libraryPath) {
    const std::string version = TypeLibVersion();
    const std::string key = TypeLibKey() + "\\" + version;
    w.Default(key, TesselDrvHelpString);
    w.Default(key + "\\0\\linux", libraryPath);
    w.Default(key + "\\FLAGS", "0");
    w.Default(key + "\\HELPDIR", std::filesystem::path(libraryPath).parent_path().string());

    const std::string libid = tessel::GuidToString(LIBID_TesselDrv);
    for (const InterfaceEntry& entry : kInterfaces) {
        const std::string ikey = InterfaceKey(*entry.iid);
        w.Default(ikey, entry.name);
        w.Default(ikey + "\\ProxyStubClsid", entry.proxy);
        w.Default(ikey + "\\ProxyStubClsid32", entry.proxy);
        w.Default(ikey + "\\TypeLib", libid);
        w.Value(ikey + "\\TypeLib", "Version", version);
    }
}

// The type library an interface key names, if it names one.
std::optional<GUID> InterfaceTypeLib(const IID& iid) {
    Registry reg(Hive::ClassesRoot);
    if (!reg.OpenKey("\\" + InterfaceKey(iid) + "\\TypeLib", false)) return std::nullopt;
    if (reg.GetDataType("") != tessel::RegValueType::String) return std::nullopt;
    return tessel::GuidFromString(reg.ReadString(""));
}

void RemoveTypeLibrary() {
    Registry reg(Hive::ClassesRoot);
    for (const InterfaceEntry& entry : kInterfaces) {
        // An interface registered since by another library is that library's now.
        if (InterfaceTypeLib(*entry.iid) == LIBID_TesselDrv) reg.DeleteKey("\\" + InterfaceKey(*entry.iid));
    }
    const std::string key = TypeLibKey();
    reg.DeleteKey("\\" + key + "\\" + TypeLibVersion());
    if (reg.OpenKey("\\" + key, false) && !reg.HasSubKeys()) {
        reg.CloseKey();
        reg.DeleteKey("\\" + key);
    }
}

}  // namespace

std::string ServerLibraryPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ServerLibraryPath), &info) == 0 || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
        throw std::runtime_error("the loader does not name the server library");
    }
    // The loader keeps the name it was given, which may be relative to the directory at loading time.
    return std::filesystem::canonical(info.dli_fname).string();
}

void WriteServerRegistration(const std::string& libraryPath) {
    ClassesWriter writer;
    WriteTypeLibrary(writer, libraryPath);
    WriteDriverClass(writer, libraryPath);
    WritePageClass(writer, libraryPath);
}

void RemoveServerRegistration() {
    Registry reg(Hive::ClassesRoot);
    reg.DeleteKey("\\" + ClassKey(kDriverClsid));
    reg.DeleteKey(std::string("\\") + kDriverProgID);
    reg.DeleteKey("\\" + ClassKey(tessel::GuidToString(CLSID_TesselDrvPage)));
    RemoveTypeLibrary();
}

HRESULT RegisterTesselServer() noexcept {
    try {
        WriteServerRegistration(ServerLibraryPath());
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT UnregisterTesselServer() noexcept {
    try {
        RemoveServerRegistration();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}
