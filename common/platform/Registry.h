#pragma once
// Settings store standing in for the system registry.
//
// Two hives, each one text file: HKEY_CURRENT_USER ("user.reg") and HKEY_CLASSES_ROOT ("classes.reg") in
// $TESSEL_REGISTRY_DIR, else $XDG_CONFIG_HOME/tessel, else ~/.config/tessel. Key and value names are
// case-insensitive and case-preserving; key paths use backslashes ("Software\Korvex\TesselDrv").
//
// Promises:
// - every change is on disk when the call returns, and a process killed at any moment leaves a file holding
//   either the old or the new state;
// - changes are serialised across processes (an advisory lock), and each change is applied to the file's
//   current contents, so two processes writing different values lose none of them;
// - every read sees the changes made by other processes;
// - subkeys enumerate sorted case-insensitively ("Device10" before "Device2"), values in creation order;
// - a damaged file is a RegistryError naming the file and line; it is never emptied or rewritten;
// - the files and their folder are readable and writable by their owner only.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/platform/Bytes.h"

namespace tessel {

enum class Hive { CurrentUser, ClassesRoot };

// Any failure of the store: a damaged file (the message names file and line), an I/O error, a value of the
// wrong type, an operation without an open key.
class RegistryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class RegValueType { String, DWord, Binary };

// The folder holding the hive files, created on demand with mode 0700.
std::string RegistryDirectory();
// The hive's file path.
std::string HiveFile(Hive hive);

// One open key at a time, as the system's registry helper class works.
class Registry {
  public:
    explicit Registry(Hive hive = Hive::CurrentUser);

    Hive RootHive() const { return hive_; }

    // Opens `path`: from the hive root when it starts with a backslash or no key is open, else below the open
    // key (as the system's helper class resolves it). Without `canCreate` a missing
    // key gives false; with it the key and its parents are created. Throws only for a damaged file or I/O.
    bool OpenKey(const std::string& path, bool canCreate);
    void CloseKey();
    bool HasOpenKey() const { return open_; }
    const std::string& CurrentPath() const { return path_; }

    bool KeyExists(const std::string& path) const;
    // Deletes the key with all its subkeys and values; false when it did not exist.
    bool DeleteKey(const std::string& path);

    // The open key's direct subkeys, sorted case-insensitively, with their stored spelling.
    std::vector<std::string> GetKeyNames() const;
    bool HasSubKeys() const { return !GetKeyNames().empty(); }
    // The open key's value names in creation order. The default value has the empty name.
    std::vector<std::string> GetValueNames() const;

    bool ValueExists(const std::string& name) const;
    std::optional<RegValueType> GetDataType(const std::string& name) const;
    bool DeleteValue(const std::string& name);

    // Readers throw RegistryError when the value is missing or has another type.
    std::string ReadString(const std::string& name) const;
    std::int32_t ReadInteger(const std::string& name) const;
    bool ReadBool(const std::string& name) const;  // a DWORD, true when not 0
    Bytes ReadBinary(const std::string& name) const;

    // Creating or replacing a value keeps its place in the creation order.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBool(const std::string& name, bool value);
    void WriteBinary(const std::string& name, const Bytes& value);

  private:
    std::string Resolve(const std::string& path) const;

    Hive hive_;
    bool open_ = false;
    std::string path_;  // normalised: no leading or trailing backslash, single separators
};

}  // namespace tessel
