#pragma once
// What the registration's platform parts share with its common part (oleRegister.cpp): writing keys into
// HKEY_CLASSES_ROOT and the type library's version as the system names its keys.

#include <string>
#include <string_view>

#include "common/platform/Registry.h"

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
        if (!reg_.OpenKey("\\" + key, true))
            throw tessel::RegistryError("cannot create HKEY_CLASSES_ROOT\\" + key);
    }

    tessel::Registry reg_{tessel::Hive::ClassesRoot};
};

// The library version as RegisterTypeLib names its key: hexadecimal major and minor ("1.0").
std::string TypeLibVersion();

// The type library's own entries (platform part): TypeLib\{LIBID}\1.0 and the Interface keys of the three
// dual interfaces and the two event dispinterfaces. On Windows the system writes and removes them
// (RegisterTypeLib over the library embedded in the server, UnRegisterTypeLib); elsewhere they are written
// as RegisterTypeLib writes them, with "linux" for the platform. Throw on failure.
void RegisterTypeLibrary(ClassesWriter& writer, const std::string& libraryPath);
// Keys already missing are no failure; an interface key that another library has taken over since stays,
// and so does the library's key while another version of it is registered.
void UnregisterTypeLibrary();
