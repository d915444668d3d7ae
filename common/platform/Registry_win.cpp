// The settings store on Windows: the system registry itself, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT. Every
// call opens the key it needs and closes it again, so a Registry object holds no handle and sees what other
// processes change at once.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"
#include "common/platform/RegistryPath.h"
#include "common/platform/Win32Support.h"

namespace tessel {
namespace {

using registry_detail::SplitPath;

// The system's limits: key names hold at most 255 characters, value names 16383.
constexpr DWORD kMaxKeyNameChars = 255;
constexpr DWORD kMaxValueNameChars = 16383;

HKEY RootOf(Hive hive) {
    return hive == Hive::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

std::string RootName(Hive hive) {
    return hive == Hive::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

class UniqueKey {
  public:
    UniqueKey() = default;
    ~UniqueKey() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;

    HKEY Get() const { return key_; }
    HKEY* Put() { return &key_; }
    explicit operator bool() const { return key_ != nullptr; }

  private:
    HKEY key_ = nullptr;
};

[[noreturn]] void Fail(const std::string& what, LSTATUS status) {
    throw RegistryError(what + ": " + win::ErrorText(static_cast<DWORD>(status)));
}

// The key at `path` below the hive's root, opened with `access`; empty when it does not exist.
void OpenExisting(Hive hive, const std::string& path, REGSAM access, UniqueKey& key) {
    const LSTATUS status = ::RegOpenKeyExW(RootOf(hive), win::Widen(path).c_str(), 0, access, key.Put());
    if (status == ERROR_FILE_NOT_FOUND) return;
    if (status != ERROR_SUCCESS) Fail("cannot open " + RootName(hive) + "\\" + path, status);
}

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::optional<RawValue> QueryValue(HKEY key, const std::string& name) {
    const std::wstring wideName = win::Widen(name);
    RawValue value;
    for (;;) {
        DWORD size = static_cast<DWORD>(value.data.size());
        const LSTATUS status =
            ::RegQueryValueExW(key, wideName.c_str(), nullptr, &value.type, value.data.data(), &size);
        if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
        // A null buffer asks for the size only; a value that grew meanwhile asks again.
        if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && value.data.size() < size)) {
            value.data.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS) Fail("Failed to get data for '" + name + "'", status);
        value.data.resize(size);
        return value;
    }
}

std::optional<RegValueType> TypeOf(DWORD type) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return RegValueType::String;
        case REG_DWORD:
            return RegValueType::DWord;
        default:
            return RegValueType::Binary;
    }
}

void RequireOpen(bool open, const char* what) {
    if (!open) throw RegistryError(std::string(what) + ": no key is open");
}

[[noreturn]] void InvalidType(const std::string& name) {
    throw RegistryError("Invalid data type for '" + name + "'");
}

}  // namespace

// The folder for files that belong with the settings (the counters of a driver that is not registered):
// $TESSEL_REGISTRY_DIR when set, else "Tessel" in the user's local application data.
std::string RegistryDirectory() {
    std::filesystem::path dir;
    if (const wchar_t* set = ::_wgetenv(L"TESSEL_REGISTRY_DIR"); set != nullptr && *set != L'\0') {
        dir = set;
    } else if (const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA"); local != nullptr && *local != L'\0') {
        dir = std::filesystem::path(local) / L"Tessel";
    } else {
        dir = std::filesystem::temp_directory_path() / L"Tessel";
    }
    std::filesystem::create_directories(dir);
    return win::Narrow(dir.wstring());
}

bool Registry::OpenKey(const std::string& path, bool canCreate) {
    const std::string full = Resolve(path);
    UniqueKey key;
    if (canCreate) {
        const LSTATUS status =
            ::RegCreateKeyExW(RootOf(hive_), win::Widen(full).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, key.Put(), nullptr);
        // A name the registry refuses names no key.
        if (status == ERROR_INVALID_PARAMETER || status == ERROR_INVALID_NAME) return false;
        if (status != ERROR_SUCCESS) Fail("cannot create " + RootName(hive_) + "\\" + full, status);
    } else {
        OpenExisting(hive_, full, KEY_READ, key);
        if (!key) return false;
    }
    open_ = true;
    path_ = full;
    return true;
}

bool Registry::KeyExists(const std::string& path) const {
    UniqueKey key;
    OpenExisting(hive_, Resolve(path), KEY_QUERY_VALUE, key);
    return static_cast<bool>(key);
}

bool Registry::DeleteKey(const std::string& path) {
    const std::string full = Resolve(path);
    if (SplitPath(full).empty()) throw RegistryError("the root of a hive cannot be deleted");
    const LSTATUS status = ::RegDeleteTreeW(RootOf(hive_), win::Widen(full).c_str());
    if (status == ERROR_FILE_NOT_FOUND) return false;
    if (status != ERROR_SUCCESS) Fail("cannot delete " + RootName(hive_) + "\\" + full, status);
    return true;
}

std::vector<std::string> Registry::GetKeyNames() const {
    RequireOpen(open_, "GetKeyNames");
    std::vector<std::string> names;
    UniqueKey key;
    OpenExisting(hive_, path_, KEY_ENUMERATE_SUB_KEYS, key);
    if (!key) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kMaxKeyNameChars + 1];
        DWORD length = kMaxKeyNameChars + 1;
        const LSTATUS status =
            ::RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) Fail("GetKeyNames", status);
        names.push_back(win::Narrow(std::wstring_view(name, length)));
    }
    // The registry's own order is close to this but not promised.
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return CompareTextNoCase(a, b) < 0; });
    return names;
}

std::vector<std::string> Registry::GetValueNames() const {
    RequireOpen(open_, "GetValueNames");
    std::vector<std::string> names;
    UniqueKey key;
    OpenExisting(hive_, path_, KEY_QUERY_VALUE, key);
    if (!key) return names;
    std::wstring name(kMaxValueNameChars + 1, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = kMaxValueNameChars + 1;
        const LSTATUS status =
            ::RegEnumValueW(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) Fail("GetValueNames", status);
        names.push_back(win::Narrow(std::wstring_view(name.data(), length)));
    }
    return names;
}

std::optional<RegValueType> Registry::GetDataType(const std::string& name) const {
    RequireOpen(open_, "GetDataType");
    UniqueKey key;
    OpenExisting(hive_, path_, KEY_QUERY_VALUE, key);
    if (!key) return std::nullopt;
    const auto value = QueryValue(key.Get(), name);
    if (!value) return std::nullopt;
    return TypeOf(value->type);
}

bool Registry::DeleteValue(const std::string& name) {
    RequireOpen(open_, "DeleteValue");
    UniqueKey key;
    OpenExisting(hive_, path_, KEY_SET_VALUE, key);
    if (!key) return false;
    const LSTATUS status = ::RegDeleteValueW(key.Get(), win::Widen(name).c_str());
    if (status == ERROR_FILE_NOT_FOUND) return false;
    if (status != ERROR_SUCCESS) Fail("DeleteValue '" + name + "'", status);
    return true;
}

namespace {

RawValue ReadRaw(Hive hive, bool open, const std::string& path, const std::string& name) {
    if (!open) throw RegistryError("Failed to get data for '" + name + "': no key is open");
    UniqueKey key;
    OpenExisting(hive, path, KEY_QUERY_VALUE, key);
    std::optional<RawValue> value;
    if (key) value = QueryValue(key.Get(), name);
    if (!value) throw RegistryError("Failed to get data for '" + name + "'");
    return std::move(*value);
}

void WriteRaw(Hive hive, bool open, const std::string& path, const std::string& name, DWORD type,
              const void* data, std::size_t size) {
    if (!open) throw RegistryError("Failed to set data for '" + name + "': no key is open");
    UniqueKey key;
    OpenExisting(hive, path, KEY_SET_VALUE, key);
    // The registry refuses writes through a deleted key; reopening by name would resurrect a tree that
    // another caller removed on purpose.
    if (!key)
        throw RegistryError("Failed to set data for '" + name + "': the key '" + path + "' was deleted");
    if (size > MAXDWORD) throw RegistryError("Failed to set data for '" + name + "': too long");
    const LSTATUS status = ::RegSetValueExW(key.Get(), win::Widen(name).c_str(), 0, type,
                                            static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    if (status != ERROR_SUCCESS) Fail("Failed to set data for '" + name + "'", status);
}

}  // namespace

std::string Registry::ReadString(const std::string& name) const {
    const RawValue value = ReadRaw(hive_, open_, path_, name);
    if (TypeOf(value.type) != RegValueType::String) InvalidType(name);
    std::wstring_view text(reinterpret_cast<const wchar_t*>(value.data.data()),
                           value.data.size() / sizeof(wchar_t));
    // Stored with its terminating NUL, as the system writes strings (sometimes without, or with more).
    while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    return win::Narrow(text);
}

std::int32_t Registry::ReadInteger(const std::string& name) const {
    const RawValue value = ReadRaw(hive_, open_, path_, name);
    if (value.type != REG_DWORD || value.data.size() != sizeof(DWORD)) InvalidType(name);
    DWORD number = 0;
    std::copy(value.data.begin(), value.data.end(), reinterpret_cast<BYTE*>(&number));
    return static_cast<std::int32_t>(number);
}

Bytes Registry::ReadBinary(const std::string& name) const {
    RawValue value = ReadRaw(hive_, open_, path_, name);
    if (TypeOf(value.type) != RegValueType::Binary) InvalidType(name);
    return Bytes(value.data.begin(), value.data.end());
}

void Registry::WriteString(const std::string& name, const std::string& value) {
    const std::wstring text = win::Widen(value);
    WriteRaw(hive_, open_, path_, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

void Registry::WriteInteger(const std::string& name, std::int32_t value) {
    const auto number = static_cast<DWORD>(value);
    WriteRaw(hive_, open_, path_, name, REG_DWORD, &number, sizeof number);
}

void Registry::WriteBinary(const std::string& name, const Bytes& value) {
    WriteRaw(hive_, open_, path_, name, REG_BINARY, value.data(), value.size());
}

// The system's registry stores each value as it is set, atomically, and needs no file rewritten: an update
// groups nothing and has nothing left to store.
RegistryUpdate::RegistryUpdate(Hive /*hive*/) {}

RegistryUpdate::~RegistryUpdate() = default;

bool RegistryUpdate::Commit() {
    return false;
}

}  // namespace tessel
