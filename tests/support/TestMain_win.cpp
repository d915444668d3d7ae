// Every test program on Windows runs with a registry of its own: the process's HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT are mapped onto keys of its own, removed at the end (TestMain.cpp does the same with a
// settings folder on Linux).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

class ScopedTestRegistry {
  public:
    ScopedTestRegistry() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, OwnKey().c_str());
        user_ = CreateKey(OwnKey() + L"\\User");
        classes_ = CreateKey(OwnKey() + L"\\Classes");
        // From here on the process sees these keys as its HKEY_CURRENT_USER and HKEY_CLASSES_ROOT.
        ok_ = user_ != nullptr && classes_ != nullptr &&
              ::RegOverridePredefKey(HKEY_CURRENT_USER, user_) == ERROR_SUCCESS &&
              ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_) == ERROR_SUCCESS;
    }
    ~ScopedTestRegistry() {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (user_ != nullptr) ::RegCloseKey(user_);
        if (classes_ != nullptr) ::RegCloseKey(classes_);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, OwnKey().c_str());
    }
    ScopedTestRegistry(const ScopedTestRegistry&) = delete;
    ScopedTestRegistry& operator=(const ScopedTestRegistry&) = delete;

    // Tests empty the hives they see; they must never see the user's own.
    bool Ok() const { return ok_; }

  private:
    // The process's own corner of the registry, under the real HKEY_CURRENT_USER.
    static std::wstring OwnKey() {
        return L"Software\\TesselTests\\" + std::to_wstring(::GetCurrentProcessId());
    }

    static HKEY CreateKey(const std::wstring& path) {
        HKEY key = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr);
        return key;
    }

    HKEY user_ = nullptr;
    HKEY classes_ = nullptr;
    bool ok_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const ScopedTestRegistry registry;
    if (!registry.Ok()) {
        std::fputs("the test registry could not be set up\n", stderr);
        return 1;
    }
    return RUN_ALL_TESTS();
}
