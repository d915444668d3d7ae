// The settings store on POSIX: one UTF-8 text file per hive, in a .reg-like form:
//
//     ; Tessel settings store
//
//     [Software\Korvex\TesselDrv\TesselDrv\Param]
//     "LogEnabled"=dword:00000001
//     "LogFileName"="/tmp/a.log"
//     @="default value"
//     "Blob"=hex:7e,02,01
//
// Every key is a section of its own, so empty keys survive. A change takes an exclusive lock on
// "<hive>.lock", re-reads the file, applies itself and replaces the file atomically; a read parses the
// current file without a lock, since the atomic replacement never shows a half-written file.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>
#include <variant>

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"
#include "common/platform/RegistryHive.h"
#include "common/platform/RegistryPath.h"
#include "common/platform/UniqueFd.h"

namespace tessel {
namespace {

using registry_detail::FindKey;
using registry_detail::FormatHive;
using registry_detail::JoinPath;
using registry_detail::KeyNode;
using registry_detail::ParseHive;
using registry_detail::RegValue;
using registry_detail::SplitPath;
using registry_detail::TypeOf;
using registry_detail::ValidKeyPath;
using registry_detail::ValidValueName;
using registry_detail::ValueData;

// Guards memory against a runaway or foreign file; real hives are a few kilobytes.
constexpr std::size_t kMaxHiveBytes = std::size_t{16} << 20;
constexpr auto kLockTimeout = std::chrono::seconds(10);

// ---------------------------------------------------------------------------------------------------------
// Files.

[[noreturn]] void FailErrno(const std::string& what, const std::string& path, int err) {
    throw RegistryError(what + " '" + path + "': " + std::generic_category().message(err));
}

// An exclusive advisory lock serialising the changes of one hive across processes and threads (each lock
// is its own open file, so threads of one process exclude each other too).
class HiveLock {
  public:
    explicit HiveLock(const std::string& lockFile)
        : fd_(::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_.Get() < 0) FailErrno("cannot open the lock file", lockFile, errno);
        // flock has no timed form; trying with a growing pause keeps the wait bounded even when a
        // stopped process holds the lock.
        const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
        auto pause = std::chrono::microseconds(50);
        while (::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) FailErrno("cannot lock", lockFile, errno);
            if (std::chrono::steady_clock::now() >= deadline)
                throw RegistryError("'" + lockFile + "' stays locked by another process");
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(5000));
        }
    }

  private:
    UniqueFd fd_;
};

// The hive's tree; `text` (when given) receives the file's contents, empty when there is no file.
std::unique_ptr<KeyNode> LoadHive(const std::string& file, std::string* text = nullptr) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::make_unique<KeyNode>();
        FailErrno("cannot read", file, errno);
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxHiveBytes)
        throw RegistryError(file + ": the file is larger than a settings store can be");
    std::string contents;
    try {
        if (!ReadWholeFile(file, contents)) return std::make_unique<KeyNode>();
    } catch (const std::system_error& e) {
        throw RegistryError(e.what());
    }
    auto root = ParseHive(contents, file);
    if (text != nullptr) *text = std::move(contents);
    return root;
}

void StoreHive(const std::string& file, const KeyNode& root) {
    const std::string text = FormatHive(root);
    if (text.size() > kMaxHiveBytes) throw RegistryError(file + ": the change would make the file too large");
    try {
        WriteFileAtomically(file, text, 0600);
    } catch (const std::system_error& e) {
        throw RegistryError(e.what());
    }
}

}  // namespace

// The copy of a hive that an open RegistryUpdate works on.
struct RegistryUpdate::State {
    explicit State(Hive h) : hive(h) {}

    // Locks the hive and loads it at the first access.
    KeyNode& Root() {
        if (!root) {
            file = HiveFile(hive);
            lock = std::make_unique<HiveLock>(file + ".lock");
            root = LoadHive(file, &original);
        }
        return *root;
    }

    Hive hive;
    std::string file;
    std::unique_ptr<HiveLock> lock;
    std::unique_ptr<KeyNode> root;
    std::string original;  // the file's text when it was loaded; empty without a file
};

namespace {

thread_local std::unique_ptr<RegistryUpdate::State> tUpdate;

RegistryUpdate::State* ActiveUpdate(Hive hive) {
    return tUpdate && tUpdate->hive == hive ? tUpdate.get() : nullptr;
}

// The hive as this thread sees it: the open update's copy, or the file's current contents.
class HiveView {
  public:
    explicit HiveView(Hive hive) {
        if (RegistryUpdate::State* update = ActiveUpdate(hive)) {
            root_ = &update->Root();
        } else {
            owned_ = LoadHive(HiveFile(hive));
            root_ = owned_.get();
        }
    }
    const KeyNode& Root() const { return *root_; }

  private:
    std::unique_ptr<KeyNode> owned_;
    const KeyNode* root_ = nullptr;
};

// Applies `change` to the hive's current contents under the lock and stores the result when `change`
// reports that it changed something. A file that does not load is never replaced. Inside an update the
// change goes to its copy, which Commit stores.
void ModifyHive(Hive hive, const std::function<bool(KeyNode&)>& change) {
    if (RegistryUpdate::State* update = ActiveUpdate(hive)) {
        change(update->Root());
        return;
    }
    const std::string file = HiveFile(hive);
    HiveLock lock(file + ".lock");
    const auto root = LoadHive(file);
    if (change(*root)) StoreHive(file, *root);
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0')
        return found->pw_dir;
    throw RegistryError("cannot find the home folder for the settings store");
}

// mkdir -p, each new folder private to its owner.
void MakeDirectories(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string prefix = dir.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            FailErrno("cannot create the settings folder", prefix, errno);
        if (slash == std::string::npos) break;
    }
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw RegistryError("'" + dir + "' is not a folder");
}

std::string NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// ---------------------------------------------------------------------------------------------------------
// The operations behind the open key.

const KeyNode* OpenNode(const KeyNode& root, const std::string& path) {
    return FindKey(root, SplitPath(path));
}

ValueData ReadData(Hive hive, bool open, const std::string& path, const std::string& name) {
    if (!open) throw RegistryError("Failed to get data for '" + name + "': no key is open");
    const HiveView view(hive);
    const KeyNode* key = OpenNode(view.Root(), path);
    const RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) throw RegistryError("Failed to get data for '" + name + "'");
    return value->data;
}

[[noreturn]] void InvalidType(const std::string& name) {
    throw RegistryError("Invalid data type for '" + name + "'");
}

void WriteData(Hive hive, bool open, const std::string& path, const std::string& name, ValueData data) {
    if (!open) throw RegistryError("Failed to set data for '" + name + "': no key is open");
    if (!ValidValueName(name)) throw RegistryError("Failed to set data for '" + name + "': invalid name");
    const auto parts = SplitPath(path);
    ModifyHive(hive, [&](KeyNode& root) {
        KeyNode* key = FindKey(root, parts);
        // The system registry refuses writes through a deleted key too; recreating it would resurrect
        // a tree that another caller removed on purpose.
        if (key == nullptr)
            throw RegistryError("Failed to set data for '" + name + "': the key '" + path + "' was deleted");
        if (RegValue* existing = key->FindValue(name)) {
            if (existing->data == data) return false;
            existing->data = std::move(data);
            return true;
        }
        key->values.push_back({name, std::move(data)});
        return true;
    });
}

void RequireOpen(bool open, const char* what) {
    if (!open) throw RegistryError(std::string(what) + ": no key is open");
}

}  // namespace

std::string RegistryDirectory() {
    std::string dir = NonEmptyEnv("TESSEL_REGISTRY_DIR");
    if (dir.empty()) {
        const std::string xdg = NonEmptyEnv("XDG_CONFIG_HOME");
        // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
        dir = !xdg.empty() && xdg.front() == '/' ? xdg + "/tessel" : HomeDirectory() + "/.config/tessel";
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    MakeDirectories(dir);
    return dir;
}

std::string HiveFile(Hive hive) {
    return RegistryDirectory() + (hive == Hive::ClassesRoot ? "/classes.reg" : "/user.reg");
}

bool Registry::OpenKey(const std::string& path, bool canCreate) {
    const std::string full = Resolve(path);
    const auto parts = SplitPath(full);
    // A name the store cannot hold names no key, as the system registry refuses it.
    if (!ValidKeyPath(parts)) return false;
    bool found = false;
    if (canCreate) {
        ModifyHive(hive_, [&](KeyNode& root) {
            bool created = false;
            KeyNode* node = &root;
            for (const auto& p : parts) {
                KeyNode* child = node->FindChild(p);
                if (child == nullptr) {
                    child = &node->AddChild(p);
                    created = true;
                }
                node = child;
            }
            found = true;
            return created;
        });
    } else {
        found = FindKey(HiveView(hive_).Root(), parts) != nullptr;
    }
    if (found) {
        open_ = true;
        path_ = full;
    }
    return found;
}

bool Registry::KeyExists(const std::string& path) const {
    const auto parts = SplitPath(Resolve(path));
    if (!ValidKeyPath(parts)) return false;
    return FindKey(HiveView(hive_).Root(), parts) != nullptr;
}

bool Registry::DeleteKey(const std::string& path) {
    auto parts = SplitPath(Resolve(path));
    if (parts.empty()) throw RegistryError("the root of a hive cannot be deleted");
    if (!ValidKeyPath(parts)) return false;
    const std::string leaf = parts.back();
    parts.pop_back();
    bool deleted = false;
    ModifyHive(hive_, [&](KeyNode& root) {
        KeyNode* parent = FindKey(root, parts);
        deleted = parent != nullptr && parent->RemoveChild(leaf);
        return deleted;
    });
    return deleted;
}

std::vector<std::string> Registry::GetKeyNames() const {
    RequireOpen(open_, "GetKeyNames");
    std::vector<std::string> names;
    const HiveView view(hive_);
    if (const KeyNode* key = OpenNode(view.Root(), path_))
        for (const auto& child : key->children) names.push_back(child->name);
    return names;
}

std::vector<std::string> Registry::GetValueNames() const {
    RequireOpen(open_, "GetValueNames");
    std::vector<std::string> names;
    const HiveView view(hive_);
    if (const KeyNode* key = OpenNode(view.Root(), path_))
        for (const auto& v : key->values) names.push_back(v.name);
    return names;
}

std::optional<RegValueType> Registry::GetDataType(const std::string& name) const {
    RequireOpen(open_, "GetDataType");
    const HiveView view(hive_);
    const KeyNode* key = OpenNode(view.Root(), path_);
    const RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) return std::nullopt;
    return TypeOf(value->data);
}

bool Registry::DeleteValue(const std::string& name) {
    RequireOpen(open_, "DeleteValue");
    const auto parts = SplitPath(path_);
    bool deleted = false;
    ModifyHive(hive_, [&](KeyNode& root) {
        KeyNode* key = FindKey(root, parts);
        if (key == nullptr) return false;
        const auto it = std::find_if(key->values.begin(), key->values.end(),
                                     [&](const RegValue& v) { return SameTextNoCase(v.name, name); });
        deleted = it != key->values.end();
        if (deleted) key->values.erase(it);
        return deleted;
    });
    return deleted;
}

std::string Registry::ReadString(const std::string& name) const {
    ValueData data = ReadData(hive_, open_, path_, name);
    if (auto* s = std::get_if<std::string>(&data)) return std::move(*s);
    InvalidType(name);
}

std::int32_t Registry::ReadInteger(const std::string& name) const {
    const ValueData data = ReadData(hive_, open_, path_, name);
    if (const auto* d = std::get_if<std::uint32_t>(&data)) return static_cast<std::int32_t>(*d);
    InvalidType(name);
}

Bytes Registry::ReadBinary(const std::string& name) const {
    ValueData data = ReadData(hive_, open_, path_, name);
    if (auto* b = std::get_if<Bytes>(&data)) return std::move(*b);
    InvalidType(name);
}

void Registry::WriteString(const std::string& name, const std::string& value) {
    WriteData(hive_, open_, path_, name, value);
}

void Registry::WriteInteger(const std::string& name, std::int32_t value) {
    WriteData(hive_, open_, path_, name, static_cast<std::uint32_t>(value));
}

void Registry::WriteBinary(const std::string& name, const Bytes& value) {
    WriteData(hive_, open_, path_, name, value);
}

RegistryUpdate::RegistryUpdate(Hive hive) {
    if (tUpdate) {
        // Joins the open one, which stores the changes of both.
        if (tUpdate->hive != hive)
            throw RegistryError("a settings update of another hive is open on this thread");
        return;
    }
    tUpdate = std::make_unique<State>(hive);
    owner_ = true;
}

RegistryUpdate::~RegistryUpdate() {
    // Dropped uncommitted: the copy and the lock go.
    if (owner_) tUpdate.reset();
}

bool RegistryUpdate::Commit() {
    if (!owner_) return false;
    owner_ = false;
    const std::unique_ptr<State> state = std::move(tUpdate);
    if (!state->root) return false;
    const bool empty = state->root->values.empty() && state->root->children.empty();
    // The text is compared, not the steps: a key deleted and written again as it was is no change.
    if (state->original.empty() ? empty : FormatHive(*state->root) == state->original) return false;
    StoreHive(state->file, *state->root);
    return true;
}

}  // namespace tessel
