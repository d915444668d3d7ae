#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "common/com/ComCreate.h"
#include "common/com/ComText.h"
#include "common/platform/Registry.h"

using namespace tessel;

namespace {

const CLSID kClsid = {0x0C0FFEE1, 0x1234, 0x4321, {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};
const char* const kProgId = "TesselTest.Creatable";

// Writes one registration into HKEY_CLASSES_ROOT and removes it afterwards.
class Registration : public ::testing::Test {
  protected:
    void TearDown() override {
        Registry reg(Hive::ClassesRoot);
        reg.DeleteKey(std::string("\\") + kProgId);
        reg.DeleteKey("\\CLSID\\" + GuidToString(kClsid));
    }
    static void SetDefault(const std::string& key, const std::string& value) {
        Registry reg(Hive::ClassesRoot);
        ASSERT_TRUE(reg.OpenKey("\\" + key, true));
        reg.WriteString("", value);
    }
    static void RegisterProgId(const std::string& clsidText) {
        SetDefault(std::string(kProgId) + "\\CLSID", clsidText);
    }
    static void RegisterServer(const std::string& path) {
        SetDefault("CLSID\\" + GuidToString(kClsid) + "\\InProcServer32", path);
    }
    static HRESULT Create(void** out) {
        return CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, out);
    }
};

TEST_F(Registration, ProgIdGivesItsRegisteredClsid) {
    RegisterProgId(GuidToString(kClsid));
    UniqueBstr progId = Utf8ToBstr(kProgId);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(progId.get(), &clsid), S_OK);
    EXPECT_EQ(clsid, kClsid);
    // The ProgID may be spelt in any case, as registry keys are.
    UniqueBstr upper = Utf8ToBstr("TESSELTEST.CREATABLE");
    clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromProgID(upper.get(), &clsid), S_OK);
    EXPECT_EQ(clsid, kClsid);
    // CLSIDFromString takes a ProgID too.
    clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromString(progId.get(), &clsid), S_OK);
    EXPECT_EQ(clsid, kClsid);
}

struct ProgIdFailure {
    const char* name;
    const char* progId;
    const char* registeredValue;  // null: nothing registered
};

class ProgIdFailures : public Registration, public ::testing::WithParamInterface<ProgIdFailure> {};

TEST_P(ProgIdFailures, AreClassStringErrors) {
    const ProgIdFailure& c = GetParam();
    if (c.registeredValue != nullptr) RegisterProgId(c.registeredValue);
    UniqueBstr progId = Utf8ToBstr(c.progId);
    CLSID clsid = kClsid;
    EXPECT_EQ(CLSIDFromProgID(progId.get(), &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(progId.get(), &clsid), CO_E_CLASSSTRING);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgIdFailures,
                         ::testing::Values(ProgIdFailure{"Unregistered", "TesselTest.Missing", nullptr},
                                           ProgIdFailure{"NotAClsid", kProgId, "not a guid"},
                                           ProgIdFailure{"Empty", "", nullptr},
                                           ProgIdFailure{"PathIntoOtherKey", "CLSID\\x", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Registration, UnregisteredClassIsClassNotRegistered) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Create(&out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(LastClassCreationError().find("InProcServer32"), std::string::npos);
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(Registration, OnlyInProcessServersAreCreated) {
    RegisterServer("/nonexistent/libserver.so");
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out),
              REGDB_E_CLASSNOTREG);
}

TEST_F(Registration, MissingLibraryIsReportedWithItsPath) {
    RegisterServer("\"/nonexistent dir/libserver.so\"");
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Create(&out), CO_E_DLLNOTFOUND);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(LastClassCreationError().find("/nonexistent dir/libserver.so"), std::string::npos);
}

TEST_F(Registration, LibraryWithoutClassObjectExportIsAnErrorInTheLibrary) {
    // The platform library itself: loadable, but not a server.
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&SysAllocString), &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    RegisterServer(info.dli_fname);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Create(&out), CO_E_ERRORINDLL);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(LastClassCreationError().find("DllGetClassObject"), std::string::npos);
}

TEST_F(Registration, RegisteredServerCreatesItsObjects) {
    RegisterProgId(GuidToString(kClsid));
    RegisterServer(std::string("\"") + TESSEL_TEST_SERVER + "\"");
    CLSID clsid{};
    UniqueBstr progId = Utf8ToBstr(kProgId);
    ASSERT_EQ(CLSIDFromProgID(progId.get(), &clsid), S_OK);
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK)
        << LastClassCreationError();
    ASSERT_NE(object, nullptr);
    using LiveObjects = LONG (*)();
    void* server = ::dlopen(TESSEL_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(server, nullptr) << "the server stays loaded";
    const auto live = reinterpret_cast<LiveObjects>(::dlsym(server, "TestServerLiveObjects"));
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live(), 1);
    void* dispatch = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(IID_IDispatch, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(live(), 0) << "the factory kept no reference";
    ::dlclose(server);
}

TEST_F(Registration, ServerThatDoesNotServeTheClassSaysSo) {
    const CLSID other = {0x0C0FFEE2, 0x1234, 0x4321, {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};
    Registry reg(Hive::ClassesRoot);
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\" + GuidToString(other) + "\\InProcServer32", true));
    reg.WriteString("", TESSEL_TEST_SERVER);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    reg.DeleteKey("\\CLSID\\" + GuidToString(other));
}

TEST(StringFromClsid, GivesTaskMemoryText) {
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(IID_IDispatch, &text), S_OK);
    UniqueBstr wide(SysAllocString(text));
    CoTaskMemFree(text);
    EXPECT_EQ(BstrToUtf8(wide.get()), "{00020400-0000-0000-C000-000000000046}");
}

// The compatibility layer refuses null arguments where the system's functions may not check them.
TEST(GuidFunctions, NullArgumentsAndMalformedTextsAreRefused) {
    EXPECT_EQ(IIDFromString(nullptr, nullptr), E_INVALIDARG);
    IID iid{};
    EXPECT_EQ(IIDFromString(Utf8ToBstr("{0002040G-0000-0000-C000-000000000046}").get(), &iid), E_INVALIDARG);
}

}  // namespace
