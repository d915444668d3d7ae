#pragma once
// The driver's dialogs driven as a user meets them: the built driver library registered in the test
// program's settings store and created by its ProgID, its dialogs module beside it, an emulated register on
// a pseudo-terminal as COM1, and the dialogs opened by the driver's own members on this, the GUI thread.
// For test programs given TESSEL_DRIVER_LIBRARY and TESSEL_DIALOGS_LIBRARY.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/platform/Registry.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/untDialogs.h"
#include "driver/engine/untConst.h"
#include "support/DriverRegistration.h"
#include "support/EmuPort.h"
#include "support/LateBound.h"
#include "support/ModalScript.h"

namespace tessel_test {

// A copy of the driver with its dialogs module, registered once per test program. The copy keeps its
// counters and log in its own folder.
class InstalledDriver {
  public:
    static InstalledDriver& Get() {
        static InstalledDriver installed;
        return installed;
    }
    const std::string& Folder() const { return copy_.Folder(); }

    // Removes the counters files a test left, so that the driver and a new emulator start counting together.
    void ForgetCounters() const {
        for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            if (entry.path().filename().string().starts_with("Counters"))
                std::filesystem::remove(entry.path());
    }

  private:
    InstalledDriver() {
        // Loaded as class creation will load it, and never unloaded: its objects may outlive any test.
        void* handle = ::dlopen(copy_.Library().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error("cannot load the driver copy");
        using Register = HRESULT (*)();
        auto reg = reinterpret_cast<Register>(::dlsym(handle, "DllRegisterServer"));
        if (reg == nullptr || reg() != S_OK) throw std::runtime_error("the driver copy did not register");
    }

    DriverCopy copy_;
};

// The entry point `name` of the installed driver's dialogs module (the driver's own copy, when loaded).
template <typename Entry>
Entry ModuleEntry(const char* name) {
    const std::string path = InstalledDriver::Get().Folder() + "/libTesselDrvUi.so";
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) throw std::runtime_error("cannot load " + path);
    auto entry = reinterpret_cast<Entry>(::dlsym(module, name));
    if (entry == nullptr) throw std::runtime_error("the dialogs module has no " + std::string(name));
    return entry;
}

// Shows the dialog `name` of the installed driver's dialogs module straight through the module's entry point,
// handing it `driver`: 1 closed with OK, 0 otherwise, the failure's code (its text in `error`) when it
// failed. For dialogs given a driver other than the object's own.
inline LONG ModuleDialog(const char* name, ITesselDriver* driver, std::string* error = nullptr) {
    LONG accepted = 0;
    const LONG code = ModuleEntry<TTesselShowDialog>(kShowDialogExport)(name, driver, 0, &accepted);
    if (code == 0) return accepted;
    if (error != nullptr) *error = ModuleEntry<TTesselDialogError>(kDialogErrorExport)();
    return code;
}

// Shows the module's property frame with the driver's page over `object`, as ShowProperties does over the
// driver object: 1 closed with OK, 0 otherwise, the failure's code when it failed.
inline LONG ModuleFrame(IUnknown* object) {
    tessel::ComPtr<IPropertyPage> page;
    if (ModuleEntry<TTesselCreatePropertyPage>(kCreatePropertyPageExport)(IID_IPropertyPage,
                                                                          page.PutVoid()) != S_OK)
        throw std::runtime_error("the dialogs module made no property page");
    IUnknown* objects[] = {object};
    IPropertyPage* pages[] = {page.Get()};
    LONG accepted = 0;
    const LONG code =
        ModuleEntry<TTesselPropertyFrame>(kPropertyFrameExport)(0, 16, 16, 1, objects, 1, pages, &accepted);
    return code == 0 ? accepted : code;
}

// A test with a driver object on COM1, where one emulated register answers at address 2.
class DialogTest : public ::testing::Test {
  protected:
    // The register answers at `baud` alone, as TesselEmu's do, or at any speed (0).
    explicit DialogTest(std::uint32_t baud = 0) : line_(1, {2}, baud) {}

    void SetUp() override {
        InstalledDriver::Get().ForgetCounters();
        tessel::Registry().DeleteKey(kDriverKey);
        HRESULT hr = E_FAIL;
        object_ = CreateByProgId(hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(object_->QueryInterface(IID_ITesselDriver, early_.PutVoid()), S_OK);
        driver_ = std::make_unique<LateBound>(object_);
        driver_->PutLong("PortNumber", 1);
        // A pseudo-terminal has no modem lines to pace.
        driver_->PutBool("Fuel", true);
        driver_->PutLong("Timeout", 500);
    }
    void TearDown() override {
        driver_.reset();
        early_.Reset();
        object_.Reset();
    }

    LateBound& Driver() { return *driver_; }
    // The driver as the dialogs are handed it.
    ITesselDriver* Early() { return early_.Get(); }

    EmuPort line_;
    tessel::ComPtr<IDispatch> object_;
    tessel::ComPtr<ITesselDriver> early_;
    std::unique_ptr<LateBound> driver_;
};

}  // namespace tessel_test
