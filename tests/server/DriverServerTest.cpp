// The registered driver as its clients meet it: created by ProgID, driven late-bound against the emulator
// program, its class object and DllCanUnloadNow, creation after unregistration, where its default log goes
// when the registration names a copy, and the result its dialog members leave.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "server/ServerSupport.h"

using namespace server_test;
using tessel::ComPtr;

namespace {

using CanUnloadNow = HRESULT (*)();
using GetClassObject = HRESULT (*)(REFCLSID, REFIID, LPVOID*);

const char* const kParamKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\Param";

class RegisteredDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(RegsvrSucceeds({DriverLibrary()}));
        // Engine settings a previous test saved (log file, time-out) must not decide this one.
        tessel::Registry(tessel::Hive::CurrentUser).DeleteKey(std::string("\\") + kParamKey);
    }

    static LateBound Create() {
        HRESULT hr = E_FAIL;
        ComPtr<IDispatch> object = CreateByProgId(hr);
        EXPECT_EQ(hr, S_OK) << tessel::LastClassCreationError();
        if (!object) throw std::runtime_error("no driver object");
        return LateBound(object);
    }

    // GetECRStatus on port 1, which reaches `emulator`.
    static void ExpectExchange(const LateBound& driver) {
        driver.PutLong("PortNumber", 1);
        driver.PutBool("DeviceEnabled", true);
        EXPECT_EQ(driver.GetLong("ResultCode"), 0) << driver.GetString("ResultDescription");
        EXPECT_EQ(driver.Call("GetECRStatus"), 0) << driver.GetString("ResultDescription");
        EXPECT_EQ(driver.GetString("ResultDescription"), "Ошибок нет");
        driver.PutBool("DeviceEnabled", false);
    }
};

TEST_F(RegisteredDriver, CreatedByProgIdGivesItsVersionAndTalksToTheRegister) {
    EmulatorProgram emulator(kRegisterAt2);
    ScopedEnv port(PortVariable(1), emulator.Path());
    LateBound driver = Create();
    // The platform library is built from the same project version as the driver's file version.
    EXPECT_EQ(driver.GetString("Version"), TESSEL_VERSION);
    EXPECT_EQ(driver.GetString("Version"), "1.0.0.0");
    ExpectExchange(driver);
}

TEST_F(RegisteredDriver, CanUnloadOnlyWithoutObjectsFactoriesOrLocks) {
    HRESULT hr = E_FAIL;
    ComPtr<IDispatch> first = CreateByProgId(hr);
    ASSERT_EQ(hr, S_OK) << tessel::LastClassCreationError();
    const auto canUnload = DriverExport<CanUnloadNow>("DllCanUnloadNow");
    EXPECT_EQ(canUnload(), S_FALSE);
    ComPtr<IDispatch> second = CreateByProgId(hr);
    ASSERT_EQ(hr, S_OK);
    first.Reset();
    EXPECT_EQ(canUnload(), S_FALSE);
    second.Reset();
    EXPECT_EQ(canUnload(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(
        CoGetClassObject(kDriverClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid()),
        S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);  // a factory held by a client
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_FALSE);  // a lock without any factory
    ASSERT_EQ(
        CoGetClassObject(kDriverClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid()),
        S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    // Unlocking more than was locked is refused and cannot leave the server in use for ever.
    EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
    factory.Reset();
    EXPECT_EQ(canUnload(), S_OK);
}

struct ClassObjectRequest {
    const char* name;
    CLSID clsid;
    IID iid;
    HRESULT expected;
};

void PrintTo(const ClassObjectRequest& c, std::ostream* os) {
    *os << c.name;
}

class ClassObjectRequests : public RegisteredDriver,
                            public ::testing::WithParamInterface<ClassObjectRequest> {};

TEST_P(ClassObjectRequests, AnswerWithTheirResultAndLeaveNoPointerOnFailure) {
    const ClassObjectRequest& c = GetParam();
    const auto getClassObject = DriverExport<GetClassObject>("DllGetClassObject");
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(getClassObject(c.clsid, c.iid, &out), c.expected);
    if (FAILED(c.expected)) {
        EXPECT_EQ(out, nullptr);
    } else {
        ASSERT_NE(out, nullptr);
        static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(getClassObject(c.clsid, c.iid, nullptr), E_POINTER);
    EXPECT_EQ(DriverExport<CanUnloadNow>("DllCanUnloadNow")(), S_OK);
}

constexpr CLSID kPageClass = {0xF9B8E223, 0x0785, 0x4F4E, {0x8C, 0x9F, 0xDD, 0x4E, 0x08, 0xD4, 0x2C, 0xD1}};

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassObjectRequests,
    ::testing::Values(ClassObjectRequest{"DriverFactory", kDriverClass, IID_IClassFactory, S_OK},
                      ClassObjectRequest{"DriverUnknown", kDriverClass, IID_IUnknown, S_OK},
                      ClassObjectRequest{"FactoryIsNoDispatch", kDriverClass, IID_IDispatch, E_NOINTERFACE},
                      ClassObjectRequest{"PropertyPageFactory", kPageClass, IID_IClassFactory, S_OK},
                      ClassObjectRequest{"PageFactoryIsNoDispatch", kPageClass, IID_IDispatch, E_NOINTERFACE},
                      ClassObjectRequest{"OtherClass", IID_IDispatch, IID_IClassFactory,
                                         CLASS_E_CLASSNOTAVAILABLE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegisteredDriver, FactoryRefusesAggregationAndUnknownInterfacesWithoutLeavingObjects) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(
        CoGetClassObject(kDriverClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid()),
        S_OK);
    HRESULT hr = E_FAIL;
    ComPtr<IDispatch> outer = CreateByProgId(hr);
    ASSERT_EQ(hr, S_OK);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    outer.Reset();
    factory.Reset();
    EXPECT_EQ(DriverExport<CanUnloadNow>("DllCanUnloadNow")(), S_OK);
}

TEST_F(RegisteredDriver, UnregisteredDriverCannotBeCreated) {
    ASSERT_TRUE(RegsvrSucceeds({"-u", DriverLibrary()}));
    HRESULT hr = S_OK;
    EXPECT_FALSE(CreateByProgId(hr));
    EXPECT_EQ(hr, CO_E_CLASSSTRING);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kDriverClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
}

TEST_F(RegisteredDriver, DefaultLogLandsNextToTheRegisteredCopy) {
    // The library runs from the build, while the registration names a copy elsewhere.
    const DriverCopy driverCopy;
    const std::string& copy = driverCopy.Library();
    ASSERT_TRUE(RegsvrSucceeds({copy}));
    ASSERT_EQ(ClassesValue("CLSID\\" + kDriverClsid + "\\InProcServer32"), copy);

    const std::string expectedLog = std::filesystem::path(copy).parent_path().string() + "/TesselDrv.log";
    {
        EmulatorProgram emulator(kRegisterAt2);
        ScopedEnv port(PortVariable(1), emulator.Path());
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(DriverExport<GetClassObject>("DllGetClassObject")(kDriverClass, IID_IClassFactory,
                                                                    factory.PutVoid()),
                  S_OK);
        ComPtr<IDispatch> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.PutVoid()), S_OK);
        LateBound driver(object);
        EXPECT_EQ(driver.GetString("LogFileName"), expectedLog);
        driver.PutBool("LogEnabled", true);
        ExpectExchange(driver);
    }
    EXPECT_GT(std::filesystem::file_size(expectedLog), 0u);
}

// A registered copy of the driver with a dialogs module beside it whose dialogs close at once, answering
// as TESSEL_TEST_DIALOG_ANSWER says.
class DriverWithDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        copy_ = std::make_unique<DriverCopy>();
        std::filesystem::copy_file(TESSEL_TEST_DIALOGS, copy_->Folder() + "/libTesselDrvUi.so");
    }
    static void TearDownTestSuite() { copy_.reset(); }
    void SetUp() override { ASSERT_TRUE(RegsvrSucceeds({copy_->Library()})); }

    static std::unique_ptr<DriverCopy> copy_;
};

std::unique_ptr<DriverCopy> DriverWithDialogs::copy_;

// A host that loaded the driver by a relative name and then moved to another folder still gets the dialogs
// module beside the library, not one the new folder happens to hold (or none).
TEST_F(DriverWithDialogs, ModuleIsFoundAfterTheHostChangedItsFolder) {
    // A copy of its own, which nothing in this process has loaded yet.
    const DriverCopy copy;
    std::filesystem::copy_file(TESSEL_TEST_DIALOGS, copy.Folder() + "/libTesselDrvUi.so");
    struct TFolderBack {
        std::filesystem::path folder = std::filesystem::current_path();
        ~TFolderBack() { std::filesystem::current_path(folder); }
    } back;
    std::filesystem::current_path(copy.Folder());
    void* const library = ::dlopen("./libTesselDrv.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    std::filesystem::current_path("/");

    auto getClassObject = reinterpret_cast<GetClassObject>(::dlsym(library, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(kDriverClass, IID_IClassFactory, factory.PutVoid()), S_OK);
    ComPtr<IDispatch> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.PutVoid()), S_OK);
    ScopedEnv answer("TESSEL_TEST_DIALOG_ANSWER", "-6");
    LateBound driver(object);
    driver.CallProcedure("AboutBox");
    EXPECT_EQ(driver.GetLong("ResultCode"), -6) << driver.GetString("ResultDescription");
}

struct TDialogCase {
    const char* member;
    const char* answer;  // the dialog's: 1 OK, 0 closed otherwise, else the code of its failure
    LONG resultAfter;
};

class DialogResults : public DriverWithDialogs, public ::testing::WithParamInterface<TDialogCase> {};

// The Show* members clear the result; AboutBox yields nothing and leaves the last result as it was, unless
// its dialog could not be shown.
TEST_P(DialogResults, FollowTheirMember) {
    const TDialogCase& c = GetParam();
    ScopedEnv port(PortVariable(1), "/nonexistent/tessel-port");
    ScopedEnv answer("TESSEL_TEST_DIALOG_ANSWER", c.answer);
    HRESULT hr = E_FAIL;
    ComPtr<IDispatch> object = CreateByProgId(hr);
    ASSERT_EQ(hr, S_OK) << tessel::LastClassCreationError();
    LateBound driver(object);
    driver.PutLong("PortNumber", 1);
    ASSERT_EQ(driver.Call("Beep"), -3);  // the last result before the dialog: "Порт недоступен"
    if (std::string(c.member) == "AboutBox") {
        driver.CallProcedure(c.member);
    } else {
        EXPECT_EQ(driver.Call(c.member), c.resultAfter);
    }
    EXPECT_EQ(driver.GetLong("ResultCode"), c.resultAfter) << driver.GetString("ResultDescription");
}

INSTANTIATE_TEST_SUITE_P(Members, DialogResults,
                         ::testing::Values(TDialogCase{"AboutBox", "1", -3}, TDialogCase{"AboutBox", "0", -3},
                                           TDialogCase{"AboutBox", "-6", -6},
                                           TDialogCase{"ShowStatusDlg", "1", 0},
                                           TDialogCase{"ShowSearchDlg", "0", 0},
                                           TDialogCase{"ShowStatusDlg", "-6", -6},
                                           TDialogCase{"ShowTablesDlg", "21", 21}),
                         [](const auto& info) {
                             return std::string(info.param.member) + "_" +
                                    (std::atol(info.param.answer) < 0   ? "refused"
                                     : std::atol(info.param.answer) > 1 ? "register"
                                                                        : info.param.answer);
                         });

}  // namespace
