#include "driver/automation/oleRegister.h"

#include <cstdio>
#include <string_view>

#include "common/platform/Module.h"
#include "common/platform/Registry.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/oleRegisterKeys.h"
#include "driver/engine/untConst.h"

namespace {

using tessel::Hive;
using tessel::Registry;

// OLEMISC_INVISIBLEATRUNTIME: hosts show the control only at design time.
constexpr std::string_view kMiscStatus = "1024";
// Bitmap resource 1 of the library is the control's toolbox picture.
constexpr std::string_view kToolboxBitmap = ",1";
constexpr std::string_view kThreadingModel = "Apartment";
// Caption of the property page, which is also its class's description.
constexpr std::string_view kPageDescription = "Драйвер ККМ";

std::string ClassKey(const std::string& clsid) {
    return "CLSID\\" + clsid;
}

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

}  // namespace

std::string TypeLibVersion() {
    char text[16];
    std::snprintf(text, sizeof text, "%x.%x", static_cast<unsigned>(TesselDrvMajorVersion),
                  static_cast<unsigned>(TesselDrvMinorVersion));
    return text;
}

std::string ServerLibraryPath() {
    return tessel::ModulePathOf(reinterpret_cast<const void*>(&ServerLibraryPath));
}

void WriteServerRegistration(const std::string& libraryPath) {
    ClassesWriter writer;
    RegisterTypeLibrary(writer, libraryPath);
    WriteDriverClass(writer, libraryPath);
    WritePageClass(writer, libraryPath);
}

void RemoveServerRegistration() {
    Registry reg(Hive::ClassesRoot);
    reg.DeleteKey("\\" + ClassKey(kDriverClsid));
    reg.DeleteKey(std::string("\\") + kDriverProgID);
    reg.DeleteKey("\\" + ClassKey(tessel::GuidToString(CLSID_TesselDrvPage)));
    UnregisterTypeLibrary();
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
