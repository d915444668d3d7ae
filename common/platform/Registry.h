#pragma once
// The settings store: the system registry on Windows (HKEY_CURRENT_USER and HKEY_CLASSES_ROOT), a stand-in
// for it on Linux.
//
// On Linux two hives, each one text file: HKEY_CURRENT_USER ("user.reg") and HKEY_CLASSES_ROOT
// ("classes.reg") in $TESSEL_REGISTRY_DIR, else $XDG_CONFIG_HOME/tessel, else ~/.config/tessel. Key and value
// names are case-insensitive and case-preserving; key paths use backslashes ("Software\Korvex\TesselDrv").
//
// Promises (on Windows the registry keeps its own: values of other types read as binary, and changes reach
// the disk as the system flushes them):
// - every change is on disk when the call returns, and a process killed at any moment leaves a file holding
//   either the old or the new state;
// - changes are serialised across processes (an advisory lock), and each change is applied to the file's
//   current contents, so two processes writing different values lose none of them;
// - every read sees the changes made by other processes;
// - subkeys enumerate sorted case-insensitively ("Device10" before "Device2"), values in creation order;
// - a damaged file is a RegistryError naming the file and line; it is never emptied or rewritten;
// - the files and their folder are readable and writable by their owner only;
// - inside a RegistryUpdate, the changes of this thread to that hive reach the file together, in one write.

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

// The folder holding the hive files, created on demand with mode 0700. On Windows, which has no hive files,
// the folder for files that belong with the settings: $TESSEL_REGISTRY_DIR, else "Tessel" in the user's local
// application data.
std::string RegistryDirectory();
// The hive's file path (Linux only).
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

// A batch of changes to one hive: while it is open, every Registry of that hive on the constructing thread
// reads and changes one copy of the hive, taken under the hive's lock at the first access; Commit stores the
// copy in one write, and writes nothing when the hive ends up as it was. Other processes' changes wait for
// the lock meanwhile, so keep an update short. Destroyed without Commit, its changes are dropped. An update
// opened while one of the same hive is open on the thread joins it: its Commit stores nothing, and the outer
// one stores the changes of both. A Registry of another hive is not affected.
class RegistryUpdate {
  public:
    // Throws RegistryError when an update of the other hive is open on this thread.
    explicit RegistryUpdate(Hive hive = Hive::CurrentUser);
    ~RegistryUpdate();
    RegistryUpdate(const RegistryUpdate&) = delete;
    RegistryUpdate& operator=(const RegistryUpdate&) = delete;

    // Stores the changes and ends the update (later Registry calls go to the file again). Returns whether
    // the file was written. Throws RegistryError as a single change does; the update has ended either way.
    bool Commit();

    struct State;

  private:
    bool owner_ = false;  // this update is the thread's open one, not one that joined it
};

}  // namespace tessel
