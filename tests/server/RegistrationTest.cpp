// tessel-regsvr on the built driver library: the keys its registration writes, what its unregistration
// removes and leaves, and the tool's answers to every kind of failure.
#include <gtest/gtest.h>

#include <fstream>

#include "server/ServerSupport.h"
#include "support/TempDir.h"

using namespace server_test;

namespace {

struct Interface {
    const char* name;
    const char* iid;
    const char* proxy;
};

constexpr const char* kDualProxy = "{00020424-0000-0000-C000-000000000046}";
constexpr const char* kDispatchProxy = "{00020420-0000-0000-C000-000000000046}";

const Interface kInterfaces[] = {
    {"ITesselDriver", "{D70ACCC8-A013-4242-A923-FEF715D6B136}", kDualProxy},
    {"IDriverEvents", "{AC312E4F-17EA-450A-9668-D86844835864}", kDispatchProxy},
    {"IPageEvents", "{7720F9BA-AEF3-44FF-8A82-B9F69496F58C}", kDispatchProxy},
    {"ITesselDriver2", "{DDB95EA2-1CEC-4491-A0C5-D33788E561AD}", kDualProxy},
    {"ITesselDriver3", "{008728D6-AEBF-4ABC-B8F5-B6B7C5A4C70D}", kDualProxy},
};

struct Expected {
    std::string key;
    std::string name;  // empty: the default value
    std::string value;
};

// Every value the registration of the library at `library` writes.
std::vector<Expected> ExpectedValues(const std::string& library) {
    const std::string driver = "CLSID\\" + kDriverClsid;
    const std::string page = "CLSID\\" + kPageClsid;
    const std::string typeLib = "TypeLib\\" + kLibid + "\\1.0";
    const std::string helpString = "Корвекс: Драйвер ККМ";
    std::vector<Expected> values = {
        {driver, "", helpString},
        {driver + "\\InProcServer32", "", library},
        {driver + "\\InProcServer32", "ThreadingModel", "Apartment"},
        {driver + "\\ProgID", "", kProgId},
        {driver + "\\MiscStatus", "", "1024"},
        {driver + "\\TypeLib", "", kLibid},
        {driver + "\\Version", "", "1.0"},
        {driver + "\\ToolboxBitmap32", "", library + ",1"},
        {kProgId, "", helpString},
        {kProgId + "\\CLSID", "", kDriverClsid},
        {page, "", "Драйвер ККМ"},
        {page + "\\InProcServer32", "", library},
        {page + "\\InProcServer32", "ThreadingModel", "Apartment"},
        {typeLib, "", helpString},
        {typeLib + "\\0\\linux", "", library},
        {typeLib + "\\FLAGS", "", "0"},
        {typeLib + "\\HELPDIR", "", std::filesystem::path(library).parent_path().string()},
    };
    for (const Interface& i : kInterfaces) {
        const std::string key = std::string("Interface\\") + i.iid;
        values.push_back({key, "", i.name});
        values.push_back({key + "\\ProxyStubClsid", "", i.proxy});
        values.push_back({key + "\\ProxyStubClsid32", "", i.proxy});
        values.push_back({key + "\\TypeLib", "", kLibid});
        values.push_back({key + "\\TypeLib", "Version", "1.0"});
    }
    return values;
}

// The top keys that registration creates and unregistration removes.
std::vector<std::string> RegisteredKeys() {
    std::vector<std::string> keys = {"CLSID\\" + kDriverClsid, kProgId, "CLSID\\" + kPageClsid,
                                     "TypeLib\\" + kLibid};
    for (const Interface& i : kInterfaces) keys.push_back(std::string("Interface\\") + i.iid);
    return keys;
}

void ExpectRegisteredAt(const std::string& library) {
    for (const Expected& e : ExpectedValues(library)) {
        SCOPED_TRACE(e.key + " [" + e.name + "]");
        EXPECT_EQ(ClassesValue(e.key, e.name), e.value);
    }
    EXPECT_TRUE(ClassesKeyExists("CLSID\\" + kDriverClsid + "\\Control"));
}

std::string PlatformLibrary() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&SysAllocString), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

class Registration : public ::testing::Test {
  protected:
    void TearDown() override { RunRegsvr({"-u", DriverLibrary()}); }

    static void Register(const std::string& library) { ASSERT_TRUE(RegsvrSucceeds({library})); }
};

TEST_F(Registration, WritesTheClassesTheProgIdTheTypeLibraryAndItsInterfaces) {
    const RunResult r = RunRegsvr({DriverLibrary()});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("DllRegisterServer"), std::string::npos) << r.out;
    ExpectRegisteredAt(DriverLibrary());
    // Registering again replaces the values rather than failing.
    Register(DriverLibrary());
    ExpectRegisteredAt(DriverLibrary());
}

TEST_F(Registration, NamesTheLibraryByItsAbsoluteCanonicalPath) {
    // A relative path through a symbolic link: the loader keeps that name; the registration must not.
    TempDir dir;
    const std::string link = dir.File("link.so");
    std::filesystem::create_symlink(DriverLibrary(), link);
    const std::string relative = std::filesystem::relative(link).string();
    ASSERT_NE(relative.front(), '/');
    Register(relative);
    ExpectRegisteredAt(DriverLibrary());
}

TEST_F(Registration, UnregistrationRemovesEveryKeyAndMayBeRepeated) {
    Register(DriverLibrary());
    for (int round = 0; round < 2; ++round) {
        const RunResult r = RunRegsvr({"-u", DriverLibrary()});
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("DllUnregisterServer"), std::string::npos) << r.out;
        for (const std::string& key : RegisteredKeys()) EXPECT_FALSE(ClassesKeyExists(key)) << key;
    }
}

TEST_F(Registration, UnregistrationLeavesWhatAnotherLibraryOrVersionOwns) {
    Register(DriverLibrary());
    const std::string takenOver = std::string("Interface\\") + kInterfaces[0].iid;
    const std::string otherVersion = "TypeLib\\" + kLibid + "\\2.0";
    {
        tessel::Registry reg(tessel::Hive::ClassesRoot);
        ASSERT_TRUE(reg.OpenKey("\\" + takenOver + "\\TypeLib", true));
        reg.WriteString("", "{00000000-1111-2222-3333-444444444444}");
        ASSERT_TRUE(reg.OpenKey("\\" + otherVersion, true));
        reg.WriteString("", "another version");
    }
    ASSERT_TRUE(RegsvrSucceeds({"-u", DriverLibrary()}));
    EXPECT_TRUE(ClassesKeyExists(takenOver));
    EXPECT_TRUE(ClassesKeyExists(otherVersion));
    EXPECT_FALSE(ClassesKeyExists("TypeLib\\" + kLibid + "\\1.0"));
    EXPECT_FALSE(ClassesKeyExists(std::string("Interface\\") + kInterfaces[1].iid));
    tessel::Registry reg(tessel::Hive::ClassesRoot);
    reg.DeleteKey("\\" + takenOver);
    reg.DeleteKey("\\TypeLib\\" + kLibid);
}

struct ToolFailure {
    const char* name;
    std::vector<std::string> args;  // "$DRIVER", "$PLATFORM": the libraries
    bool damagedStore;
    int exitCode;
    const char* message;  // a part of the output
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ToolFailure& c, std::ostream* os) {
    *os << c.name;
}

class RegsvrAnswers : public ::testing::TestWithParam<ToolFailure> {};

TEST_P(RegsvrAnswers, WithItsExitStatusAndOneClearLine) {
    const ToolFailure& c = GetParam();
    std::vector<std::string> args;
    for (const std::string& a : c.args) {
        if (a == "$DRIVER")
            args.push_back(DriverLibrary());
        else if (a == "$PLATFORM")
            args.push_back(PlatformLibrary());
        else
            args.push_back(a);
    }
    TempDir store;
    Env env;
    if (c.damagedStore) {
        std::ofstream(store.File("classes.reg")) << "this is no settings store\n";
        env["TESSEL_REGISTRY_DIR"] = store.Path();
    }
    const RunResult r = RunRegsvr(args, env);
    EXPECT_EQ(r.status, c.exitCode) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_FALSE(r.out.empty());
    if (c.damagedStore) {
        // The damaged file is kept as it was for its owner to mend.
        std::ifstream in(store.File("classes.reg"));
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first, "this is no settings store");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegsvrAnswers,
    ::testing::Values(
        ToolFailure{"Help", {"--help"}, false, 0, "tessel-regsvr [-u]"},
        ToolFailure{"NoLibrary", {}, false, 2, "tessel-regsvr [-u]"},
        ToolFailure{"OnlyTheOption", {"-u"}, false, 2, "tessel-regsvr [-u]"},
        ToolFailure{"TwoLibraries", {"$DRIVER", "$DRIVER"}, false, 2, "tessel-regsvr [-u]"},
        ToolFailure{"UnknownOption", {"-x", "$DRIVER"}, false, 2, "tessel-regsvr [-u]"},
        ToolFailure{"MissingLibrary",
                    {"/nonexistent/libNone.so"},
                    false,
                    1,
                    "cannot load the library /nonexistent/libNone.so"},
        ToolFailure{"BareNameNotInCurrentDirectory", {"libTesselDrv.so"}, false, 1, "libTesselDrv.so"},
        ToolFailure{"NotAServer", {"$PLATFORM"}, false, 1, "DllRegisterServer"},
        ToolFailure{"NotAServerUnregistering", {"-u", "$PLATFORM"}, false, 1, "DllUnregisterServer"},
        ToolFailure{"DamagedStore", {"$DRIVER"}, true, 1, "0x80004005"},
        ToolFailure{"DamagedStoreUnregistering", {"-u", "$DRIVER"}, true, 1, "0x80004005"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
