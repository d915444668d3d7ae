#pragma once
// What the server tests share: the driver's identifiers, the built driver library as a client sees it and
// its registration.

#include <dlfcn.h>

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/com/ComCreate.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/com/OleAuto.h"
#include "common/platform/Registry.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/LateBound.h"
#include "support/ScopedEnv.h"

namespace server_test {

using tessel_test::CreateByProgId;
using tessel_test::DriverCopy;
using tessel_test::DriverLibrary;
using tessel_test::EmulatorProgram;
using tessel_test::Env;
using tessel_test::kProgId;
using tessel_test::kRegisterAt2;
using tessel_test::LateBound;
using tessel_test::PortVariable;
using tessel_test::RegsvrSucceeds;
using tessel_test::RunRegsvr;
using tessel_test::RunResult;
using tessel_test::ScopedEnv;

inline const std::string kDriverClsid = "{16A80A2A-BB4C-4B65-B28E-8EBDAAE426C8}";
inline const std::string kPageClsid = "{F9B8E223-0785-4F4E-8C9F-DD4E08D42CD1}";
inline const std::string kLibid = "{5758880F-6501-4DE5-A374-E94EDB750A8C}";
inline constexpr CLSID kDriverClass = {
    0x16A80A2A, 0xBB4C, 0x4B65, {0xB2, 0x8E, 0x8E, 0xBD, 0xAA, 0xE4, 0x26, 0xC8}};

// The driver library loaded in this process, as class creation loads it: once, and never unloaded, since
// objects it handed out may outlive any test.
inline void* LoadedDriver() {
    static void* const handle = ::dlopen(DriverLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error("cannot load the driver library");
    return handle;
}

template <typename Function>
Function DriverExport(const char* name) {
    void* symbol = ::dlsym(LoadedDriver(), name);
    if (symbol == nullptr) throw std::runtime_error(std::string("the driver does not export ") + name);
    return reinterpret_cast<Function>(symbol);
}

// The default value of an HKEY_CLASSES_ROOT key, or a named value; nothing when missing.
inline std::optional<std::string> ClassesValue(const std::string& key, const std::string& name = "") {
    tessel::Registry reg(tessel::Hive::ClassesRoot);
    if (!reg.OpenKey("\\" + key, false) || !reg.ValueExists(name)) return std::nullopt;
    return reg.ReadString(name);
}

inline bool ClassesKeyExists(const std::string& key) {
    return tessel::Registry(tessel::Hive::ClassesRoot).KeyExists("\\" + key);
}

}  // namespace server_test
