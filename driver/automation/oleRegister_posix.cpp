// The type library's registration where the system has none: the keys that RegisterTypeLib writes, with
// "linux" for the platform, so that clients find the library and its interfaces as they would on Windows.
#include <filesystem>
#include <optional>
#include <string_view>

#include "common/platform/Registry.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/oleRegisterKeys.h"

namespace {

using tessel::Hive;
using tessel::Registry;

// Proxy classes the system names for automation interfaces: a dual interface travels through the type
// library's marshaller, a dispinterface through IDispatch's.
constexpr std::string_view kProxyOleAutomation = "{00020424-0000-0000-C000-000000000046}";
constexpr std::string_view kProxyDispatch = "{00020420-0000-0000-C000-000000000046}";

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

std::string TypeLibKey() {
    return "TypeLib\\" + tessel::GuidToString(LIBID_TesselDrv);
}

std::string InterfaceKey(const IID& iid) {
    return "Interface\\" + tessel::GuidToString(iid);
}

// The type library an interface key names, if it names one.
std::optional<GUID> InterfaceTypeLib(const IID& iid) {
    Registry reg(Hive::ClassesRoot);
    if (!reg.OpenKey("\\" + InterfaceKey(iid) + "\\TypeLib", false)) return std::nullopt;
    if (reg.GetDataType("") != tessel::RegValueType::String) return std::nullopt;
    return tessel::GuidFromString(reg.ReadString(""));
}

}  // namespace

void RegisterTypeLibrary(ClassesWriter& w, const std::string& libraryPath) {
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

void UnregisterTypeLibrary() {
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
